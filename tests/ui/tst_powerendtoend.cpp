// Total power, power history and power-cycling through the real main window against midspan-sim,
// on the serial link and on the network link (SNMP on UDP port 161 of a loopback address of this
// test's own, which needs root), checked against what the simulator holds and logs.
#include "MidspanSimProcess.h"
#include "NetworkRig.h"
#include "SerialWindowRig.h"
#include "ui/HistoryWindow.h"

#include <QFile>
#include <QLineSeries>
#include <QTemporaryDir>

namespace
{

constexpr int Ports = 8;
const QString Address = QStringLiteral("127.0.47.1");

// What the simulator reads on a port, in the units of its control socket.
struct SimPort {
    int power;   // mW
    int voltage; // 0.1 V
    int current; // mA
    int status;
};

SimPort simPort(MidspanSimProcess& sim, int port)
{
    auto field = [&](const char* name) {
        return sim.command(QStringLiteral("get port %1 %2").arg(port).arg(QLatin1String(name))).toInt();
    };
    return {field("power"), field("voltage"), field("current"), field("status")};
}

// Counts the passes the window has read to the last port.
struct PassCounter : PassObserver {
    explicit PassCounter(DeviceState& state) : state(state) {}
    void portRead(const PortReading& reading) override { passes += reading.port == state.portCount; }
    void displayCleared(bool) override {}
    DeviceState& state;
    int passes = 0;
};

// One simulated midspan with Ports ports and the real window connected to it over one link.
class LinkRig
{
public:
    explicit LinkRig(bool network) : network_(network) {}

    // Starts the simulator; distinct values on every port, port 6 switched off.
    bool startSimulator()
    {
        const QStringList options = network_ ? simOptions(Address, Ports)
                                             : QStringList{"--ports", QString::number(Ports), "--no-line-delay",
                                                           "--steady", "--restart-seconds", "0.2"};
        if (!sim.start(options, !network_))
            return false;
        for (int p = 1; p <= Ports; ++p) {
            sim.control(QStringLiteral("set port %1 enabled %2").arg(p).arg(p == 6 ? 0 : 1).toUtf8());
            sim.control(QStringLiteral("set port %1 status %2").arg(p).arg(p % 3 == 0 ? 2 : 8).toUtf8());
            sim.control(QStringLiteral("set port %1 power %2").arg(p).arg(1000 + 437 * p).toUtf8());
            sim.control(QStringLiteral("set port %1 voltage %2").arg(p).arg(470 + p).toUtf8());
            sim.control(QStringLiteral("set port %1 current %2").arg(p).arg(20 + 3 * p).toUtf8());
        }
        return true;
    }

    // Connects the window and waits for a whole pass.
    bool connect()
    {
        if (network_) {
            networkRig_ = std::make_unique<Rig>(Address);
            watch();
            return networkRig_->connect(Address) && waitPasses(1);
        }
        serialRig_ = std::make_unique<SerialWindowRig>(sim.directory());
        watch();
        serialRig_->window->show();
        serialRig_->chooseSerialLink();
        if (!serialRig_->choosePort(QStringLiteral("ttyV0")))
            return false;
        serialRig_->click(ctl::SearchPoe);
        if (!QTest::qWaitFor([this] { return serialRig_->foundCount() == 1; }, WaitMs))
            return false;
        serialRig_->selectFound(0);
        return waitPasses(1);
    }

    // Waits for this many more passes.
    bool waitPasses(int count)
    {
        const int until = counter_->passes + count;
        return QTest::qWaitFor([&] { return counter_->passes >= until; }, WaitMs);
    }

    MainWindow& window() { return network_ ? *networkRig_->window : *serialRig_->window; }
    WidgetControls& controls() { return window().controls(); }
    RecordingFeedback& feedback() { return network_ ? networkRig_->feedback : serialRig_->feedback; }
    Clock& clock() { return network_ ? networkRig_->clock : serialRig_->clock; }
    QString text(int id) { return controls().text(id); }
    void click(int id) { controls().get<QPushButton>(id)->click(); }

    MidspanSimProcess sim;

private:
    void watch()
    {
        counter_ = std::make_unique<PassCounter>(window().state());
        window().view().watch(*counter_);
    }

    bool network_;
    std::unique_ptr<Rig> networkRig_;
    std::unique_ptr<SerialWindowRig> serialRig_;
    std::unique_ptr<PassCounter> counter_;
};

} // namespace

class tst_PowerEndToEnd : public QObject
{
    Q_OBJECT

private:
    // A rig for the link of the data row, its simulator started and the window connected.
    std::unique_ptr<LinkRig> connectedRig()
    {
        QFETCH(bool, network);
        auto rig = std::make_unique<LinkRig>(network);
        if (!rig->startSimulator()) {
            qWarning("%s", qPrintable(rig->sim.errorText()));
            return nullptr;
        }
        if (!rig->connect())
            return nullptr;
        return rig;
    }
    static void links()
    {
        QTest::addColumn<bool>("network");
        QTest::newRow("serial") << false;
        QTest::newRow("network") << true;
    }

private slots:
    void init()
    {
        QFETCH(bool, network);
        if (network && needsRoot()) {
            if (qgetenv("CI") == "true")
                QFAIL("the network link's agent needs UDP port 161, which needs root");
            QSKIP("the network link's agent needs UDP port 161, which needs root");
        }
    }

    void totalIsTheSumOfTheSimulatorsPower_data() { links(); }
    void totalIsTheSumOfTheSimulatorsPower()
    {
        const auto rig = connectedRig();
        QVERIFY(rig);
        auto sum = [&] {
            int milliwatts = 0;
            for (int p = 1; p <= Ports; ++p)
                milliwatts += rig->sim.command(QStringLiteral("get port %1 power").arg(p)).toInt();
            return QString::asprintf("%.1f W", milliwatts / 1000.0);
        };
        QVERIFY(rig->waitPasses(1));
        QCOMPARE(rig->text(ctl::TotalPower), sum());
        QCOMPARE(sum(), QStringLiteral("20.1 W")); // port 6, switched off, draws nothing

        rig->sim.control("set port 2 power 15400");
        QTRY_COMPARE_WITH_TIMEOUT(rig->text(ctl::TotalPower), sum(), WaitMs);
        QCOMPARE(sum(), QStringLiteral("33.6 W"));
        QVERIFY(rig->feedback().shown.isEmpty());
    }

    void historyDrawsAndExportsTheSimulatorsValues_data() { links(); }
    void historyDrawsAndExportsTheSimulatorsValues()
    {
        const auto rig = connectedRig();
        QVERIFY(rig);
        rig->click(ctl::History);
        HistoryWindow* history = rig->window().historyWindow();
        QVERIFY(history && history->isVisible());
        const PowerHistory& samples = rig->window().history();
        // Two samples of every port, 10 s apart on the clock.
        QTRY_VERIFY_WITH_TIMEOUT(samples.sampleCount(1) >= 2 && samples.sampleCount(Ports) >= 2, WaitMs);
        QTRY_VERIFY_WITH_TIMEOUT(history->series(3) && history->series(3)->count() >= 2, WaitMs);
        QCOMPARE(history->series(3)->points().constLast().y(), (1000 + 437 * 3) / 1000.0);
        QVERIFY(history->note().startsWith(QStringLiteral("Each port is sampled")));

        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("history.csv"));
        rig->feedback().saveFile = [&] { return path; };
        history->exportCsv();
        QVERIFY(rig->feedback().shown.isEmpty());
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = file.readAll().split('\n');
        QCOMPARE(lines.first(), QByteArray("time,port,power_mW,voltage_V,current_mA,status"));
        int rows = 0;
        for (int p = 1; p <= Ports; ++p)
            rows += samples.sampleCount(p);
        QCOMPARE(lines.size(), rows + 2); // and the empty rest after the last line end
        QDateTime previous;
        for (const QByteArray& line : lines.mid(1, rows)) {
            const QList<QByteArray> fields = line.split(',');
            QCOMPARE(fields.size(), 6);
            const QDateTime at = QDateTime::fromString(QString::fromLatin1(fields[0]), Qt::ISODateWithMs);
            QVERIFY2(at.isValid() && at.timeSpec() == Qt::UTC, fields[0].constData());
            QVERIFY(!previous.isValid() || at >= previous);
            previous = at;
            const int port = fields[1].toInt();
            QVERIFY(port >= 1 && port <= Ports);
            const SimPort expected = simPort(rig->sim, port);
            QCOMPARE(fields[2].toInt(), expected.power);
            QCOMPARE(fields[3].toDouble(), expected.voltage / 10.0);
            QCOMPARE(fields[4].toInt(), expected.current);
            QCOMPARE(fields[5].toInt(), expected.status);
        }
        QCOMPARE(simPort(rig->sim, 6).power, 0);

        QFETCH(bool, network);
        if (!network) // the same window on either link
            QVERIFY(history->grab().save(QStringLiteral(SCREENSHOT_DIR "/history_window_session.png")));
    }
};

QTEST_MAIN(tst_PowerEndToEnd)
#include "tst_powerendtoend.moc"
