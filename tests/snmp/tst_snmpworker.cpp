#include "LoopbackBlock.h"
#include "MidspanSimProcess.h"
#include "core/Clock.h"
#include "core/DeviceState.h"
#include "links/snmp/ExchangePlanner.h"
#include "links/snmp/NetworkState.h"
#include "links/snmp/SnmpClient.h"
#include "links/snmp/SnmpWorker.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <QThread>
#include <QUdpSocket>

#include <functional>
#include <memory>
#include <unistd.h>

using namespace std::chrono_literals;

Q_DECLARE_METATYPE(SnmpValue)

namespace
{

// This program's own loopback addresses.
const QString agentA = loopbackAddress(10, 1);
const QString agentB = loopbackAddress(10, 2);
const QString silentAddress = loopbackAddress(10, 20);
const QString debianAgent = loopbackAddress(11, 1);

const QString base = "1.3.6.1.4.1.24852";
const QString identity = base + ".2.1.0";
const QString systemDescription = base + ".2.2.11.0";
const QString portCount = base + ".2.2.7.0";
constexpr double timeScale = 0.1;
// Time for an agent to answer one try on the scaled clock, with room for a loaded machine.
constexpr int shortestReplyMs = 100;
const QString bootCounterFile = "snmpv3_boot_counter";

QStringList simOptions(const QString& address)
{
    return {"--snmp",
            "udp:" + address + ":161",
            "--read-community",
            "rd-comm",
            "--write-community",
            "wr-comm",
            "--v3-user",
            "midspan",
            "--v3-auth",
            "auth-pas", // pass phrases of the shortest length SNMPv3 allows
            "--v3-priv",
            "priv-pas",
            "--ports",
            "4",
            "--steady"};
}

void addVersionRows()
{
    QTest::addColumn<bool>("v3");
    QTest::newRow("v2c") << false;
    QTest::newRow("SNMPv3 authPriv") << true;
}

bool needsRoot()
{
    return geteuid() != 0;
}

// Takes requests and never answers: a request that arrives shows an exchange under way.
struct SilentAgent {
    bool listen() { return socket.bind(QHostAddress(silentAddress), 161); }
    bool requestArrives()
    {
        return QTest::qWaitFor([this] { return socket.hasPendingDatagrams(); }, 10000);
    }

    QUdpSocket socket;
};

} // namespace

// The SNMP worker driven as the network session drives it, without a window: against the
// simulated midspan, against Debian's snmpd, and against an address where nothing answers.
class tst_SnmpWorker : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void printableText_data();
    void printableText();
    void getAndSet_data();
    void getAndSet();
    void valueOfASet_data();
    void valueOfASet();
    void readCommunityCannotWrite();
    void correctedPassPhraseWorks_data();
    void correctedPassPhraseWorks();
    void silentAddressFails_data();
    void silentAddressFails();
    void everyV3AgentOfARangeIsRead();
    void bootCounterGrowsPerSetUp();
    void v2cLeavesNoBootCounter();
    void foreignAgent_data();
    void foreignAgent();
    void workerNeverRunsWhileTheHandlerRuns();
    void releasingARunningWorkerHasNoEffect();
    void destroyedWhileExchanging();

private:
    void useV2c(const QString& address, const QString& writeCommunity = "wr-comm");
    void useV3(const QString& address, const QString& authPassphrase = "auth-pas");
    // Releases the worker and waits for its result; false when none came in time.
    bool exchange(std::chrono::milliseconds timeout = 10s);
    bool startDebianAgent(const QString& program);
    void makeWorker(double scale, int replyMs);

    MidspanSimProcess simA_;
    MidspanSimProcess simB_;
    QProcess snmpd_;
    QTemporaryDir snmpdDir_;
    DeviceState state_;
    NetworkState net_;
    std::unique_ptr<Clock> clock_;
    std::unique_ptr<SnmpWorker> worker_;
    std::unique_ptr<ExchangePlanner> planner_;
    int handled_ = 0;
    std::function<void()> onResult_;
    std::unique_ptr<QTemporaryDir> workDir_;
    QString previousDir_;
};

void tst_SnmpWorker::initTestCase()
{
    initSnmpLibrary();
    if (needsRoot()) {
        if (qgetenv("CI") == "true")
            QFAIL("the agents need UDP port 161, which needs root");
        return;
    }
    QVERIFY2(simA_.start(simOptions(agentA), false), qPrintable(simA_.errorText()));
    QVERIFY2(simB_.start(simOptions(agentB), false), qPrintable(simB_.errorText()));
    QCOMPARE(simB_.control("identity POE-second"), QByteArray("ok"));
}

void tst_SnmpWorker::init()
{
    const bool network = QByteArray(QTest::currentTestFunction()) != "printableText";
    if (network && needsRoot())
        QSKIP("the agents need UDP port 161, which needs root");
    // The boot counter file goes to the working directory.
    workDir_ = std::make_unique<QTemporaryDir>();
    previousDir_ = QDir::currentPath();
    QDir::setCurrent(workDir_->path());
    state_ = DeviceState{};
    net_ = NetworkState{};
    handled_ = 0;
    onResult_ = nullptr;
    makeWorker(timeScale, shortestReplyMs);
    QCOMPARE(simA_.control("set system description Rack A"), QByteArray("ok"));
}

// A worker and its planner on a clock of this scale, an agent's answer awaited at least replyMs.
void tst_SnmpWorker::makeWorker(double scale, int replyMs)
{
    planner_.reset();
    worker_.reset();
    clock_ = std::make_unique<Clock>(scale);
    clock_->setShortestRealTime(TimerId::AgentReply, replyMs);
    worker_ = std::make_unique<SnmpWorker>(
        this,
        [this](const SnmpResult& result) {
            planner_->take(result);
            worker_->pause();
            ++handled_;
            if (onResult_)
                onResult_();
        },
        clock_.get());
    planner_ = std::make_unique<ExchangePlanner>(state_, net_, *worker_);
}

void tst_SnmpWorker::cleanup()
{
    worker_.reset();
    planner_.reset();
    clock_.reset();
    if (!previousDir_.isEmpty())
        QDir::setCurrent(previousDir_);
}

void tst_SnmpWorker::cleanupTestCase()
{
    if (snmpd_.state() != QProcess::NotRunning) {
        snmpd_.terminate();
        if (!snmpd_.waitForFinished(5000))
            snmpd_.kill();
        snmpd_.waitForFinished(5000);
    }
}

void tst_SnmpWorker::useV2c(const QString& address, const QString& writeCommunity)
{
    SnmpJob& job = planner_->job();
    job.jobAddress = address;
    job.jobReadCommunity = "rd-comm";
    job.jobWriteCommunity = writeCommunity;
    job.jobUseV3 = false;
}

void tst_SnmpWorker::useV3(const QString& address, const QString& authPassphrase)
{
    SnmpJob& job = planner_->job();
    job.jobAddress = address;
    job.jobUser = "midspan";
    job.jobAuthPassword = authPassphrase;
    job.jobPrivPassword = "priv-pas";
    job.jobUseV3 = true;
}

bool tst_SnmpWorker::exchange(std::chrono::milliseconds timeout)
{
    const int before = handled_;
    planner_->release();
    QDeadlineTimer deadline(timeout);
    while (handled_ == before && !deadline.hasExpired())
        QTest::qWait(5);
    return handled_ > before;
}

void tst_SnmpWorker::printableText_data()
{
    using S = SnmpValue::Syntax;
    QTest::addColumn<SnmpValue>("value");
    QTest::addColumn<QString>("text");
    QTest::newRow("INTEGER negative") << SnmpValue{S::Integer, -5, {}} << "-5";
    QTest::newRow("INTEGER") << SnmpValue{S::Integer, 4660, {}} << "4660";
    QTest::newRow("Counter32 top") << SnmpValue{S::Counter32, 4294967295, {}} << "4294967295";
    QTest::newRow("Gauge32") << SnmpValue{S::Gauge32, 100, {}} << "100";
    QTest::newRow("TimeTicks") << SnmpValue{S::TimeTicks, 123456, {}} << "123456";
    QTest::newRow("Counter64 top") << SnmpValue{S::Counter64, -1, {}} << "18446744073709551615";
    QTest::newRow("text, no quotes") << SnmpValue{S::OctetString, 0, "Rack A"} << "Rack A";
    QTest::newRow("text with line break") << SnmpValue{S::OctetString, 0, "a\r\nb"} << "a\r\nb";
    QTest::newRow("empty text") << SnmpValue{S::OctetString, 0, ""} << "";
    QTest::newRow("binary as hex") << SnmpValue{S::OctetString, 0, QByteArray("\x00\x1a\xff", 3)}
                                   << "00 1A FF";
    QTest::newRow("text with a NUL as hex")
        << SnmpValue{S::OctetString, 0, QByteArray("AB\0", 3)} << "41 42 00";
    QTest::newRow("IpAddress") << SnmpValue{S::IpAddress, 0, QByteArray("\x0a\x00\x00\xfe", 4)}
                               << "10.0.0.254";
    QTest::newRow("noSuchObject") << SnmpValue{S::NoSuchObject, 0, {}} << "";
    QTest::newRow("noSuchInstance") << SnmpValue{S::NoSuchInstance, 0, {}} << "";
    QTest::newRow("endOfMibView") << SnmpValue{S::EndOfMibView, 0, {}} << "";
}

void tst_SnmpWorker::printableText()
{
    QFETCH(SnmpValue, value);
    QFETCH(QString, text);
    QCOMPARE(value.printable(), text);
}

void tst_SnmpWorker::getAndSet_data()
{
    addVersionRows();
}

void tst_SnmpWorker::getAndSet()
{
    QFETCH(bool, v3);
    v3 ? useV3(agentA) : useV2c(agentA);
    net_.requestOid = systemDescription;
    QVERIFY(exchange());
    QCOMPARE(net_.networkFailures, 0);
    QCOMPARE(net_.responseText, "Rack A");

    net_.activeRequest = Request::SystemDescription;
    net_.newSystemDescription = "Net edit";
    QVERIFY(exchange());
    QCOMPARE(simA_.control("get system description"), QByteArray("Net edit"));
    // A write leaves the text of the last read alone.
    QCOMPARE(net_.responseText, "Rack A");

    net_.activeRequest = Request::None;
    QVERIFY(exchange());
    QCOMPARE(net_.responseText, "Net edit");

    // An object the agent does not have answers with empty text, and counts as a success.
    net_.networkFailures = 2;
    net_.requestOid = base + ".2.9.0";
    QVERIFY(exchange());
    QCOMPARE(net_.responseText, "");
    QCOMPARE(net_.networkFailures, 0);
}

// Every rule of the table, each on an object of the simulated midspan whose state shows what
// was written. Enable and legacy states read 1 (on) or 0 (off) on the control socket.
void tst_SnmpWorker::valueOfASet_data()
{
    QTest::addColumn<QString>("object");
    QTest::addColumn<QByteArray>("preset");
    QTest::addColumn<int>("phase");
    QTest::addColumn<int>("request");
    QTest::addColumn<int>("pollPort");
    QTest::addColumn<QByteArray>("check");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<int>("pollPortAfter");
    QTest::addColumn<QString>("written"); // the set as the agent was sent it

    const QString enable3 = base + ".2.3.1.2.3";
    const QString legacy1 = base + ".2.3.1.18.1";
    QTest::newRow("community check, phase 2: setValue")
        << legacy1 << QByteArray("set port 1 legacy 1") << 2 << 0 << 0 << QByteArray("get port 1 legacy")
        << QByteArray("0") << 0 << "set 2.3.1.18.1 1";
    QTest::newRow("community check, phase 4: setValue")
        << legacy1 << QByteArray("set port 1 legacy 0") << 4 << 0 << 0 << QByteArray("get port 1 legacy")
        << QByteArray("1") << 0 << "set 2.3.1.18.1 2";
    for (const int request : {1, 2, 3, 62})
        QTest::addRow("request %d: 1", request)
            << enable3 << QByteArray("set port 3 enabled 1") << 999 << request << 0
            << QByteArray("get port 3 enabled") << QByteArray("0") << 0 << "set 2.3.1.2.3 1";
    QTest::newRow("request 61: 2") << enable3 << QByteArray("set port 3 enabled 0") << 999 << 61 << 0
                                   << QByteArray("get port 3 enabled") << QByteArray("1") << 0
                                   << "set 2.3.1.2.3 2";
    QTest::newRow("later rule wins: phase 2 with request 61")
        << enable3 << QByteArray("set port 3 enabled 0") << 2 << 61 << 0 << QByteArray("get port 3 enabled")
        << QByteArray("1") << 0 << "set 2.3.1.2.3 2";
    QTest::newRow("request 63: legacy wish")
        << legacy1 << QByteArray("set port 1 legacy 1") << 999 << 63 << 0 << QByteArray("get port 1 legacy")
        << QByteArray("0") << 0 << "set 2.3.1.18.1 1";
    QTest::newRow("request 6, object of pollPort: wish, pollPort moves")
        << enable3 << QByteArray("set port 3 enabled 1") << 999 << 6 << 3 << QByteArray("get port 3 enabled")
        << QByteArray("0") << 4 << "set 2.3.1.2.3 1";
    QTest::newRow("request 6, other port: value read, pollPort stays")
        << enable3 << QByteArray("set port 3 enabled 1") << 999 << 6 << 2 << QByteArray("get port 3 enabled")
        << QByteArray("1") << 2 << "set 2.3.1.2.3 2";
    QTest::newRow("request 6, pollPort 13 against port 3: no match")
        << enable3 << QByteArray("set port 3 enabled 1") << 999 << 6 << 13 << QByteArray("get port 3 enabled")
        << QByteArray("1") << 13 << "set 2.3.1.2.3 2";
    QTest::newRow("request 6, pollPort out of range")
        << enable3 << QByteArray("set port 3 enabled 1") << 999 << 6 << 30 << QByteArray("get port 3 enabled")
        << QByteArray("1") << 30 << "set 2.3.1.2.3 2";
    QTest::newRow("request 4: system description")
        << base + ".2.3.1.6.2" << QByteArray("set port 2 description Old") << 999 << 4 << 0
        << QByteArray("get port 2 description") << QByteArray("New system") << 0
        << "set 2.3.1.6.2 New system";
    QTest::newRow("request 5: slot descriptionPort")
        << systemDescription << QByteArray("set system description Old") << 999 << 5 << 0
        << QByteArray("get system description") << QByteArray("Port 12") << 0 << "set 2.2.11.0 Port 12";
    QTest::newRow("no rule: value read written back")
        << systemDescription << QByteArray("set system description Same") << 999 << 0 << 0
        << QByteArray("get system description") << QByteArray("Same") << 0 << "set 2.2.11.0 Same";
}

void tst_SnmpWorker::valueOfASet()
{
    QFETCH(QString, object);
    QFETCH(QByteArray, preset);
    QFETCH(int, phase);
    QFETCH(int, request);
    QFETCH(int, pollPort);
    QFETCH(QByteArray, check);
    QFETCH(QByteArray, expected);
    QFETCH(int, pollPortAfter);
    QFETCH(QString, written);

    QCOMPARE(simA_.control(preset), QByteArray("ok"));
    simA_.clearSnmpLog();
    useV2c(agentA);
    net_.requestOid = object;
    net_.snmpPhase = CheckPhase(phase);
    net_.activeRequest = Request(request);
    state_.pollPort = pollPort;
    net_.checkValue = phase == 2 ? 1 : 2;
    net_.legacyDetectWanted = 1;
    net_.portEnableWanted.fill(true);
    net_.portEnableWanted[2] = false; // port 3
    net_.newSystemDescription = "New system";
    net_.descriptionPort = 12;
    net_.descriptionOut[12] = "Port 12";
    net_.responseText = "before";

    // With phase 999 and no request the exchange is a plain read, so a set is forced by a
    // request code that no rule knows.
    if (phase == 999 && request == 0)
        net_.activeRequest = Request(7);
    QVERIFY(exchange());
    QCOMPARE(net_.networkFailures, 0);
    QCOMPARE(simA_.control(check), expected);
    QCOMPARE(simA_.snmpLog().filter(QStringLiteral("set ")), QStringList{written});
    QCOMPARE(state_.pollPort, pollPortAfter);
    QCOMPARE(net_.responseText, "before");
}

void tst_SnmpWorker::readCommunityCannotWrite()
{
    useV2c(agentA, "rd-comm");
    net_.requestOid = systemDescription;
    net_.activeRequest = Request::SystemDescription;
    net_.newSystemDescription = "Intruder";
    QVERIFY(exchange());
    // The refused set is not reported: the get before it succeeded.
    QCOMPARE(net_.networkFailures, 0);
    QCOMPARE(simA_.control("get system description"), QByteArray("Rack A"));

    net_.activeRequest = Request::None;
    QVERIFY(exchange());
    QCOMPARE(net_.responseText, "Rack A");

    // Put right on the same worker, the community goes out with the next write.
    useV2c(agentA);
    net_.activeRequest = Request::SystemDescription;
    net_.newSystemDescription = "Rack B";
    QVERIFY(exchange());
    QCOMPARE(simA_.control("get system description"), QByteArray("Rack B"));
}

void tst_SnmpWorker::correctedPassPhraseWorks_data()
{
    QTest::addColumn<bool>("sessionReady");
    QTest::addColumn<QString>("wrongPassphrase");
    QTest::newRow("at the next search") << false << "wrong-pass";
    QTest::newRow("within a session") << true << "wrong-pass";
    QTest::newRow("after one too short for a key") << false << "short";
    QTest::newRow("after one a character short for a key") << false << "auth-pa";
}

void tst_SnmpWorker::correctedPassPhraseWorks()
{
    QFETCH(bool, sessionReady);
    QFETCH(QString, wrongPassphrase);
    net_.requestOid = identity;
    useV3(agentA);
    QVERIFY(exchange());
    QCOMPARE(net_.responseText, "POE528U-480-24-N");

    net_.workerSetUp = sessionReady;
    useV3(agentA, wrongPassphrase);
    QVERIFY(exchange());
    QCOMPARE(net_.networkFailures, 1);
    QCOMPARE(net_.responseText, "");

    useV3(agentA, "auth-pas");
    QVERIFY(exchange());
    QCOMPARE(net_.networkFailures, 0);
    QCOMPARE(net_.responseText, "POE528U-480-24-N");
}

void tst_SnmpWorker::silentAddressFails_data()
{
    QTest::addColumn<bool>("v3");
    QTest::addColumn<double>("scale");
    QTest::addColumn<int>("replyMs");
    QTest::addColumn<int>("expectedMs");
    // 200 ms for the first try and each of 3 retries.
    QTest::newRow("v2c, 3 retries") << false << 1.0 << shortestReplyMs << 800;
    // The engine-ID discovery (one try of 1 s) finds nobody, then the request fails as above.
    QTest::newRow("SNMPv3, discovery first") << true << 1.0 << shortestReplyMs << 1800;
    // On a scaled clock a try of 20 ms lasts its shortest real time; the discovery's 100 ms are
    // longer than that.
    QTest::newRow("v2c, scaled") << false << timeScale << 60 << 240;
    QTest::newRow("SNMPv3, scaled") << true << timeScale << 60 << 340;
}

void tst_SnmpWorker::silentAddressFails()
{
    QFETCH(bool, v3);
    QFETCH(double, scale);
    QFETCH(int, replyMs);
    QFETCH(int, expectedMs);
    makeWorker(scale, replyMs);
    v3 ? useV3(silentAddress) : useV2c(silentAddress);
    net_.requestOid = identity;
    net_.retries = 3;
    net_.responseText = "old";
    QElapsedTimer timer;
    qint64 elapsed = 0;
    onResult_ = [&] { elapsed = timer.elapsed(); };
    timer.start();
    QVERIFY(exchange());
    QCOMPARE(net_.networkFailures, 1);
    QCOMPARE(net_.responseText, "");
    QVERIFY2(elapsed >= expectedMs - 30 && elapsed <= expectedMs + 400,
             qPrintable(QStringLiteral("%1 ms").arg(elapsed)));
}

void tst_SnmpWorker::everyV3AgentOfARangeIsRead()
{
    net_.requestOid = identity;
    // First as a search does (a set-up per address), then in the session kept from it.
    for (const bool sessionReady : {false, true}) {
        net_.workerSetUp = sessionReady;
        for (const auto& [address, answer] :
             {std::pair{agentA, "POE528U-480-24-N"}, std::pair{agentB, "POE-second"}}) {
            useV3(address);
            QVERIFY(exchange());
            QCOMPARE(net_.responseText, answer);
        }
    }
    QCOMPARE(net_.networkFailures, 0);
}

void tst_SnmpWorker::bootCounterGrowsPerSetUp()
{
    QFile file(bootCounterFile);
    QVERIFY(file.open(QIODevice::WriteOnly));
    file.write("DEDE 7\nGCFNFMG@DGFEGD 41\nFFFF 3\n");
    file.close();

    useV3(agentA);
    net_.requestOid = identity;
    QVERIFY(exchange());
    QVERIFY(exchange());
    net_.workerSetUp = true;
    QVERIFY(exchange());
    QCOMPARE(net_.responseText, "POE528U-480-24-N");

    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("DEDE 7\nGCFNFMG@DGFEGD 43\nFFFF 3\n"));
}

void tst_SnmpWorker::v2cLeavesNoBootCounter()
{
    useV2c(agentA);
    net_.requestOid = identity;
    QVERIFY(exchange());
    QCOMPARE(net_.responseText, "POE528U-480-24-N");
    QVERIFY(QDir::current().entryList(QDir::Files).isEmpty());

    // A first SNMPv3 set-up starts the file at 1.
    useV3(agentA);
    QVERIFY(exchange());
    QFile file(bootCounterFile);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), QByteArray("GCFNFMG@DGFEGD 1\n"));
}

bool tst_SnmpWorker::startDebianAgent(const QString& program)
{
    if (snmpd_.state() == QProcess::Running)
        return true;
    QFile config(snmpdDir_.filePath("snmpd.conf"));
    if (!config.open(QIODevice::WriteOnly))
        return false;
    // Spanmon asks SNMPv3 agents for the context named after the user; snmpd serves its own
    // objects in that context through a proxy to itself.
    const QByteArray address = debianAgent.toLatin1();
    config.write("agentAddress udp:" + address +
                 ":161\n"
                 "rocommunity deb-read 127.0.0.0/8\n"
                 "createUser debuser MD5 \"deb-auth-pass\" DES \"deb-priv-pass\"\n"
                 "rouser debuser priv .1 *\n"
                 "proxy -Cn debuser -v 2c -c deb-read " +
                 address +
                 " .1.3\n"
                 "sysDescr Spanmon foreign agent\n");
    config.close();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert("SNMP_PERSISTENT_DIR", snmpdDir_.path());
    environment.insert("MIBS", "");
    environment.insert("MIBDIRS", snmpdDir_.path());
    snmpd_.setProcessEnvironment(environment);
    snmpd_.setProcessChannelMode(QProcess::MergedChannels);
    snmpd_.start(program, {"-f", "-Lo", "-I", "-smux", "-C", "-c", config.fileName(), "-p",
                           snmpdDir_.filePath("snmpd.pid")});
    QDeadlineTimer deadline(10s);
    QByteArray output;
    while (!deadline.hasExpired() && snmpd_.state() != QProcess::NotRunning) {
        snmpd_.waitForReadyRead(100);
        output += snmpd_.readAll();
        if (output.contains("NET-SNMP version"))
            return true;
    }
    qWarning("snmpd: %s", output.constData());
    return false;
}

void tst_SnmpWorker::foreignAgent_data()
{
    addVersionRows();
}

void tst_SnmpWorker::foreignAgent()
{
    QFETCH(bool, v3);
    const QString program = QStandardPaths::findExecutable("snmpd", {"/usr/sbin", "/sbin"});
    if (program.isEmpty()) {
        if (qgetenv("CI") == "true")
            QFAIL("Debian's snmpd is not installed");
        QSKIP("Debian's snmpd is not installed");
    }
    QVERIFY(startDebianAgent(program));
    SnmpJob& job = planner_->job();
    job.jobAddress = debianAgent;
    job.jobReadCommunity = "deb-read";
    job.jobWriteCommunity = "deb-read";
    job.jobUser = "debuser";
    job.jobAuthPassword = "deb-auth-pass";
    job.jobPrivPassword = "deb-priv-pass";
    job.jobUseV3 = v3;
    // sysDescr.0, an OCTET STRING
    net_.requestOid = "1.3.6.1.2.1.1.1.0";
    QVERIFY(exchange());
    QCOMPARE(net_.networkFailures, 0);
    QCOMPARE(net_.responseText, "Spanmon foreign agent");
    // sysObjectID.0 in dotted form, sysUpTime.0 (TimeTicks) in decimal
    net_.requestOid = ".1.3.6.1.2.1.1.2.0";
    QVERIFY(exchange());
    QVERIFY2(net_.responseText.startsWith("1.3.6.1.4.1.8072."), qPrintable(net_.responseText));
    net_.requestOid = "1.3.6.1.2.1.1.3.0";
    QVERIFY(exchange());
    bool digits = false;
    net_.responseText.toULongLong(&digits);
    QVERIFY2(digits, qPrintable(net_.responseText));
}

void tst_SnmpWorker::workerNeverRunsWhileTheHandlerRuns()
{
    useV2c(agentA);
    net_.requestOid = identity;
    bool ranDuringHandler = false;
    onResult_ = [&] {
        if (handled_ != 1)
            return; // the second handler does not release
        net_.requestOid = portCount;
        planner_->release();
        QThread::msleep(300);
        ranDuringHandler = net_.responseText != "POE528U-480-24-N";
    };
    planner_->release();
    QTRY_COMPARE_WITH_TIMEOUT(handled_, 2, 10000);
    QVERIFY(!ranDuringHandler);
    QCOMPARE(net_.responseText, "4");
    // Not released again: the worker stays paused.
    net_.requestOid = identity;
    QTest::qWait(300);
    QCOMPARE(handled_, 2);
    QCOMPARE(net_.responseText, "4");
}

void tst_SnmpWorker::releasingARunningWorkerHasNoEffect()
{
    SilentAgent agent;
    QVERIFY(agent.listen());
    useV2c(silentAddress);
    net_.requestOid = identity;
    planner_->release();
    QVERIFY(agent.requestArrives());
    planner_->release();
    QTRY_COMPARE_WITH_TIMEOUT(handled_, 1, 5000);
    QTest::qWait(1200);
    QCOMPARE(handled_, 1);
    QCOMPARE(net_.networkFailures, 1);
}

void tst_SnmpWorker::destroyedWhileExchanging()
{
    SilentAgent agent;
    QVERIFY(agent.listen());
    useV2c(silentAddress);
    net_.requestOid = identity;
    planner_->release();
    QVERIFY(agent.requestArrives());
    // Waits for the exchange; its result reaches no handler, and so not the record.
    worker_.reset();
    QCOMPARE(handled_, 0);
    QCOMPARE(net_.networkFailures, 0);
}

QTEST_GUILESS_MAIN(tst_SnmpWorker)
#include "tst_snmpworker.moc"
