#include "CliEndToEnd.h"

#include <QEventLoop>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>
#include <QTimer>

namespace
{

// Checks JSON documents against the published schema: a line of the documents, as a JSON array
// of strings, in; a line of what is wrong, a JSON array of texts, out.
const char schemaChecker[] = R"(import json, sys, jsonschema
validator = jsonschema.Draft202012Validator(json.load(open(sys.argv[1])))
for line in sys.stdin:
    report = []
    for number, text in enumerate(json.loads(line)):
        try:
            document = json.loads(text)
        except ValueError as error:
            report.append("document %d is not one JSON document: %s %r" % (number, error, text[:300]))
            continue
        for error in validator.iter_errors(document):
            report.append("document %d: %s %s" % (number, list(error.absolute_path), error.message))
    print(json.dumps(report), flush=True))";

} // namespace

void CliEndToEnd::initTestCase()
{
    QVERIFY(workDir_.isValid());
    const QStringList credentials{"--read-community", "rd-comm",   "--write-community", "wr-comm",
                                  "--v3-user",        "midspan",   "--v3-auth",         "auth-pass",
                                  "--v3-priv",        "priv-pass", "--steady",          "--no-line-delay"};
    QVERIFY2(sim_.start(QStringList{"--snmp", "udp:" + agentWithPort} + credentials),
             qPrintable(sim_.errorText()));
    QVERIFY2(second_.start(QStringList{"--snmp", "udp:" + secondAgent + ':' + udpPort, "--ports", "8",
                                       "--model", "POE528U-480-8-N"} +
                           credentials),
             qPrintable(second_.errorText()));
    // Its serial line answers nothing: a second silent line, for runs beside those on the first.
    QCOMPARE(second_.control("silent on"), QByteArray("ok"));
    QVERIFY2(silent_.start(QStringList{"--snmp", "udp:" + silentAgentWithPort} + credentials),
             qPrintable(silent_.errorText()));
    for (const char* command : {"snmp stop", "silent on"})
        QCOMPARE(silent_.control(command), QByteArray("ok"));
    schemaChecker_.start("python3", {"-c", schemaChecker, SPANMON_CLI_SCHEMA});
    QVERIFY(schemaChecker_.waitForStarted());
    for (const char* command :
         {"set system firmware 0x23", "set system hardware 0x0A", "set system description Rack A",
          "set port 2 description Cam 2", "set port 2 power 4660", "set port 2 voltage 523",
          "set port 2 current 89", "set port 3 legacy 1", "set port 7 status 3", "set port 9 enabled 0"})
        QCOMPARE(sim_.control(command), QByteArray("ok"));

    QFile ini(workDir_.filePath("Link.ini"));
    QVERIFY(ini.open(QIODevice::WriteOnly));
    ini.write("[IPAdress]\r\nIP=" + rangeStart.toLatin1() +
              "\r\nEndIP=254\r\n[Community]\r\nRead=rd-comm\r\nSet=wr-comm\r\n"
              "[SNMPv3]\r\nVersion=\r\nUser=midspan\r\nAuthPassword=auth-pass\r\nPrivPassword=priv-pass\r\n");
    // A set community SNMP cannot carry to the midspan as it is written.
    QFile euro(workDir_.filePath("euro.ini"));
    QVERIFY(euro.open(QIODevice::WriteOnly));
    euro.write("[IPAdress]\r\nIP=" + rangeStart.toLatin1() +
               "\r\n[Community]\r\nRead=rd-comm\r\nSet=wr-comm\xE2\x82\xAC\r\n");
    QFile wrong(workDir_.filePath("wrong.ini"));
    QVERIFY(wrong.open(QIODevice::WriteOnly));
    wrong.write("[Community]\nRead=public\nSet=private\n[SNMPv3]\nUser=stranger\nAuthPassword=auth-pass\n"
                "PrivPassword=priv-pass\n");
}

void CliEndToEnd::cleanup()
{
    // Every document a test made answers to the schema that the repository publishes.
    if (documents_.isEmpty())
        return;
    const QByteArray line =
        QJsonDocument(QJsonArray::fromStringList(documents_)).toJson(QJsonDocument::Compact);
    documents_.clear();
    schemaChecker_.write(line + '\n');
    while (!schemaChecker_.canReadLine() && schemaChecker_.waitForReadyRead(60000)) {
    }
    QVERIFY2(schemaChecker_.canReadLine(), schemaChecker_.readAllStandardError().constData());
    const QJsonArray report = QJsonDocument::fromJson(schemaChecker_.readLine()).array();
    QStringList problems;
    for (const QJsonValue& problem : report)
        problems << problem.toString();
    QVERIFY2(problems.isEmpty(), qPrintable(problems.join('\n')));
}

void CliEndToEnd::init()
{
    dropRunsOfOtherTests();
    // Runs started ahead found the midspan so.
    if (ahead_.empty())
        QVERIFY(resetMidspan());
}

void CliEndToEnd::dropRunsOfOtherTests()
{
    // A run started ahead by a test that failed before it came to it.
    std::erase_if(ahead_, [](const auto& entry) {
        return entry.second->function != QLatin1StringView(QTest::currentTestFunction());
    });
}

bool CliEndToEnd::resetMidspan()
{
    for (const char* command : {"set port 3 enabled 1", "set port 2 enabled 1", "set port 5 enabled 1",
                                "refuse-sets off", "snmp start", "silent off", "max-objects off"})
        if (sim_.control(command) != "ok")
            return false;
    clearLogs();
    return true;
}

void CliEndToEnd::clearLogs()
{
    sim_.clearSnmpLog();
    sim_.clearFrames();
    sim_.clearPortLog();
}

std::unique_ptr<Pending> CliEndToEnd::launch(const QStringList& arguments, const Start& start)
{
    auto run = std::make_unique<Pending>();
    run->function = QString::fromLatin1(QTest::currentTestFunction());
    QProcess& process = run->process;
    process.setWorkingDirectory(start.workDir.isEmpty() ? workDir_.path() : start.workDir);
    QProcessEnvironment environment = start.environment;
    environment.remove(invocationClockScale);
    if (!start.clockScale.isEmpty())
        environment.insert(invocationClockScale, start.clockScale);
    process.setProcessEnvironment(environment);
    if (!start.stdoutFile.isEmpty())
        process.setStandardOutputFile(start.stdoutFile);
    const auto ended = [raw = run.get()] {
        if (raw->ms < 0)
            raw->ms = raw->clock.elapsed();
    };
    QObject::connect(&process, &QProcess::finished, ended);
    QObject::connect(&process, &QProcess::errorOccurred, [ended](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            ended();
    });
    run->clock.start();
    if (!start.asAnotherUser.isEmpty())
        process.start(start.asAnotherUser.first(),
                      start.asAnotherUser.mid(1) + QStringList{SPANMON_CLI_PATH} + arguments);
    else if (start.closeStdout) // `true` has gone long before the program writes
        process.start("bash",
                      QStringList{"-c", "\"$@\" | true; exit ${PIPESTATUS[0]}", "bash", SPANMON_CLI_PATH} +
                          arguments);
    else
        process.start(SPANMON_CLI_PATH, arguments);
    return run;
}

QStringList CliEndToEnd::ahead(const QStringList& arguments, const QString& clockScale)
{
    dropRunsOfOtherTests();
    if (ahead_.empty())
        resetMidspan();
    Start start;
    start.clockScale = clockScale;
    ahead_[clockScale + '\n' + arguments.join('\n')] = launch(arguments, start);
    return arguments;
}

Run CliEndToEnd::cli(const QStringList& arguments, const Start& start)
{
    const auto started = ahead_.find(start.clockScale + '\n' + arguments.join('\n'));
    std::unique_ptr<Pending> pending;
    if (started != ahead_.end()) {
        pending = std::move(started->second);
        ahead_.erase(started);
    } else {
        pending = launch(arguments, start);
    }
    QProcess& process = pending->process;
    if (pending->ms < 0) {
        // The event loop runs meanwhile, so that the runs started ahead are timed as they end.
        QEventLoop loop;
        QObject::connect(&process, &QProcess::finished, &loop, &QEventLoop::quit);
        QObject::connect(&process, &QProcess::errorOccurred, &loop, &QEventLoop::quit);
        QTimer::singleShot(60000, &loop, &QEventLoop::quit);
        loop.exec();
    }
    if (process.state() != QProcess::NotRunning) {
        process.kill();
        process.waitForFinished(5000);
    }
    const Run run{process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                  QString::fromUtf8(process.readAllStandardOutput()),
                  QString::fromUtf8(process.readAllStandardError()), pending->ms};
    const qsizetype end = arguments.indexOf("--");
    if (arguments.first(end < 0 ? arguments.size() : end).contains("--json") && start.stdoutFile.isEmpty() &&
        !start.closeStdout)
        documents_ << run.out;
    return run;
}
