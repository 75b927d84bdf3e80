// Total power, power history and power-cycling through the real main window against midspan-sim,
// on the serial link and on the network link (SNMP on UDP port 161 of a loopback address of this
// test's own, which needs root), checked against what the simulator holds and logs. With
// "--part serial" or "--part network" it runs the rows of one link alone, so that the two links
// can run side by side.
#include "LoopbackBlock.h"
#include "MidspanSimProcess.h"
#include "NetworkRig.h"
#include "SerialWindowRig.h"
#include "ui/HistoryView.h"
#include "ui/PortDescription.h"
#include "ui/PowerCycleDialog.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QFile>
#include <QLabel>
#include <QListWidget>
#include <QProgressBar>
#include <QSet>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTimer>

#include <map>
#include <memory>

namespace
{

// The links whose rows run: serial, network.
bool serialRows = true;
bool networkRows = true;

constexpr int Ports = 8;
const QString Address = loopbackAddress(47, 1);

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

const QString LostText = QStringLiteral("Connction Error! Please Check AC Power and Cable.");

// A change of the simulator's port log: "1234 port 3 off".
struct PortChange {
    qint64 ms;
    int port;
    bool on;
};

QList<PortChange> portChanges(MidspanSimProcess& sim)
{
    QList<PortChange> changes;
    for (const QString& line : sim.portLog()) {
        const QStringList words = line.split(u' ');
        changes.append({words.value(0).toLongLong(), words.value(2).toInt(), words.value(3) == u"on"});
    }
    return changes;
}

// Counts the passes the window has read to the last port.
struct PassCounter : PassObserver {
    explicit PassCounter(DeviceState& state) : state(state) {}
    void portRead(const PassReading& reading) override { passes += reading.port == state.portCount; }
    void displayCleared(bool) override {}
    DeviceState& state;
    int passes = 0;
};

// One simulated midspan and the real window connected to it over one link.
class LinkRig
{
public:
    LinkRig(bool network, MidspanSimProcess& sim, int ports = Ports, const QString& address = Address)
        : sim(sim), network_(network), ports_(ports), address_(address)
    {
    }

    // Starts the simulator, or takes over the one an earlier test left: heard, writable and
    // unlogged, with distinct values on every port, port 6 switched off, legacy detection off.
    bool startSimulator(bool started)
    {
        const QStringList options = network_
                                        ? simOptions(address_, ports_)
                                        : QStringList{"--ports",  QString::number(ports_), "--no-line-delay",
                                                      "--steady", "--restart-seconds",     "0.2"};
        if (!started && !sim.start(options, !network_))
            return false;
        for (const char* command : {"silent off", "snmp start", "refuse-sets off", "clear-port-log",
                                    "clear-snmp-log", "clear-frames"})
            sim.control(command);
        for (int p = 1; p <= ports_; ++p) {
            sim.control(QStringLiteral("set port %1 legacy 0").arg(p).toUtf8());
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
            networkRig_ = std::make_unique<Rig>(address_);
            watch();
            return networkRig_->connect(address_) && waitPasses(1);
        }
        serialRig_ = std::make_unique<SerialWindowRig>(sim.directory());
        watch();
        serialRig_->window->show();
        serialRig_->chooseSerialLink();
        if (!serialRig_->choosePort(QStringLiteral("ttyV0")))
            return false;
        serialRig_->click(ctl::SearchPoe);
        if (!waitUntil([this] { return serialRig_->foundCount() == 1; }, WaitMs))
            return false;
        serialRig_->selectFound(0);
        return waitPasses(1);
    }

    // Waits for this many more passes.
    bool waitPasses(int count)
    {
        const int until = counter_->passes + count;
        return waitUntil([&] { return counter_->passes >= until; }, WaitMs);
    }

    MainWindow& window() { return network_ ? *networkRig_->window : *serialRig_->window; }
    WidgetControls& controls() { return window().controls(); }
    RecordingFeedback& feedback() { return network_ ? networkRig_->feedback : serialRig_->feedback; }
    Clock& clock() { return network_ ? networkRig_->clock : serialRig_->clock; }
    QString text(int id) { return controls().text(id); }
    void click(int id) { controls().get<QPushButton>(id)->click(); }

    PortDescription& page() { return *window().findChild<PortDescription*>(); }
    PowerCycle& cycle() { return page().powerCycle(); }
    PowerCycleDialog& dialog() { return *page().powerCycleDialog(); }

    // "Power-cycle...", these ports ticked, the off time, OK.
    bool powerCycle(QList<int> ports, int offSeconds)
    {
        if (!controls().isEnabled(ctl::PowerCycle))
            return false;
        click(ctl::PowerCycle);
        if (!dialog().isVisible())
            return false;
        for (int port : ports)
            dialog().portBox(port)->setChecked(true);
        dialog().offTime()->setValue(offSeconds);
        dialog().okButton()->click();
        return cycle().step() != PowerCycle::Step::Idle;
    }
    bool cycleEnded()
    {
        return waitUntil([&] { return cycle().step() == PowerCycle::Step::Idle; }, WaitMs);
    }
    // Runs `then` once the cycle waits with its ports off.
    void whenOff(std::function<void()> then)
    {
        auto* bar = controls().get<QProgressBar>(ctl::ProgressBar);
        auto pending = std::make_shared<std::function<void()>>(std::move(then));
        QObject::connect(bar, &QProgressBar::valueChanged, bar, [this, pending] {
            if (cycle().step() == PowerCycle::Step::Off && *pending)
                std::exchange(*pending, {})();
        });
    }
    double scale() { return clock().scale(); }

    MidspanSimProcess& sim;

private:
    void watch()
    {
        counter_ = std::make_unique<PassCounter>(window().state());
        window().view().watch(*counter_);
    }

    bool network_;
    int ports_;
    QString address_;
    std::unique_ptr<Rig> networkRig_;
    std::unique_ptr<SerialWindowRig> serialRig_;
    std::unique_ptr<PassCounter> counter_;
};

} // namespace

class tst_PowerEndToEnd : public QObject
{
    Q_OBJECT

private:
    // A rig for the link of the data row, its simulator ready and the window connected. One
    // simulator per link serves every test, as a midspan serves one session after another.
    std::unique_ptr<LinkRig> connectedRig()
    {
        QFETCH(bool, network);
        auto& sim = sims_[network];
        const bool started = sim != nullptr;
        if (!started)
            sim = std::make_unique<MidspanSimProcess>();
        auto rig = std::make_unique<LinkRig>(network, *sim);
        if (!rig->startSimulator(started)) {
            qWarning("%s", qPrintable(rig->sim.errorText()));
            sim.reset();
            return nullptr;
        }
        if (!rig->connect())
            return nullptr;
        return rig;
    }
    std::map<bool, std::unique_ptr<MidspanSimProcess>> sims_; // by link: network or not

    static void links()
    {
        QTest::addColumn<bool>("network");
        if (serialRows)
            QTest::newRow("serial") << false;
        if (networkRows)
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
        const QString total = sum();
        waitUntil([&] { return rig->text(ctl::TotalPower) == total; }, WaitMs);
        QCOMPARE(rig->text(ctl::TotalPower), total);
        QCOMPARE(total, QStringLiteral("33.6 W"));
        QCOMPARE(rig->feedback().texts(), QStringList());
    }

    void historyDrawsAndExportsTheSimulatorsValues_data() { links(); }
    void historyDrawsAndExportsTheSimulatorsValues()
    {
        const auto rig = connectedRig();
        QVERIFY(rig);
        rig->window().historyModule().setFolders({QStringLiteral(HISTORY_MODULE_DIR)});
        rig->click(ctl::History);
        HistoryView* history = rig->window().historyWindow();
        QVERIFY2(history && history->widget()->isVisible(), qPrintable(rig->feedback().texts().join(u'\n')));
        const PowerHistory& samples = rig->window().history();
        // Two samples of every port, 10 s apart on the clock.
        QVERIFY(waitUntil([&] { return samples.sampleCount(1) >= 2 && samples.sampleCount(Ports) >= 2; },
                          WaitMs));
        QVERIFY(waitUntil([&] { return history->line(3).size() >= 2; }, WaitMs));
        QCOMPARE(history->line(3).constLast().y(), (1000 + 437 * 3) / 1000.0);
        QVERIFY(history->note().startsWith(QStringLiteral("Each port is sampled")));

        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("history.csv"));
        rig->feedback().saveFile = [&] { return path; };
        history->exportCsv();
        QCOMPARE(rig->feedback().texts(), QStringList());
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QList<QByteArray> lines = file.readAll().split('\n');
        QCOMPARE(lines.first(),
                 QByteArray("time,port,power_mW,voltage_V,current_mA,status,unit,model,action"));
        const QString unit = rig->controls().itemText(ctl::FoundDevices, 0);
        int rows = 0;
        for (int p = 1; p <= Ports; ++p)
            rows += samples.sampleCount(p);
        QCOMPARE(lines.size(), rows + 2); // and the empty rest after the last line end
        QDateTime previous;
        for (const QByteArray& line : lines.mid(1, rows)) {
            const QList<QByteArray> fields = line.split(',');
            QCOMPARE(fields.size(), 9);
            QCOMPARE(QString::fromUtf8(fields[6] + " *** " + fields[7]), unit);
            QCOMPARE(fields[8], QByteArray());
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
            QVERIFY(
                history->widget()->grab().save(QStringLiteral(SCREENSHOT_DIR "/history_window_session.png")));
    }

    // On a full unit the History window, at the size it opens with, shows every port whole in its
    // list with the line's colour and the description the unit holds, and lets keys reach it.
    void historyListsEveryPortOfAFullUnit_data() { links(); }
    void historyListsEveryPortOfAFullUnit()
    {
        QFETCH(bool, network);
        MidspanSimProcess sim; // a unit of its own: the shared ones have fewer ports
        LinkRig rig(network, sim, 24, loopbackAddress(48, 1));
        QVERIFY2(rig.startSimulator(false), qPrintable(rig.sim.errorText()));
        const QStringList descriptions{"", "Lobby cam", "Door 2", "Stairs west", "WAP  roof", "x"};
        for (int p = 1; p <= 24; ++p)
            rig.sim.control(QStringLiteral("set port %1 description %2")
                                .arg(p)
                                .arg(descriptions[p % descriptions.size()])
                                .toUtf8());
        QVERIFY(rig.connect());
        rig.window().historyModule().setFolders({QStringLiteral(HISTORY_MODULE_DIR)});
        rig.click(ctl::History);
        HistoryView* history = rig.window().historyWindow();
        QVERIFY2(history, qPrintable(rig.feedback().texts().join(u'\n')));
        QWidget* window = history->widget();
        QVERIFY(QTest::qWaitForWindowExposed(window));
        QVERIFY(waitUntil([&] { return !history->line(24).isEmpty(); }, WaitMs));
        auto* list = window->findChild<QListWidget*>();
        QCOMPARE(list->count(), 24);
        QVERIFY(list->focusPolicy() & Qt::TabFocus);
        QCOMPARE(list->accessibleName(), QStringLiteral("Ports drawn"));
        QVERIFY(window->rect().contains(QRect(list->mapTo(window, QPoint(0, 0)), list->size())));
        QVERIFY2(list->sizeHintForColumn(0) <= list->viewport()->width(),
                 qPrintable(QStringLiteral("entries %1 px wide, list %2 px")
                                .arg(list->sizeHintForColumn(0))
                                .arg(list->viewport()->width())));
        QSet<QRgb> swatches;
        for (int p = 1; p <= 24; ++p) {
            const QListWidgetItem* entry = list->item(p - 1);
            const QString description =
                rig.sim.command(QStringLiteral("get port %1 description").arg(p)).trimmed();
            QCOMPARE(entry->text(), description.isEmpty()
                                        ? QStringLiteral("Port %1").arg(p)
                                        : QStringLiteral("Port %1: %2").arg(p).arg(description));
            QVERIFY2(list->viewport()->rect().contains(list->visualItemRect(entry)),
                     qPrintable(entry->text()));
            const QImage icon = entry->icon().pixmap(list->iconSize()).toImage();
            swatches.insert(icon.pixel(icon.rect().center()));
        }
        QCOMPARE(swatches.size(), 24);
    }

    // Port 3 goes off, stays off the off time on the clock (as the simulator saw it), and on again;
    // the controls stay locked meanwhile and the progress counts the seconds down. Each real
    // millisecond of the exchanges around the wait counts 20 on this clock: the port is off at
    // least the off time, and well short of twice it.
    void cyclingAPortSwitchesItOffThenOn_data() { links(); }
    void cyclingAPortSwitchesItOffThenOn()
    {
        const auto rig = connectedRig();
        QVERIFY(rig);
        rig->sim.clearPortLog();
        QList<std::pair<qint64, QString>> countdown;
        QObject::connect(rig->controls().get<QProgressBar>(ctl::ProgressBar), &QProgressBar::valueChanged,
                         this, [&] {
                             if (rig->cycle().step() == PowerCycle::Step::Off)
                                 countdown.append({rig->clock().now(), rig->text(ctl::ProgressText)});
                         });
        bool lockedThroughout = true;
        struct LockWatch : PassObserver {
            LockWatch(LinkRig& rig, bool& locked) : rig(rig), locked(locked) {}
            void portRead(const PassReading&) override
            {
                if (rig.cycle().step() != PowerCycle::Step::Idle)
                    locked = locked && !rig.controls().isEnabled(ctl::SendPortControl) &&
                             !rig.controls().isEnabled(ctl::PowerCycle);
            }
            void displayCleared(bool) override {}
            LinkRig& rig;
            bool& locked;
        } lockWatch(*rig, lockedThroughout);
        rig->window().view().watch(lockWatch);

        QVERIFY(rig->powerCycle({3}, 40));
        QVERIFY(!rig->controls().isEnabled(ctl::SendPortControl));
        QVERIFY(rig->cycleEnded());
        QVERIFY(lockedThroughout);
        QVERIFY(rig->controls().isEnabled(ctl::SendPortControl));
        QVERIFY(rig->controls().isEnabled(ctl::PowerCycle));
        QVERIFY(!rig->controls().isVisible(ctl::ProgressDialog));
        QCOMPARE(rig->feedback().texts(), QStringList());

        const QList<PortChange> changes = portChanges(rig->sim);
        QCOMPARE(changes.size(), 2);
        QVERIFY(changes[0].port == 3 && !changes[0].on);
        QVERIFY(changes[1].port == 3 && changes[1].on);
        const double offMs = double(changes[1].ms - changes[0].ms) / rig->scale();
        qInfo("port 3 was off for %.0f ms of the clock", offMs);
        QVERIFY2(offMs >= 40000 && offMs < 80000, qPrintable(QString::number(offMs)));
        // The history holds the cycle as the operator's actions, the off time apart.
        QList<OperatorAction> actions;
        rig->window().history().forEachAction(0, [&](const OperatorAction& action) { actions << action; });
        QCOMPARE(actions.size(), 2);
        QVERIFY(actions[0].port == 3 && actions[0].kind == OperatorAction::Kind::CycleStart);
        QVERIFY(actions[1].port == 3 && actions[1].kind == OperatorAction::Kind::CycleEnd);
        QVERIFY(actions[1].atMs - actions[0].atMs >= 40000);
        QVERIFY(
            rig->window().history().csv().contains(",3,,,,," +
                                                   rig->controls()
                                                       .itemText(ctl::FoundDevices, 0)
                                                       .replace(QStringLiteral(" *** "), QStringLiteral(","))
                                                       .toUtf8() +
                                                   ",power-cycle end\n"));

        QCOMPARE(countdown.size(), 40);
        for (int i = 0; i < 40; ++i) {
            QCOMPARE(countdown[i].second, QStringLiteral("Port 3 off, on again in %1 s").arg(40 - i));
            QCOMPARE(countdown[i].first - countdown[0].first, 1000 * i);
        }
        QCOMPARE(rig->sim.command("get port 3 enabled"), QStringLiteral("1"));
        waitUntil([&] { return rig->controls().lamp(ctl::PortLampBase + 3) == Lamp::Detecting; }, WaitMs);
        QCOMPARE(rig->controls().lamp(ctl::PortLampBase + 3), Lamp::Detecting);
        QFETCH(bool, network);
        if (!network) { // for a look by eye: the dialog as the lamp's menu opens it
            rig->page().openPowerCycle(4);
            QVERIFY(rig->dialog().grab().save(QStringLiteral(SCREENSHOT_DIR "/power_cycle_dialog.png")));
            rig->dialog().reject();
        }
    }

    // A legacy choice ticked on the page but never sent is not the cycle's to send.
    void unsentLegacyChoiceIsNotSent_data() { links(); }
    void unsentLegacyChoiceIsNotSent()
    {
        const auto rig = connectedRig();
        QVERIFY(rig);
        QCOMPARE(rig->sim.command("get port 1 legacy"), QStringLiteral("0"));
        rig->controls().get<QCheckBox>(ctl::LegacyDetect)->click();
        QVERIFY(rig->controls().isChecked(ctl::LegacyDetect));
        QVERIFY(rig->powerCycle({2}, 1));
        QVERIFY(rig->cycleEnded());
        QCOMPARE(rig->feedback().texts(), QStringList());
        for (int port = 1; port <= Ports; ++port)
            QCOMPARE(rig->sim.command(QStringLiteral("get port %1 legacy").arg(port)), QStringLiteral("0"));
        QCOMPARE(rig->sim.command("get port 2 enabled"), QStringLiteral("1"));
    }

    // Closing the window while the ports are off: the question names them, they go on first.
    void closingDuringACycleSwitchesThePortsBackOn_data() { links(); }
    void closingDuringACycleSwitchesThePortsBackOn()
    {
        const auto rig = connectedRig();
        QVERIFY(rig);
        bool closed = false;
        // From the event loop, as the operator's close comes.
        rig->whenOff([&] {
            QTimer::singleShot(0, &rig->window(), [&] {
                rig->feedback().answers.push_back(true);
                closed = rig->window().controller().confirmExit();
            });
        });
        QVERIFY(rig->powerCycle({2, 4}, 60));
        QVERIFY(waitUntil([&] { return closed; }, WaitMs));
        QCOMPARE(rig->feedback().texts(),
                 QStringList{
                     "Exit Corvane MIDSPAN PoE GUI Monitor ?\r\n\r\nPorts 2 and 4 are off for a power-cycle "
                     "and will be switched back on first."});
        QCOMPARE(rig->sim.command("get port 2 enabled"), QStringLiteral("1"));
        QCOMPARE(rig->sim.command("get port 4 enabled"), QStringLiteral("1"));
    }

    // Cancel on the count-down: the ports go on at once, and the page shows them on.
    void cancellingTheCountDownSwitchesThePortsOn_data() { links(); }
    void cancellingTheCountDownSwitchesThePortsOn()
    {
        const auto rig = connectedRig();
        QVERIFY(rig);
        rig->sim.clearPortLog();
        auto* cancel = rig->controls().get<QPushButton>(ctl::ProgressCancel);
        QVERIFY(cancel->isHidden()); // not for the next progress display
        bool offered = false;
        bool goneAtOnce = false;
        // After the pass that saw the ports off has been handled, as the operator's click comes.
        rig->whenOff([&] {
            QTimer::singleShot(0, cancel, [&] {
                offered = cancel->isVisible() && cancel->window()->rect().contains(cancel->geometry());
                cancel->click();
                goneAtOnce = !rig->controls().isVisible(ctl::ProgressDialog);
            });
        });
        QVERIFY(rig->powerCycle({2, 4}, PowerCycle::MaxOffSeconds));
        QVERIFY(rig->cycleEnded());
        QVERIFY(offered);
        QVERIFY(goneAtOnce);
        QCOMPARE(rig->feedback().texts(), QStringList());
        QVERIFY(cancel->isHidden());

        const QList<PortChange> changes = portChanges(rig->sim);
        QCOMPARE(changes.size(), 4);
        QVERIFY(!changes[0].on && !changes[1].on && changes[2].on && changes[3].on);
        const double offMs = double(changes[3].ms - changes[0].ms) / rig->scale();
        // Far short of the off time, whatever the writes around it cost.
        QVERIFY2(offMs < PowerCycle::MaxOffSeconds * 1000 / 2, qPrintable(QString::number(offMs)));
        for (int port : {2, 4}) {
            QVERIFY(waitUntil([&] { return rig->controls().isChecked(ctl::PortEnableBase + port); }, WaitMs));
            waitUntil([&] { return rig->controls().lamp(ctl::PortLampBase + port) == Lamp::Connected; },
                      WaitMs);
            QCOMPARE(rig->controls().lamp(ctl::PortLampBase + port), Lamp::Connected);
        }
    }

    void twoPortsCycleTogether_data() { links(); }
    void twoPortsCycleTogether()
    {
        const auto rig = connectedRig();
        QVERIFY(rig);
        rig->sim.clearPortLog();
        QVERIFY(rig->powerCycle({2, 4}, 1));
        QVERIFY(rig->cycleEnded());
        QCOMPARE(rig->feedback().texts(), QStringList());
        const QList<PortChange> changes = portChanges(rig->sim);
        QCOMPARE(changes.size(), 4);
        QVERIFY(!changes[0].on && !changes[1].on && changes[2].on && changes[3].on);
        QCOMPARE(changes[0].port + changes[1].port, 6);
        QCOMPARE(changes[2].port + changes[3].port, 6);
        QVERIFY(double(changes[2].ms - changes[1].ms) / rig->scale() >= 1000);
        for (int port = 1; port <= Ports; ++port)
            QCOMPARE(rig->sim.command(QStringLiteral("get port %1 enabled").arg(port)),
                     QString::number(port == 6 ? 0 : 1));
        QCOMPARE(rig->dialog().offTime()->value(), 1); // remembered for the run
    }

    // Port 6 is switched off: neither the dialog nor its lamp's menu offers it.
    void aDisabledPortIsNotOffered_data() { links(); }
    void aDisabledPortIsNotOffered()
    {
        const auto rig = connectedRig();
        QVERIFY(rig);
        rig->click(ctl::PowerCycle);
        QVERIFY(rig->dialog().isVisible());
        for (int port = 1; port <= 24; ++port)
            QCOMPARE(rig->dialog().portBox(port)->isVisibleTo(&rig->dialog()), port <= Ports && port != 6);
        QVERIFY(!rig->dialog().okButton()->isEnabled()); // nothing ticked yet
        QCOMPARE(rig->dialog().offTime()->value(), 5);
        rig->dialog().reject();
        QObject owner;
        QCOMPARE(rig->page().lampActions(6, &owner).at(0)->text(), QStringLiteral("Power-cycle port 6"));
        QVERIFY(!rig->page().lampActions(6, &owner).at(0)->isEnabled());
        QAction* five = rig->page().lampActions(5, &owner).at(0);
        QVERIFY(five->isEnabled());
        five->trigger();
        QVERIFY(rig->dialog().isVisible());
        QVERIFY(rig->dialog().portBox(5)->isChecked());
        QCOMPARE(rig->dialog().chosenPorts(), std::vector<int>{5});
        rig->dialog().reject();
        QVERIFY(!rig->cycle().start({6}, 5));
        QCOMPARE(rig->cycle().step(), PowerCycle::Step::Idle);
    }

    void aRefusedOnWriteIsReported_data() { links(); }
    void aRefusedOnWriteIsReported()
    {
        const auto rig = connectedRig();
        QVERIFY(rig);
        rig->whenOff([&] { rig->sim.control("refuse-sets on"); });
        QVERIFY(rig->powerCycle({3}, 2));
        QVERIFY(rig->cycleEnded());
        rig->sim.control("refuse-sets off");
        const QStringList texts = rig->feedback().texts();
        QVERIFY2(texts.contains(QStringLiteral("Port 3 stayed off: the device did not switch it on again.")),
                 qPrintable(texts.join(u'|')));
        QCOMPARE(rig->sim.command("get port 3 enabled"), QStringLiteral("0"));
        QVERIFY(rig->controls().isEnabled(ctl::SendPortControl));
        QCOMPARE(rig->feedback().shown.last().title, QStringLiteral("Error"));
    }

    // The device falls silent while the ports are off: the session ends as on any loss.
    void aDeviceLostMidCycleEndsTheSession_data() { links(); }
    void aDeviceLostMidCycleEndsTheSession()
    {
        const auto rig = connectedRig();
        QVERIFY(rig);
        QFETCH(bool, network);
        rig->whenOff([&] {
            rig->sim.control(network ? "snmp stop" : "silent on");
            // Nothing answers from here on: the time-outs need no room for a late reply.
            for (TimerId timer : {TimerId::PollReply, TimerId::AgentReply})
                rig->clock().setShortestRealTime(timer, 0);
        });
        QVERIFY(rig->powerCycle({3}, 2));
        const MidspanLink& link = rig->window().controller().link();
        QVERIFY(waitUntil([&] { return !link.sessionRuns(); }, 60000));
        QCOMPARE(rig->cycle().step(), PowerCycle::Step::Idle);
        QCOMPARE(rig->feedback().texts(), QStringList{LostText});
        QVERIFY(!rig->controls().isVisible(ctl::ProgressDialog));
        QVERIFY(rig->controls().isEnabled(ctl::SearchPoe));
        QVERIFY(!rig->controls().isEnabled(ctl::PowerCycle));
        QVERIFY(!rig->controls().isEnabled(ctl::SendPortControl));
        QCOMPARE(rig->text(ctl::TotalPower), QString());
        QVERIFY(rig->page().powerCycle().offeredPorts().empty());
    }
};

int main(int argc, char* argv[])
{
    QApplication app(argc, argv);
    QStringList arguments = QCoreApplication::arguments();
    const qsizetype part = arguments.indexOf(QStringLiteral("--part"));
    if (part > 0) {
        const QString link = arguments.value(part + 1);
        if (link != u"serial" && link != u"network") {
            qCritical("--part takes serial or network");
            return 1;
        }
        serialRows = link == u"serial";
        networkRows = !serialRows;
        arguments.remove(part, 2);
    }
    QTEST_SET_MAIN_SOURCE_PATH
    tst_PowerEndToEnd test;
    return QTest::qExec(&test, arguments);
}

#include "tst_powerendtoend.moc"
