#include "app/Spanmon.h"
#include "core/Clock.h"
#include "ui/MyStatic.h"

#include "PageLayout.h"
#include "RecordingFeedback.h"

#include <QAccessible>
#include <QDir>
#include <QGroupBox>
#include <QLabel>
#include <QTest>

// Identifiers as the parametric page's design numbers them: row r of port k is base_r + k.
constexpr int PageId = 136;
constexpr int GroupBase = 1297;
constexpr int DiscoveryR = 1129;
constexpr int DiscoveryC = 1153;
constexpr int Current = 1177;
constexpr int Voltage = 1201;
constexpr int Power = 1225;
constexpr int ClassCurrent = 1249;
constexpr int Class = 1273;
constexpr std::array<int, 7> RowBases{DiscoveryR, DiscoveryC, Current, Voltage, Power, ClassCurrent, Class};

class tst_Info : public QObject
{
    Q_OBJECT

    struct Rig {
        Clock clock{0.01};
        RecordingFeedback feedback;
        Spanmon spanmon{clock, feedback};
        MainWindow& window = spanmon.window();

        WidgetControls& controls() { return window.controls(); }
        MyStatic* cell(int base, int port) { return controls().get<MyStatic>(base + port); }
    };

private slots:
    void cellsStartWithTheirTemplateTexts_data();
    void cellsStartWithTheirTemplateTexts();
    void rowLabels_data();
    void rowLabels();
    void groups();
    void displayResetKeepsClassCurrentAndDiscoveryC();
    void valueCellsSpeakWhatTheyAreAndWhatTheyShow_data();
    void valueCellsSpeakWhatTheyAreAndWhatTheyShow();
    void groupsAndCellsFitThePage_data();
    void groupsAndCellsFitThePage();
    void fullPageShowsEveryValueWhole();
};

void tst_Info::cellsStartWithTheirTemplateTexts_data()
{
    QTest::addColumn<int>("base");
    QTest::addColumn<QString>("text");
    QTest::addColumn<QColor>("colour");

    const QColor yellow(255, 255, 0);
    QTest::newRow("discovery R") << DiscoveryR << "(ohm)" << yellow;
    QTest::newRow("discovery C") << DiscoveryC << "(uF)" << yellow;
    QTest::newRow("current") << Current << "(mA)" << yellow;
    QTest::newRow("voltage") << Voltage << "(V)" << yellow;
    QTest::newRow("power") << Power << "(mW)" << yellow;
    QTest::newRow("class current") << ClassCurrent << "(mA)" << yellow;
    QTest::newRow("class") << Class << "Class" << QColor(0, 255, 0);
}

void tst_Info::cellsStartWithTheirTemplateTexts()
{
    QFETCH(int, base);
    QFETCH(QString, text);
    QFETCH(QColor, colour);

    Rig rig;
    for (int k = 1; k <= 24; ++k) {
        MyStatic* cell = rig.cell(base, k);
        QVERIFY(cell);
        QCOMPARE(cell->text(), text);
        QCOMPARE(cell->textColour(), colour);
        QCOMPARE(cell->backgroundColour(), QColor(Qt::black));
        QCOMPARE(cell->alignment(), Qt::AlignCenter);
        QCOMPARE(cell->parentWidget(), rig.controls().widget(GroupBase + k));
    }
}

void tst_Info::rowLabels_data()
{
    QTest::addColumn<int>("top");
    QTest::addColumn<int>("bottom");
    QTest::addColumn<int>("base");
    QTest::addColumn<QString>("text");

    QTest::newRow("row 1") << 1332 << 1367 << DiscoveryR << "Discovery R";
    QTest::newRow("row 2") << 1333 << 1368 << DiscoveryC << "Discovery C";
    QTest::newRow("row 3") << 1334 << 1369 << Current << "Current (mA)";
    QTest::newRow("row 4") << 1335 << 1370 << Voltage << "Voltage (V)";
    QTest::newRow("row 5") << 1336 << 1371 << Power << "Power (mW)";
    QTest::newRow("row 6") << 1337 << 1372 << ClassCurrent << "Class Current";
    QTest::newRow("row 7") << 1338 << 1009 << Class << "Determined Class";
}

void tst_Info::rowLabels()
{
    QFETCH(int, top);
    QFETCH(int, bottom);
    QFETCH(int, base);
    QFETCH(QString, text);

    Rig rig;
    rig.window.show();
    rig.window.selectTab(1);
    QWidget* page = rig.controls().widget(PageId);
    // The top-row label stands level with port 1's cell, the bottom-row one with port 13's.
    for (auto [id, port] : {std::pair{top, 1}, std::pair{bottom, 13}}) {
        auto* label = rig.controls().get<QLabel>(id);
        QVERIFY(label);
        QCOMPARE(label->text(), text);
        QCOMPARE(label->parentWidget(), page);
        QVERIFY(QFontMetrics(label->font()).height() <= 14);
        QVERIFY(label->width() >= QFontMetrics(label->font()).horizontalAdvance(text));
        QWidget* cell = rig.controls().widget(base + port);
        const int cellMiddle = cell->mapTo(page, cell->rect().center()).y();
        QVERIFY(qAbs(label->geometry().center().y() - cellMiddle) <= 2);
    }
}

void tst_Info::groups()
{
    Rig rig;
    for (int k = 1; k <= 24; ++k)
        QCOMPARE(rig.controls().text(GroupBase + k), QStringLiteral("Port %1").arg(k));
}

void tst_Info::displayResetKeepsClassCurrentAndDiscoveryC()
{
    Rig rig;
    rig.window.state().setPortCount(8);
    for (int k = 1; k <= 24; ++k)
        for (int base : RowBases)
            rig.controls().setText(base + k, QStringLiteral("x"));
    rig.window.view().clearDeviceDisplay(true);

    for (int k = 1; k <= 8; ++k) {
        QCOMPARE(rig.cell(DiscoveryR, k)->text(), QStringLiteral("0"));
        QCOMPARE(rig.cell(DiscoveryC, k)->text(), QStringLiteral("x"));
        QCOMPARE(rig.cell(Current, k)->text(), QStringLiteral("0"));
        QCOMPARE(rig.cell(Voltage, k)->text(), QStringLiteral("0.0"));
        QCOMPARE(rig.cell(Power, k)->text(), QStringLiteral("0"));
        QCOMPARE(rig.cell(ClassCurrent, k)->text(), QStringLiteral("x"));
        QCOMPARE(rig.cell(Class, k)->text(), QStringLiteral("---"));
    }
    for (int k = 9; k <= 24; ++k)
        for (int base : RowBases)
            QCOMPARE(rig.cell(base, k)->text(), QStringLiteral("x"));
}

void tst_Info::valueCellsSpeakWhatTheyAreAndWhatTheyShow_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("shown");

    QTest::newRow("port 1 discovery R") << DiscoveryR + 1 << "Port 1 Discovery R"
                                        << "(ohm)";
    QTest::newRow("port 1 discovery C") << DiscoveryC + 1 << "Port 1 Discovery C"
                                        << "(uF)";
    QTest::newRow("port 1 current") << Current + 1 << "Port 1 Current (mA)"
                                    << "(mA)";
    QTest::newRow("port 1 voltage") << Voltage + 1 << "Port 1 Voltage (V)"
                                    << "(V)";
    QTest::newRow("port 1 power") << Power + 1 << "Port 1 Power (mW)"
                                  << "(mW)";
    QTest::newRow("port 1 class current") << ClassCurrent + 1 << "Port 1 Class Current"
                                          << "(mA)";
    QTest::newRow("port 24 class") << Class + 24 << "Port 24 Determined Class"
                                   << "Class";
    QTest::newRow("firmware") << 1345 << "Firmware Version"
                              << "FW Rev";
    QTest::newRow("hardware") << 1346 << "Hardware Version"
                              << "PoE ID Rev";
    QTest::newRow("port number") << 1347 << "Port Number"
                                 << "";
    QTest::newRow("total power") << 1601 << "Total Power"
                                 << "";
}

// A screen reader hears what the cell is and what it shows, and the new value after a change.
void tst_Info::valueCellsSpeakWhatTheyAreAndWhatTheyShow()
{
    QFETCH(int, id);
    QFETCH(QString, name);
    QFETCH(QString, shown);

    Rig rig;
    QWidget* cell = rig.controls().widget(id);
    QAccessibleInterface* reader = QAccessible::queryAccessibleInterface(cell);
    QVERIFY(reader);
    QCOMPARE(reader->text(QAccessible::Name), name);
    QAccessibleTextInterface* text = reader->textInterface();
    QVERIFY2(text, "the cell's value cannot be read");
    QCOMPARE(text->text(0, text->characterCount()), shown);
    QCOMPARE(reader->text(QAccessible::Description), shown);
    QVERIFY(reader->state().readOnly);

    rig.controls().setText(id, QStringLiteral("3500"));
    QCOMPARE(text->text(0, text->characterCount()), QStringLiteral("3500"));
    QCOMPARE(reader->text(QAccessible::Description), QStringLiteral("3500"));
    QCOMPARE(reader->text(QAccessible::Name), name);
}

void tst_Info::groupsAndCellsFitThePage_data()
{
    QTest::addColumn<QSize>("size");
    QTest::newRow("as the main window places it") << QSize();
    QTest::newRow("790 x 420") << QSize(790, 420);
}

void tst_Info::groupsAndCellsFitThePage()
{
    QFETCH(QSize, size);
    Rig rig;
    rig.window.show();
    rig.window.selectTab(1);
    QWidget* page = rig.controls().widget(PageId);
    QVERIFY(page->isVisible());
    QCOMPARE(page->geometry(), rig.controls().widget(135)->geometry());
    if (size.isValid())
        page->resize(size);
    const PageLayout layout(page, rig.controls());
    QList<QRect> groups;
    layout.portGroups(GroupBase, groups);
    if (QTest::currentTestFailed())
        return;
    for (int k = 1; k <= 24; ++k) {
        int above = groups[k - 1].top();
        for (int base : RowBases) {
            const QRect cell = layout.rect(base + k);
            QVERIFY2(groups[k - 1].contains(cell),
                     qPrintable(QStringLiteral("cell %1 outside").arg(base + k)));
            QVERIFY2(cell.top() > above, qPrintable(QStringLiteral("cell %1 out of order").arg(base + k)));
            above = cell.bottom();
        }
    }
    for (int id : {1332, 1333, 1334, 1335, 1336, 1337, 1338, 1367, 1368, 1369, 1370, 1371, 1372, 1009})
        layout.verifyClearOf(id, groups);
}

// What the page shows with every port's values: each cell its whole text, drawn in its colour
// where it stands on the page. The pictures stay in the build folder for a look by eye.
void tst_Info::fullPageShowsEveryValueWhole()
{
    Rig rig;
    rig.window.state().setPortCount(24);
    rig.window.view().showPowerLimits(QStringLiteral("PD-9024G"));
    for (int k = 1; k <= 24; ++k) {
        rig.controls().setText(DiscoveryR + k, QStringLiteral("%1").arg(24000 + 10 * k));
        rig.controls().setText(Current + k, QStringLiteral("%1").arg(100 + k));
        rig.controls().setText(Voltage + k, QStringLiteral("%1").arg(53.5, 0, 'f', 1));
        rig.controls().setText(Power + k, QStringLiteral("%1").arg(15400 + k));
        rig.controls().setText(ClassCurrent + k, QStringLiteral("%1").arg(k % 2 ? 10.5 : 28.0, 0, 'g', 3));
        if (rig.controls().text(Class + k) == u"Class")
            rig.controls().setText(Class + k, QStringLiteral("0: 15.4W"));
    }
    rig.window.show();
    rig.window.selectTab(1);
    QWidget* page = rig.controls().widget(PageId);
    const QImage shot = page->grab().toImage();
    QVERIFY(shot.save(QDir(QStringLiteral(SCREENSHOT_DIR)).filePath(QStringLiteral("info_page.png"))));
    QVERIFY(rig.window.grab().save(
        QDir(QStringLiteral(SCREENSHOT_DIR)).filePath(QStringLiteral("main_window_info.png"))));

    const PageLayout layout(page, rig.controls());
    for (int k = 1; k <= 24; ++k)
        for (int base : RowBases) {
            MyStatic* cell = rig.cell(base, k);
            const QString where = QStringLiteral("cell %1 (%2)").arg(base + k).arg(cell->text());
            QVERIFY2(cell->fontMetrics().horizontalAdvance(cell->text()) <= cell->contentsRect().width(),
                     qPrintable(where + QStringLiteral(" cut off")));
            // Ink: pixels nearer the text colour than the background.
            const QRect area = layout.rect(base + k);
            const QColor ink = cell->textColour();
            const QColor paper = cell->backgroundColour();
            const auto distance = [](QColor a, QColor b) {
                return qAbs(a.red() - b.red()) + qAbs(a.green() - b.green()) + qAbs(a.blue() - b.blue());
            };
            int inked = 0;
            for (int y = area.top(); y <= area.bottom(); ++y)
                for (int x = area.left(); x <= area.right(); ++x)
                    if (distance(shot.pixelColor(x, y), ink) < distance(shot.pixelColor(x, y), paper))
                        ++inked;
            QVERIFY2(inked >= 5 * cell->text().size(), qPrintable(where + QStringLiteral(" not drawn")));
        }
}

QTEST_MAIN(tst_Info)
#include "tst_info.moc"
