// The found-device list as the operator uses it, on both links, through the real window against
// midspan-sim: only a click, Enter or an arrow key chooses a device, never the focus coming to
// the list; a choice made during a search is carried out when it ends; and the list holds the
// entries of the chosen link alone when the operator changes the link in the middle of a search.
#include "LoopbackBlock.h"
#include "NetworkRig.h"
#include "links/snmp/SnmpClient.h"

#include <QComboBox>

namespace
{

const QString First = loopbackAddress(182, 1);  // both links
const QString Second = loopbackAddress(182, 2); // network only
// The third address of the block stays silent: the search's last probe takes 0.8 s.
const QString RangeEnd = QStringLiteral("3");
constexpr int Ports = 4;

enum class Chooser { Click, Enter, Down };

} // namespace

class tst_DeviceChoice : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void init();
    void focusChoosesNothing_data();
    void focusChoosesNothing();
    void clickDuringTheSearchIsCarriedOut();
    void highlightStaysOnTheConnectedUnit_data();
    void highlightStaysOnTheConnectedUnit();
    void networkSearchLeftForTheSerialLink();
    void lateIdentificationLeftForTheNetworkLink();

private:
    // A window whose COM port list holds the first simulator's line.
    std::unique_ptr<Rig> makeRig()
    {
        auto rig = std::make_unique<Rig>(First, RangeEnd);
        rig->spanmon->serial().enumerator().setVirtualPorts(first_.directory(), QStringLiteral("ttyV*"));
        return rig;
    }
    static void chooseLink(Rig& rig, int index)
    {
        auto* combo = rig.controls().get<QComboBox>(ctl::LinkCombo);
        combo->setCurrentIndex(index);
        emit combo->activated(index);
    }
    static void chooseSerialPort(Rig& rig)
    {
        chooseLink(rig, 1);
        auto* ports = rig.controls().get<QComboBox>(ctl::ComPortCombo);
        const int index = ports->findText(QStringLiteral("ttyV0"));
        QVERIFY(index >= 0);
        ports->setCurrentIndex(index);
        emit ports->activated(index);
    }
    bool checkedOn(MidspanSimProcess& sim)
    {
        return sim.snmpLog().contains(QStringLiteral("get 2.3.1.18.1"));
    }

    MidspanSimProcess first_;
    MidspanSimProcess second_;
};

void tst_DeviceChoice::initTestCase()
{
    initSnmpLibrary();
    QString failure = startAgent(first_, simOptions(First, Ports) << "--no-line-delay", true);
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
    failure = startAgent(second_, simOptions(Second, Ports));
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
}

void tst_DeviceChoice::init()
{
    if (needsRoot())
        QSKIP("the agent needs UDP port 161, which needs root");
    first_.clearSnmpLog();
    second_.clearSnmpLog();
    first_.clearFrames();
}

void tst_DeviceChoice::focusChoosesNothing_data()
{
    QTest::addColumn<bool>("serial");
    QTest::addColumn<Chooser>("chooser");
    QTest::addColumn<int>("chosenRow");
    QTest::newRow("network, click") << false << Chooser::Click << 1;
    QTest::newRow("network, Enter") << false << Chooser::Enter << 0;
    QTest::newRow("network, arrow key") << false << Chooser::Down << 1;
    QTest::newRow("serial, click") << true << Chooser::Click << 0;
    QTest::newRow("serial, Enter") << true << Chooser::Enter << 0;
}

// The list gets the focus, as by Tab: Qt makes the first row current, and nothing starts.
void tst_DeviceChoice::focusChoosesNothing()
{
    QFETCH(bool, serial);
    QFETCH(Chooser, chooser);
    QFETCH(int, chosenRow);
    auto rig = makeRig();
    if (serial) {
        chooseSerialPort(*rig);
        rig->click(ctl::SearchPoe);
        QVERIFY(waitUntil([&] { return rig->entries().size() == 1; }, WaitMs));
    } else {
        QVERIFY(rig->search());
        QCOMPARE(rig->entries().size(), 2);
    }
    rig->window->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(rig->window));
    QListWidget* list = rig->list();
    list->setFocus(Qt::TabFocusReason);
    QVERIFY(waitUntil([&] { return list->hasFocus(); }, 5000));
    QCOMPARE(list->currentRow(), 0);
    QVERIFY(!rig->net().networkLinked);
    QVERIFY(!rig->spanmon->serial().sessionRuns());

    switch (chooser) {
    case Chooser::Click:
        clickEntry(list, chosenRow);
        break;
    case Chooser::Enter:
        QTest::keyClick(list, Qt::Key_Return);
        break;
    case Chooser::Down:
        QTest::keyClick(list, Qt::Key_Down);
        break;
    }
    if (serial) {
        QVERIFY(rig->spanmon->serial().sessionRuns());
        QTRY_VERIFY_WITH_TIMEOUT(first_.frames().contains(QStringLiteral("04 00 04")), WaitMs);
        return;
    }
    QVERIFY(rig->net().networkLinked);
    QVERIFY(rig->pass());
    MidspanSimProcess& chosen = chosenRow == 0 ? first_ : second_;
    MidspanSimProcess& other = chosenRow == 0 ? second_ : first_;
    QVERIFY(checkedOn(chosen));
    QVERIFY(!checkedOn(other));
}

// A click on the first entry while the search still probes the silent last address.
void tst_DeviceChoice::clickDuringTheSearchIsCarriedOut()
{
    auto rig = makeRig();
    rig->click(ctl::SearchPoe);
    QVERIFY(waitUntil([&] { return rig->entries().size() == 2; }, WaitMs));
    QVERIFY(rig->controls().isVisible(ctl::SearchProgress));
    clickEntry(rig->list(), 0);
    QVERIFY(!rig->net().networkLinked); // nothing starts while the search runs
    QVERIFY(waitUntil([&] { return rig->net().networkLinked; }, WaitMs));
    QVERIFY(rig->controls().isVisible(ctl::SearchPoe));
    QVERIFY(rig->pass());
    QVERIFY(checkedOn(first_));
    QVERIFY(!checkedOn(second_));
    QVERIFY(rig->feedback.shown.isEmpty());
}

void tst_DeviceChoice::highlightStaysOnTheConnectedUnit_data()
{
    QTest::addColumn<int>("connected");
    QTest::addColumn<int>("clicked");
    QTest::newRow("first connected, second clicked") << 0 << 1;
    QTest::newRow("second connected, first clicked") << 1 << 0;
}

// During a session a click on another found midspan starts nothing: the highlight stays with the
// unit the pages show, which the title names.
void tst_DeviceChoice::highlightStaysOnTheConnectedUnit()
{
    QFETCH(int, connected);
    QFETCH(int, clicked);
    auto rig = makeRig();
    QVERIFY(rig->search());
    QCOMPARE(rig->entries().size(), 2);
    clickEntry(rig->list(), connected);
    QVERIFY(rig->pass());
    const QString address = connected == 0 ? First : Second;
    QCOMPARE(rig->window->windowTitle(), "Spanmon - " + address + ", POE528U-480-24-N");
    clickEntry(rig->list(), clicked);
    QCOMPARE(rig->list()->currentRow(), connected);
    QVERIFY(rig->list()->item(connected)->isSelected());
    QVERIFY(!rig->list()->item(clicked)->isSelected());
    QVERIFY(rig->pass());
    QCOMPARE(rig->window->windowTitle(), "Spanmon - " + address + ", POE528U-480-24-N");
    QVERIFY(!checkedOn(connected == 0 ? second_ : first_));
    QVERIFY(rig->feedback.shown.isEmpty());
}

// The serial link is chosen while the network search runs: the search stops, its entries go,
// and the serial search and session work on the serial device.
void tst_DeviceChoice::networkSearchLeftForTheSerialLink()
{
    auto rig = makeRig();
    rig->click(ctl::SearchPoe);
    QVERIFY(waitUntil([&] { return rig->entries().size() == 1; }, WaitMs));
    chooseSerialPort(*rig);
    QVERIFY(rig->entries().isEmpty());
    QVERIFY(rig->controls().isVisible(ctl::SearchPoe));
    QVERIFY(!rig->controls().isVisible(ctl::SearchProgress));
    QVERIFY(!rig->controls().isVisible(ctl::Setting));

    rig->click(ctl::SearchPoe);
    QVERIFY(waitUntil([&] { return rig->entries().size() == 1; }, WaitMs));
    QVERIFY(rig->entries().constFirst().startsWith(QStringLiteral("ttyV0 *** ")));
    clickEntry(rig->list(), 0);
    QVERIFY(rig->spanmon->serial().sessionRuns());
    QTRY_VERIFY_WITH_TIMEOUT(first_.frames().contains(QStringLiteral("04 00 04")), WaitMs);
    waitUntil([&] { return rig->text(ctl::PortNumber) == QString::number(Ports); }, WaitMs);
    QCOMPARE(rig->text(ctl::PortNumber), QString::number(Ports));
    QCOMPARE(rig->entries().size(), 1);
    QVERIFY(!rig->net().networkLinked);
    QVERIFY(rig->feedback.shown.isEmpty());
}

// The network link is chosen while the serial identification is on its way: its answer lists
// nothing in the network list, and the network search finds the network devices alone.
void tst_DeviceChoice::lateIdentificationLeftForTheNetworkLink()
{
    auto rig = makeRig();
    // The identification's time-out of 1 s runs in real time, the rest on the fast clock.
    rig->clock.setShortestRealTime(TimerId::IdentifyReply, 1000);
    chooseSerialPort(*rig);
    rig->click(ctl::SearchPoe);
    chooseLink(*rig, 0);
    QTRY_VERIFY_WITH_TIMEOUT(first_.frames().contains(QStringLiteral("0E 00 0E")), WaitMs);
    QVERIFY(waitUntil([&] { return !rig->clock.isActive(TimerId::IdentifyReply); }, WaitMs));
    QVERIFY(rig->entries().isEmpty());
    QVERIFY(rig->feedback.shown.isEmpty());

    QVERIFY(rig->search());
    QCOMPARE(rig->entries().size(), 2);
    QVERIFY(rig->entries().at(0).startsWith(First + u' '));
    QVERIFY(rig->entries().at(1).startsWith(Second + u' '));
}

QTEST_MAIN(tst_DeviceChoice)
#include "tst_devicechoice.moc"
