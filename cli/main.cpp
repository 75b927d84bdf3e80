#include "cli/Invocation.h"
#include "cli/Run.h"
#include "core/Clock.h"

#include <QCoreApplication>
#include <QLoggingCategory>
#include <QTextStream>

int main(int argc, char* argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("spanmon-cli"));
    QCoreApplication::setApplicationVersion(QStringLiteral(SPANMON_VERSION));
    // The link's own notes would repeat what the messages of the commands say.
    QLoggingCategory::setFilterRules(QStringLiteral("spanmon.*.info=false"));
    QTextStream out(stdout);
    QTextStream err(stderr);
    const ParsedArguments parsed = invocation::parse(QCoreApplication::arguments());
    if (!parsed.invocation) {
        (parsed.exitCode == 0 ? out : err) << parsed.message;
        return parsed.exitCode;
    }
    Clock clock;
    return runInvocation(*parsed.invocation, clock, out, err);
}
