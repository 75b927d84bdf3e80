#include "cli/Commands.h"
#include "cli/Invocation.h"
#include "cli/Run.h"
#include "core/Clock.h"
#include "links/serial/SerialLink.h"

#include <QCoreApplication>
#include <QFile>
#include <QLoggingCategory>
#include <QTextStream>

#include <csignal>
#include <unistd.h>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("spanmon-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(SPANMON_VERSION));
    // The link's own notes would repeat what the messages of the commands say.
    QLoggingCategory::setFilterRules(QStringLiteral("spanmon.*.info=false"));
    // A reader that went away is a failed write, told as such, not a silent death.
    std::signal(SIGPIPE, SIG_IGN);
    // Unbuffered, so that every failed write shows on the stream at once.
    QFile stdoutFile;
    QFile stderrFile;
    stdoutFile.open(STDOUT_FILENO, QIODevice::WriteOnly | QIODevice::Unbuffered);
    stderrFile.open(STDERR_FILENO, QIODevice::WriteOnly | QIODevice::Unbuffered);
    QTextStream out(&stdoutFile);
    QTextStream err(&stderrFile);

    const ParsedArguments parsed = invocation::parse(QCoreApplication::arguments(),
                                                     qEnvironmentVariable(invocation::ClockScaleVariable));
    int code = parsed.exitCode;
    if (!parsed.invocation) {
        (code == 0 ? out : err) << parsed.message;
        if (parsed.json && code != 0)
            out << Commands::errorDocument(
                code, parsed.message.section(u'\n', 0, 0).section(QStringLiteral(": "), 1));
    } else {
        Clock clock(parsed.invocation->clockScale);
        // A reply keeps its whole time-out on a faster clock: a loaded machine's late reply is
        // still a reply.
        clock.setShortestRealTime(TimerId::PollReply, int(SerialLink::ReplyTimeout.count()));
        QString discarded;
        QTextStream quiet(&discarded);
        const bool silent = parsed.invocation->quiet;
        code = runInvocation(*parsed.invocation, clock, silent ? quiet : out, silent ? quiet : err);
    }
    out.flush();
    if (out.status() != QTextStream::Ok) {
        err << QCoreApplication::applicationName()
            << ": cannot write the output: " << stdoutFile.errorString() << '\n';
        return code == Commands::Done ? Commands::Failed : code;
    }
    return code;
}
