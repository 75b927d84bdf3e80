#include "app/Spanmon.h"
#include "core/Clock.h"
#include "core/ControlIds.h"
#include "ui/EditDes.h"
#include "ui/LampImages.h"
#include "ui/MainWindow.h"

#include "PageLayout.h"
#include "RecordingFeedback.h"

#include <QCheckBox>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QStyle>
#include <QStyleOptionFrame>
#include <QTest>

#include <array>

// The link chosen in the window; None is the serial link without a COM port.
enum class LinkType { None, Network, Serial };

// Identifiers as the port page's design numbers them; port k uses base + k.
constexpr int PageId = 135;
constexpr int GroupBase = 1009;
constexpr int LampBase = 1033;
constexpr int DescriptionBase = 1057;
constexpr int EditBase = 1081;
constexpr int EnableBase = 1105;
constexpr int SendPortControl = 1339;
constexpr int AllPorts = 1340;
constexpr int LegacyBox = 1341;
constexpr int LegacyNote = 1499;
constexpr int DialogEdit = 1478;
constexpr int DialogButton = 1342;

class tst_PortDescription : public QObject
{
    Q_OBJECT

    struct Rig {
        Clock clock{0.01};
        RecordingFeedback feedback;
        Spanmon spanmon{clock, feedback};
        MainWindow& window = spanmon.window();

        WidgetControls& controls() { return window.controls(); }
        DeviceState& state() { return window.state(); }
        NetworkState& net() { return spanmon.network().state(); }
        template <class T> T* get(int id) { return controls().get<T>(id); }
        void click(int id) { QTest::mouseClick(get<QAbstractButton>(id), Qt::LeftButton); }
        // A device with the given number of ports is connected on the given link.
        void connect(LinkType link, int ports)
        {
            net().chosen = link == LinkType::Network;
            spanmon.serialState().comPortsFound = link == LinkType::Serial;
            window.context().link = &spanmon.core().link(link == LinkType::Serial ? 1 : 0);
            state().setPortCount(ports);
            (link == LinkType::Serial ? spanmon.serialState().linked
                                      : spanmon.network().state().networkLinked) = true;
            window.view().unlockControls();
        }
        EditDes* dialog() { return controls().get<EditDes>(175); }
    };

    static void saveScreenshot(QWidget* widget, const QString& name)
    {
        const QString path = QDir(QStringLiteral(SCREENSHOT_DIR)).filePath(name);
        QVERIFY2(widget->grab().save(path), qPrintable(path));
    }

    // The field's whole text fits where a line edit draws text (inside its frame and its own
    // margin of 2 pixels a side), so none of it is scrolled out of sight.
    static bool showsWhole(const QLineEdit* edit)
    {
        QStyleOptionFrame frame;
        frame.initFrom(edit);
        frame.lineWidth = edit->style()->pixelMetric(QStyle::PM_DefaultFrameWidth, &frame, edit);
        const QRect text = edit->style()->subElementRect(QStyle::SE_LineEditContents, &frame, edit);
        return edit->fontMetrics().horizontalAdvance(edit->text()) <= text.width() - 2 * 2;
    }

private slots:
    void designTexts_data();
    void designTexts();
    void startsWithPortControlsLocked();
    void unlockReachesOnlyTheDevicesPorts();
    void lockReachesEveryPortControl();
    void allPortsClickTicksOnlyTheDevicesPorts();
    void legacyTickShowsTheNoteAtOnce();
    void sendOnNetworkQueuesAllPortsOn();
    void lampsShowTheSharedImages();
    void editThenSaveShowsAndQueuesTheDescription();
    void editThenCloseSendsNothing();
    void enterAndEscapeChangeNothing();
    void portGroupsFitThePage_data();
    void portGroupsFitThePage();
    void fullPageShowsEveryLampAndWholeDescriptions();
};

void tst_PortDescription::designTexts_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("text");

    QTest::newRow("group 1010") << 1010 << "Port 1";
    QTest::newRow("group 1021") << 1021 << "Port 12";
    QTest::newRow("group 1022") << 1022 << "Port 13";
    QTest::newRow("group 1033") << 1033 << "Port 24";
    QTest::newRow("edit 1082") << 1082 << "Edit";
    QTest::newRow("edit 1105") << 1105 << "Edit";
    QTest::newRow("tick 1106 has no caption") << 1106 << "";
    QTest::newRow("row label 1330") << 1330 << "Port Description";
    QTest::newRow("row label 1365") << 1365 << "Port Description";
    QTest::newRow("row label 1331") << 1331 << "Enable";
    QTest::newRow("row label 1366") << 1366 << "Enable";
    QTest::newRow("commands 1495") << 1495 << "Port Commands";
    QTest::newRow("all ports 1340") << 1340 << "Enable/Disable All Ports";
    QTest::newRow("legacy 1341") << 1341 << "Detect Legacy Signature";
    QTest::newRow("legacy note 1499") << 1499 << "Legacy Detect is Enabled";
    QTest::newRow("send 1339") << 1339 << "Send Port Control";
    QTest::newRow("LED key 1322") << 1322 << "LED Key (Port status)";
    QTest::newRow("key 1327") << 1327 << "Detecting";
    QTest::newRow("key 1328") << 1328 << "Disable/Error";
    QTest::newRow("key 1329") << 1329 << "Port Connected";
    QTest::newRow("note 1507")
        << 1507
        << "NOTE: To send changes made in this section to the PoE system, click on 'Send "
           "Port Control'.";
}

void tst_PortDescription::designTexts()
{
    QFETCH(int, id);
    QFETCH(QString, text);
    Rig rig;
    QCOMPARE(rig.controls().text(id), text);
}

void tst_PortDescription::startsWithPortControlsLocked()
{
    Rig rig;
    for (int k = 1; k <= 24; ++k) {
        QVERIFY(!rig.controls().isEnabled(EditBase + k));
        QVERIFY(!rig.controls().isEnabled(EnableBase + k));
        QCOMPARE(rig.controls().lamp(LampBase + k), Lamp::NoData);
        QVERIFY(rig.get<QLineEdit>(DescriptionBase + k)->isReadOnly());
    }
    QVERIFY(!rig.controls().isEnabled(SendPortControl));
    QVERIFY(!rig.controls().isVisible(LegacyNote));
    QVERIFY(!rig.controls().isChecked(AllPorts));
    QVERIFY(!rig.controls().isChecked(LegacyBox));
}

void tst_PortDescription::unlockReachesOnlyTheDevicesPorts()
{
    Rig rig;
    rig.connect(LinkType::Network, 8);
    for (int k = 1; k <= 24; ++k) {
        QCOMPARE(rig.get<QPushButton>(EditBase + k)->isEnabled(), k <= 8);
        QCOMPARE(rig.get<QCheckBox>(EnableBase + k)->isEnabled(), k <= 8);
        QVERIFY(rig.get<QGroupBox>(GroupBase + k)->isVisibleTo(&rig.window));
    }
    QVERIFY(rig.get<QPushButton>(SendPortControl)->isEnabled());
}

void tst_PortDescription::lockReachesEveryPortControl()
{
    Rig rig;
    rig.connect(LinkType::Serial, 24);
    rig.window.view().lockControls();
    for (int k = 1; k <= 24; ++k) {
        QVERIFY(!rig.get<QPushButton>(EditBase + k)->isEnabled());
        QVERIFY(!rig.get<QCheckBox>(EnableBase + k)->isEnabled());
    }
    QVERIFY(!rig.get<QPushButton>(SendPortControl)->isEnabled());
}

void tst_PortDescription::allPortsClickTicksOnlyTheDevicesPorts()
{
    Rig rig;
    rig.connect(LinkType::Network, 8);
    rig.controls().setChecked(EnableBase + 20, true);
    rig.click(AllPorts);
    for (int k = 1; k <= 24; ++k)
        QCOMPARE(rig.controls().isChecked(EnableBase + k), k <= 8 || k == 20);

    rig.click(AllPorts);
    for (int k = 1; k <= 24; ++k)
        QCOMPARE(rig.controls().isChecked(EnableBase + k), k == 20);
    QCOMPARE(int(rig.spanmon.network().state().pendingRequest), 0);
}

void tst_PortDescription::legacyTickShowsTheNoteAtOnce()
{
    Rig rig;
    rig.connect(LinkType::Serial, 8);
    rig.click(LegacyBox);
    QVERIFY(rig.controls().isVisible(LegacyNote));
    QCOMPARE(rig.state().legacyDetect, 1);
    QVERIFY(!rig.spanmon.serialState().queue.holds(SerialStep::PortWrite));

    rig.click(LegacyBox);
    QVERIFY(!rig.controls().isVisible(LegacyNote));
    QCOMPARE(rig.state().legacyDetect, 0);
}

void tst_PortDescription::sendOnNetworkQueuesAllPortsOn()
{
    Rig rig;
    rig.connect(LinkType::Network, 8);
    rig.click(AllPorts);
    rig.click(SendPortControl);
    QCOMPARE(int(rig.spanmon.network().state().pendingRequest), 61);
    for (int k = 1; k <= 8; ++k)
        QVERIFY(rig.net().portEnableWanted[k - 1]);
}

void tst_PortDescription::lampsShowTheSharedImages()
{
    Rig rig;
    rig.connect(LinkType::Network, 24);
    const LampImages& lamps = rig.window.lamps();
    rig.window.view().setPortLamp(13, 8);
    rig.window.view().setPortLamp(14, 9);
    rig.window.view().setPortLamp(15, 7);

    QCOMPARE(rig.get<QLabel>(LampBase + 13)->pixmap().cacheKey(), lamps.image(Lamp::Connected).cacheKey());
    QCOMPARE(rig.get<QLabel>(LampBase + 14)->pixmap().cacheKey(), lamps.image(Lamp::Detecting).cacheKey());
    QCOMPARE(rig.get<QLabel>(LampBase + 15)->pixmap().cacheKey(),
             lamps.image(Lamp::DisabledOrError).cacheKey());
    QCOMPARE(rig.get<QLabel>(LampBase + 16)->pixmap().cacheKey(), lamps.image(Lamp::NoData).cacheKey());
    QCOMPARE(rig.get<QLabel>(LampBase + 13)->accessibleName(), QStringLiteral("Port 13 status"));
    QCOMPARE(rig.get<QLabel>(LampBase + 13)->accessibleDescription(), QStringLiteral("Port Connected"));
    // The LED key shows the same images.
    QCOMPARE(rig.get<QLabel>(1323)->pixmap().cacheKey(), lamps.image(Lamp::Detecting).cacheKey());
    QCOMPARE(rig.get<QLabel>(1325)->pixmap().cacheKey(), lamps.image(Lamp::DisabledOrError).cacheKey());
    QCOMPARE(rig.get<QLabel>(1326)->pixmap().cacheKey(), lamps.image(Lamp::Connected).cacheKey());

    rig.window.view().clearDeviceDisplay(true);
    QCOMPARE(rig.controls().lamp(LampBase + 13), Lamp::NoData);
}

void tst_PortDescription::editThenSaveShowsAndQueuesTheDescription()
{
    Rig rig;
    rig.connect(LinkType::Network, 12);
    rig.controls().setText(DescriptionBase + 12, QStringLiteral("Lobby"));
    rig.click(EditBase + 12);

    QVERIFY(rig.dialog()->isVisible());
    QCOMPARE(rig.controls().text(DialogEdit), QStringLiteral("Lobby"));
    QCOMPARE(rig.dialog()->port(), 12);
    rig.click(DialogButton);
    QTest::keyClicks(rig.get<QLineEdit>(DialogEdit), QStringLiteral("Camera 12"));
    rig.click(DialogButton);

    QVERIFY(!rig.dialog()->isVisible());
    QCOMPARE(rig.controls().text(DescriptionBase + 12), QStringLiteral("Camera 12"));
    QCOMPARE(rig.net().newPortDescription, QStringLiteral("Camera 12"));
    QCOMPARE(rig.state().portDescription[12], QStringLiteral("Camera 12"));
    QCOMPARE(rig.net().newDescriptionPort, 12);
    QCOMPARE(int(rig.spanmon.network().state().pendingRequest), 5);
}

void tst_PortDescription::editThenCloseSendsNothing()
{
    Rig rig;
    rig.connect(LinkType::Serial, 4);
    rig.controls().setText(DescriptionBase + 3, QStringLiteral("Lobby"));
    rig.click(EditBase + 3);
    rig.click(DialogButton);
    QTest::keyClicks(rig.get<QLineEdit>(DialogEdit), QStringLiteral("Hall"));
    rig.dialog()->close();

    QCOMPARE(rig.controls().text(DescriptionBase + 3), QStringLiteral("Lobby"));
    QVERIFY(!rig.spanmon.serialState().queue.holds(SerialStep::PortWrite));
    QVERIFY(!rig.spanmon.serialState().write);
    QCOMPARE(int(rig.spanmon.network().state().pendingRequest), 0);

    // A system description edit through the same dialog is no port edit.
    rig.dialog()->openForSystem();
    rig.click(DialogButton);
    rig.click(DialogButton);
    QCOMPARE(rig.controls().text(DescriptionBase + 3), QStringLiteral("Lobby"));
    QVERIFY(!rig.spanmon.serialState().queue.holds(SerialStep::PortWrite));
}

// The window is a dialog: Enter would press a focused button or the default one (which a dialog
// picks itself when shown), and Escape would close it.
void tst_PortDescription::enterAndEscapeChangeNothing()
{
    Rig rig;
    rig.connect(LinkType::Network, 8);
    rig.window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&rig.window));
    QStringList pressed;
    for (QAbstractButton* button : rig.window.findChildren<QAbstractButton*>())
        connect(button, &QAbstractButton::clicked, this, [&pressed, button] { pressed << button->text(); });
    QWidget* page = rig.controls().widget(PageId);
    for (int key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape})
        for (QWidget* focused :
             {page, rig.controls().widget(EnableBase + 1), rig.controls().widget(SendPortControl),
              rig.controls().widget(EditBase + 1), rig.controls().widget(ctl::SearchPoe)}) {
            focused->setFocus();
            QTest::keyClick(focused, Qt::Key(key));
        }
    QCOMPARE(pressed, QStringList());
    QVERIFY(page->isVisible());
    QVERIFY(rig.window.isVisible());
    QCOMPARE(int(rig.spanmon.network().state().pendingRequest), 0);
    QVERIFY(!rig.controls().isChecked(EnableBase + 1));
}

void tst_PortDescription::portGroupsFitThePage_data()
{
    QTest::addColumn<QSize>("size");
    QTest::newRow("as the main window places it") << QSize();
    QTest::newRow("790 x 420") << QSize(790, 420);
}

void tst_PortDescription::portGroupsFitThePage()
{
    QFETCH(QSize, size);
    Rig rig;
    rig.window.show();
    QWidget* page = rig.controls().widget(PageId);
    QVERIFY(page->width() >= 780);
    QVERIFY(page->height() >= 400);
    if (size.isValid())
        page->resize(size);
    const PageLayout layout(page, rig.controls());
    QList<QRect> groups;
    layout.portGroups(GroupBase, groups);
    if (QTest::currentTestFailed())
        return;
    for (int k = 1; k <= 24; ++k) {
        const QRect& group = groups[k - 1];
        // Ports 1-12 on top, 13-24 below, in order from the left.
        if (k > 1 && k != 13)
            QVERIFY(group.left() > groups[k - 2].right());
        if (k > 12)
            QVERIFY(group.top() > groups[k - 13].bottom());
        for (int base : {LampBase, DescriptionBase, EditBase, EnableBase})
            QVERIFY2(group.contains(layout.rect(base + k)),
                     qPrintable(QStringLiteral("%1 outside").arg(base + k)));
    }
    for (int id : {1495, 1340, 1341, 1499, 1339, 1322, 1323, 1325, 1326, 1327, 1328, 1329, 1507, 1330, 1331,
                   1365, 1366}) {
        layout.verifyClearOf(id, groups);
        // Texts are not cut off.
        QWidget* w = rig.controls().widget(id);
        auto* label = qobject_cast<QLabel*>(w);
        if (label && label->wordWrap())
            QVERIFY2(label->heightForWidth(label->width()) <= label->height(),
                     qPrintable(QStringLiteral("%1 text cut off").arg(id)));
        else if (label || qobject_cast<QAbstractButton*>(w))
            QVERIFY2(w->sizeHint().width() <= w->width() && w->fontMetrics().height() <= w->height(),
                     qPrintable(QStringLiteral("%1 text cut off").arg(id)));
    }
    if (size.isValid())
        QVERIFY(page->grab().save(
            QDir(QStringLiteral(SCREENSHOT_DIR)).filePath(QStringLiteral("port_page_790.png"))));
}

// What the page shows with a whole device: every lamp its state's image, every description of up
// to ten characters whole (ten of the widest letter, "WWWWWWWWWW", do not fit the field in the
// page's font). The pictures stay in the build folder for a look by eye.
void tst_PortDescription::fullPageShowsEveryLampAndWholeDescriptions()
{
    Rig rig;
    rig.connect(LinkType::Network, 24);
    const LampImages& lamps = rig.window.lamps();
    // Port status by port number modulo 4, and the lamp it shows.
    const std::array<std::pair<int, Lamp>, 4> statuses{
        {{8, Lamp::Connected}, {3, Lamp::Detecting}, {7, Lamp::DisabledOrError}, {0, Lamp::DisabledOrError}}};
    const auto statusOf = [&](int k) { return statuses[std::size_t(k % 4)].first; };
    const auto lampOf = [&](int k) { return statuses[std::size_t(k % 4)].second; };
    const auto descriptionOf = [](int k) {
        return k == 24 ? QStringLiteral("Hallway 24") : QStringLiteral("Camera %1").arg(k);
    };
    for (int k = 1; k <= 24; ++k) {
        rig.window.view().setPortLamp(k, statusOf(k));
        rig.controls().setText(DescriptionBase + k, descriptionOf(k));
        rig.controls().setChecked(EnableBase + k, k % 3 != 0);
    }
    rig.controls().setChecked(LegacyBox, true);
    rig.controls().setVisible(LegacyNote, true);
    rig.window.show();
    rig.window.selectTab(0);
    QWidget* page = rig.controls().widget(PageId);
    const QImage shot = page->grab().toImage();
    saveScreenshot(page, QStringLiteral("port_page.png"));
    saveScreenshot(&rig.window, QStringLiteral("main_window.png"));

    const PageLayout layout(page, rig.controls());
    for (int k = 1; k <= 24; ++k) {
        auto* lamp = rig.get<QLabel>(LampBase + k);
        const QImage image = lamps.image(lampOf(k)).toImage().convertToFormat(shot.format());
        const QRect drawn =
            QStyle::alignedRect(Qt::LeftToRight, lamp->alignment(), image.size(), lamp->contentsRect())
                .translated(layout.rect(LampBase + k).topLeft());
        QVERIFY2(shot.copy(drawn) == image, qPrintable(QStringLiteral("lamp of port %1").arg(k)));
        QVERIFY2(showsWhole(rig.get<QLineEdit>(DescriptionBase + k)),
                 qPrintable(QStringLiteral("description of port %1 cut off").arg(k)));
    }
    QVERIFY(rig.get<QLabel>(LegacyNote)->isVisibleTo(page));

    rig.controls().setText(DescriptionBase + 1, QStringLiteral("Lobby"));
    rig.click(EditBase + 1);
    saveScreenshot(rig.dialog(), QStringLiteral("description_dialog.png"));
    rig.click(DialogButton);
    auto* edit = rig.get<QLineEdit>(DialogEdit);
    edit->clear();
    QTest::keyClicks(edit, QStringLiteral("WWWWWWWWWW"));
    saveScreenshot(rig.dialog(), QStringLiteral("description_dialog_save.png"));
    QCOMPARE(rig.controls().text(DialogButton), QStringLiteral("Save"));
    QVERIFY2(showsWhole(edit), "the dialog's field cuts ten letters off");
}

QTEST_MAIN(tst_PortDescription)
#include "tst_portdescription.moc"
