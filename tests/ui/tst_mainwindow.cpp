#include "RecordingFeedback.h"

#include "app/Spanmon.h"
#include "core/Clock.h"
#include "core/ControlIds.h"
#include "ui/DialogFeedback.h"
#include "ui/DialogUnits.h"
#include "ui/HistoryView.h"
#include "ui/Info.h"
#include "ui/MyStatic.h"
#include "ui/PortDescription.h"

#include <QAccessible>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMenu>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include <algorithm>

// The main window as the operator meets it: its controls, the link choice and leaving the program.
class tst_MainWindow : public QObject
{
    Q_OBJECT

    struct Window {
        Clock clock{0.01};
        RecordingFeedback feedback;
        Spanmon spanmon{clock, feedback};
        MainWindow& window = spanmon.window();
    };

private slots:
    void everyControlHasItsIdentifierKindAndCaption_data()
    {
        QTest::addColumn<int>("id");
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("caption");
        QTest::newRow("1496") << 1496 << "QGroupBox"
                              << "System Information / Operation";
        QTest::newRow("1506") << 1506 << "QGroupBox"
                              << "Reset/Update";
        QTest::newRow("1002") << 1002 << "QPushButton"
                              << "System Reset";
        QTest::newRow("1505") << 1505 << "QPushButton"
                              << "Firmware Download";
        QTest::newRow("1504") << 1504 << "QLabel"
                              << " DOWNLOAD IN PROGRESS";
        QTest::newRow("1497") << 1497 << "QGroupBox"
                              << "System/Port Param.";
        QTest::newRow("1004") << 1004 << "QPushButton"
                              << "Save Parameters to Flash";
        QTest::newRow("1005") << 1005 << "QPushButton"
                              << "Restore Factory Defaults";
        QTest::newRow("1003") << 1003 << "QPushButton"
                              << "About";
        QTest::newRow("1498") << 1498 << "QGroupBox"
                              << "System Information";
        QTest::newRow("1343") << 1343 << "QLabel"
                              << "Firmware Version";
        QTest::newRow("1344") << 1344 << "QLabel"
                              << "Hardware Version";
        QTest::newRow("1348") << 1348 << "QLabel"
                              << "Port Number";
        QTest::newRow("1600") << 1600 << "QLabel"
                              << "Total Power";
        QTest::newRow("1601") << 1601 << "MyStatic"
                              << "";
        QTest::newRow("1602") << 1602 << "QPushButton"
                              << "History...";
        QTest::newRow("1324") << 1324 << "QLabel"
                              << "System ID  (Description)";
        QTest::newRow("1345") << 1345 << "MyStatic"
                              << "FW Rev";
        QTest::newRow("1346") << 1346 << "MyStatic"
                              << "PoE ID Rev";
        QTest::newRow("1347") << 1347 << "MyStatic"
                              << "";
        QTest::newRow("1000") << 1000 << "QLineEdit"
                              << "";
        QTest::newRow("1001") << 1001 << "QPushButton"
                              << "Edit";
        QTest::newRow("1503") << 1503 << "QGroupBox"
                              << "Connection Information";
        QTest::newRow("1500") << 1500 << "QLabel"
                              << "Connection Type";
        QTest::newRow("1501") << 1501 << "QComboBox"
                              << "SNMP/LAN & WAN";
        QTest::newRow("1008") << 1008 << "QPushButton"
                              << "Setting";
        QTest::newRow("1502") << 1502 << "QComboBox"
                              << "";
        QTest::newRow("1350") << 1350 << "QPushButton"
                              << "Search PoE";
        QTest::newRow("1510") << 1510 << "QProgressBar"
                              << "";
        QTest::newRow("1349") << 1349 << "QListWidget"
                              << "";
        QTest::newRow("182") << 182 << "PROGRESSDLG"
                             << "Spanmon ";
        QTest::newRow("1482") << 1482 << "QLabel"
                              << "Processing";
        QTest::newRow("1481") << 1481 << "QProgressBar"
                              << "";
    }
    void everyControlHasItsIdentifierKindAndCaption()
    {
        QFETCH(int, id);
        QFETCH(QString, kind);
        QFETCH(QString, caption);
        Window w;
        QWidget* control = w.window.controls().widget(id);
        QVERIFY(control);
        QCOMPARE(QString::fromLatin1(control->metaObject()->className()), kind);
        QCOMPARE(w.window.controls().text(id), caption);
    }

    void sizesFollowTheDialogUnitsOfTheDialogFont()
    {
        Window w;
        const DialogUnits du(fonts::dialog());
        QCOMPARE(w.window.size(), du.size(466, 303));
        QCOMPARE(w.window.windowTitle(), QStringLiteral("Spanmon"));
        // Both pages lie inside the tab control without spilling out of it.
        QWidget* tabs = w.window.controls().widget(ctl::Tabs);
        QVERIFY(w.window.rect().contains(tabs->geometry()));
    }

    void startsOnTheNetworkLinkWithTheDeviceControlsLocked()
    {
        Window w;
        Controls& c = w.window.controls();
        QCOMPARE(&w.window.controller().link(), &w.spanmon.core().link(0));
        QCOMPARE(c.currentIndex(ctl::LinkCombo), 0);
        QVERIFY(!c.isEnabled(ctl::FirmwareDownload));
        QVERIFY(!c.isVisible(ctl::DownloadIndicator));
        QVERIFY(!c.isVisible(ctl::ComPortCombo));
        QVERIFY(c.isVisible(ctl::Setting));
        QVERIFY(!c.isVisible(ctl::SearchProgress));
        QVERIFY(!c.isVisible(ctl::ProgressDialog));
        QCOMPARE(int(w.spanmon.network().state().snmpPhase), 999);
        QCOMPARE(w.spanmon.network().state().retries, 3);
        QVERIFY(w.spanmon.network().settingsForm().settingsPath().endsWith(QStringLiteral("/Link.ini")));
    }

    void linkChangeIsRefusedWhileASessionRuns()
    {
        Window w;
        auto* link = w.window.controls().get<QComboBox>(ctl::LinkCombo);
        w.spanmon.serialState().linked = true;
        w.window.view().insertFoundEntry(0, QStringLiteral("ttyV0 *** POE528U-480-24-N"));
        link->setCurrentIndex(1);
        emit link->activated(1);
        QCOMPARE(link->currentIndex(), 0);
        QCOMPARE(&w.window.controller().link(), &w.spanmon.core().link(0));
        QCOMPARE(w.window.controls().itemCount(ctl::FoundDevices), 1);
        QVERIFY(w.feedback.shown.isEmpty());
    }

    void linkChangeIsIgnoredDuringAFirmwareDownload()
    {
        Window w;
        auto* link = w.window.controls().get<QComboBox>(ctl::LinkCombo);
        w.spanmon.serialState().downloadHoldsLine = true;
        link->setCurrentIndex(1);
        emit link->activated(1);
        QCOMPARE(link->currentIndex(), 0);
        QVERIFY(w.feedback.shown.isEmpty());
    }

    void backToTheNetworkLinkShowsSettingAndDropsTheListedDevice()
    {
        Window w;
        Controls& c = w.window.controls();
        w.window.context().link = &w.spanmon.core().link(1); // without a COM port
        c.setEnabled(ctl::SearchPoe, false);
        c.setVisible(ctl::Setting, false);
        c.setVisible(ctl::ComPortCombo, true);
        w.window.view().insertFoundEntry(0, QStringLiteral("ttyV0 *** POE263U"));
        emit w.window.controls().get<QComboBox>(ctl::LinkCombo)->activated(0);
        QCOMPARE(&w.window.controller().link(), &w.spanmon.core().link(0));
        QVERIFY(w.spanmon.network().state().chosen);
        QVERIFY(c.isVisible(ctl::Setting));
        QVERIFY(!c.isVisible(ctl::ComPortCombo));
        QVERIFY(c.isEnabled(ctl::SearchPoe));
        QCOMPARE(c.itemCount(ctl::FoundDevices), 0);
    }

    void serialLinkWithoutPortsWarnsUntilTheNetworkLinkIsChosenAgain()
    {
        Window w;
        QTemporaryDir noLinks;
        SerialPortEnumerator& ports = w.spanmon.serial().enumerator();
        ports.setSystemPorts([] { return std::vector<SerialPortInfo>{}; });
        ports.setVirtualPorts(noLinks.path(), QStringLiteral("ttyV*"));
        auto* link = w.window.controls().get<QComboBox>(ctl::LinkCombo);
        link->setCurrentIndex(1);
        emit link->activated(1);
        QCOMPARE(w.feedback.shown.size(), 1);
        QCOMPARE(w.feedback.shown.first(),
                 (Message{QStringLiteral("Warning"), QStringLiteral("No Serial Port can be opened !!   "),
                          Message::Icon::Exclamation, Message::Buttons::Ok}));
        QVERIFY(!w.spanmon.serialState().comPortsFound);
        QVERIFY(!w.spanmon.network().state().chosen);
        QVERIFY(!w.window.controls().isEnabled(ctl::SearchPoe));
        QVERIFY(w.window.controls().isVisible(ctl::ComPortCombo));
        QVERIFY(!w.window.controls().isVisible(ctl::Setting));

        link->setCurrentIndex(0);
        emit link->activated(0);
        QCOMPARE(&w.window.controller().link(), &w.spanmon.core().link(0));
        QVERIFY(w.spanmon.network().state().chosen);
        QVERIFY(w.window.controls().isEnabled(ctl::SearchPoe));
        QCOMPARE(w.feedback.shown.size(), 1);
    }

    void comPortChoiceSnapsBackWhileConnected()
    {
        Window w;
        Controls& c = w.window.controls();
        w.window.context().link = &w.spanmon.serial();
        for (const char* name : {"ttyS0", "ttyUSB0", "ttyV0"})
            c.addItem(ctl::ComPortCombo, QString::fromLatin1(name));
        c.setCurrentIndex(ctl::ComPortCombo, 0);
        emit w.window.controls().get<QComboBox>(ctl::ComPortCombo)->activated(2);
        QCOMPARE(w.spanmon.serialState().comChoice, 2);
        w.spanmon.serialState().linked = true;
        emit w.window.controls().get<QComboBox>(ctl::ComPortCombo)->activated(1);
        QCOMPARE(c.currentIndex(ctl::ComPortCombo), 2);
        QCOMPARE(w.spanmon.serialState().comChoice, 2);
    }

    void exitAsksAndCancelChangesNothing()
    {
        Window w;
        w.window.show();
        w.spanmon.serialState().linked = true;
        w.feedback.answers = {false};
        w.window.close();
        QVERIFY(w.window.isVisible());
        QVERIFY(w.spanmon.serialState().linked);
        QCOMPARE(w.feedback.shown.size(), 1);
        const Message expected{QStringLiteral("Corvane MIDSPAN PoE GUI Monitor"),
                               QStringLiteral("Exit Corvane MIDSPAN PoE GUI Monitor ?"),
                               Message::Icon::Question, Message::Buttons::OkCancel};
        QCOMPARE(w.feedback.shown.first(), expected);

        w.feedback.answers = {true};
        w.window.close();
        QVERIFY(!w.window.isVisible());
    }

    void enterAndEscapeAreSwallowed()
    {
        Window w;
        w.window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w.window));
        auto* reset = w.window.controls().get<QPushButton>(ctl::SystemReset);
        reset->setFocus();
        QSignalSpy pressed(reset, &QPushButton::clicked);
        QTest::keyClick(reset, Qt::Key_Return);
        QTest::keyClick(reset, Qt::Key_Enter);
        QTest::keyClick(&w.window, Qt::Key_Escape);
        QCOMPARE(pressed.count(), 0);
        QVERIFY(w.window.isVisible());
        QVERIFY(w.feedback.shown.isEmpty());
    }

    void tabsShowOnePageAtATime()
    {
        Window w;
        QWidget* portPage = w.window.controls().widget(ctl::PortPage);
        QWidget* infoPage = w.window.controls().widget(ctl::InfoPage);
        QVERIFY(portPage);
        QVERIFY(infoPage);
        QVERIFY(infoPage->isHidden());
        w.window.selectTab(1);
        QVERIFY(portPage->isHidden());
        QVERIFY(!infoPage->isHidden());
        w.window.selectTab(0);
        QVERIFY(!portPage->isHidden());
        QVERIFY(infoPage->isHidden());
    }

    // The parametric page is not part of the first paint: it is built once that paint is done,
    // or as soon as the program or the operator wants one of its controls.
    void infoPageIsBuiltAfterTheFirstPaintOrWhenWanted()
    {
        {
            Window w;
            QVERIFY(!w.window.findChild<Info*>());
            w.window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&w.window));
            QTRY_VERIFY(w.window.findChild<Info*>());
            QVERIFY(w.window.controls().widget(ctl::InfoPage)->isHidden());
        }
        {
            Window w;
            w.window.controls().setText(ctl::CurrentBase + 3, QStringLiteral("12"));
            QCOMPARE(w.window.controls().get<MyStatic>(ctl::CurrentBase + 3)->text(), QStringLiteral("12"));
            QCOMPARE(w.window.findChildren<Info*>().size(), 1);
        }
        {
            Window w;
            w.window.selectTab(1);
            auto* page = w.window.findChild<Info*>();
            QVERIFY(page);
            QVERIFY(!page->isHidden());
            QCOMPARE(page->geometry(), w.window.controls().widget(ctl::PortPage)->geometry());
        }
    }

    // A lamp with the focus shows a dotted frame; without it, none.
    void focusedLampShowsAFrame()
    {
        Window w;
        w.window.show();
        w.window.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&w.window));
        auto* lamp = w.window.controls().get<QLabel>(ctl::PortLampBase + 12);
        auto blackOnTheEdge = [lamp] {
            const QImage image = lamp->grab().toImage();
            int black = 0;
            for (int x = 0; x < image.width(); ++x)
                black += image.pixelColor(x, 0) == Qt::black;
            return black;
        };
        lamp->setFocus();
        QTRY_VERIFY(lamp->hasFocus());
        QVERIFY(blackOnTheEdge() > lamp->width() / 4);
        w.window.controls().widget(ctl::SearchPoe)->setFocus();
        QTRY_VERIFY(!lamp->hasFocus());
        QCOMPARE(blackOnTheEdge(), 0);
    }

    void noSessionTimer3OnTheNetworkLinkReportsNoDevice()
    {
        Window w;
        w.window.context().clock.start(TimerId::IdentifyReply, 1000);
        QTRY_COMPARE_WITH_TIMEOUT(w.feedback.shown.size(), 1, 5000);
        QCOMPARE(w.feedback.shown.first().title, QStringLiteral("Error"));
        QCOMPARE(
            w.feedback.shown.first().text,
            QStringLiteral("No Corvane PoE Device !! \r\nPlease Check IP Address, Community Setting,\r\nor "
                           "Hardware Disconnected !!"));
    }

    void valueFieldsSpeakTheirValueAndCaption()
    {
        Window w;
        w.window.controls().setText(ctl::FirmwareRevision, QStringLiteral("2.3"));
        QAccessibleInterface* field =
            QAccessible::queryAccessibleInterface(w.window.controls().widget(ctl::FirmwareRevision));
        QVERIFY(field);
        QCOMPARE(field->text(QAccessible::Name), QStringLiteral("Firmware Version"));
        QCOMPARE(field->text(QAccessible::Description), QStringLiteral("2.3"));
        QVERIFY(field->textInterface());
        QCOMPARE(field->textInterface()->text(0, field->textInterface()->characterCount()),
                 QStringLiteral("2.3"));
        QAccessibleInterface* reset =
            QAccessible::queryAccessibleInterface(w.window.controls().widget(ctl::SystemReset));
        QCOMPARE(reset->text(QAccessible::Name), QStringLiteral("System Reset"));
        QVERIFY(reset->actionInterface());
        QVERIFY(reset->actionInterface()->actionNames().contains(QAccessibleActionInterface::pressAction()));
    }

    // "History..." opens the power history as it was; a lamp's menu, from the mouse or the
    // keyboard, opens it with that port alone. Without a session it says so.
    void historyOpensFromTheButtonAndFromALampsMenu()
    {
        Window w;
        w.window.historyModule().setFolders({QStringLiteral(HISTORY_MODULE_DIR)});
        w.window.show();
        QVERIFY(w.window.controls().isEnabled(ctl::History));
        w.window.controls().get<QPushButton>(ctl::History)->click();
        HistoryView* history = w.window.historyWindow();
        QVERIFY2(history && history->widget()->isVisible(), qPrintable(w.feedback.texts().join(u'\n')));
        QCOMPARE(history->widget()->windowTitle(), QStringLiteral("Power History"));
        const QList<QWidget*> parts = history->widget()->findChildren<QWidget*>();
        const auto chart = std::find_if(parts.begin(), parts.end(), [](QWidget* part) {
            return part->accessibleName() == QStringLiteral("Power chart");
        });
        QVERIFY(chart != parts.end() && (*chart)->inherits("QChartView") && (*chart)->isVisible());
        QCOMPARE(history->note(), QStringLiteral("No samples yet in this session."));
        QVERIFY(history->isPortChosen(1) && history->isPortChosen(24));
        history->widget()->hide();

        auto* page = w.window.findChild<PortDescription*>();
        QObject owner;
        const QList<QAction*> actions = page->lampActions(7, &owner);
        const auto entry = std::find_if(actions.begin(), actions.end(), [](QAction* a) {
            return a->text() == QStringLiteral("Power history of port 7");
        });
        QVERIFY(entry != actions.end());
        (*entry)->trigger();
        QVERIFY(history->widget()->isVisible());
        QVERIFY(history->isPortChosen(7));
        QVERIFY(!history->isPortChosen(1) && !history->isPortChosen(8));

        // The lamp takes the focus; the menu key and Shift+F10 open its menu.
        auto* lamp = w.window.controls().get<QLabel>(ctl::PortLampBase + 12);
        QCOMPARE(lamp->focusPolicy(), Qt::StrongFocus);
        int menus = 0;
        for (const auto& [key, modifiers] :
             {std::pair{Qt::Key_Menu, Qt::NoModifier}, std::pair{Qt::Key_F10, Qt::ShiftModifier}}) {
            QTimer::singleShot(0, this, [&] {
                QMenu* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
                QVERIFY(menu);
                ++menus;
                QStringList texts;
                for (QAction* action : menu->actions())
                    texts << action->text();
                QVERIFY2(texts.contains(QStringLiteral("Power history of port 12")),
                         qPrintable(texts.join(',')));
                menu->close();
            });
            lamp->setFocus();
            QTest::keyClick(lamp, key, modifiers);
            QVERIFY(!QTest::currentTestFailed());
        }
        QCOMPARE(menus, 2);
    }
    // Without its module the History window says why it cannot open, and nothing else changes;
    // each request looks for the module again.
    void historySaysWhyItCannotOpenWithoutItsModule()
    {
        Window w;
        QTemporaryDir folder;
        w.window.historyModule().setFolders({folder.path()});
        w.window.show();
        auto* button = w.window.controls().get<QPushButton>(ctl::History);
        button->click();
        QVERIFY(!w.window.historyWindow());
        QCOMPARE(w.feedback.shown.size(), 1);
        QCOMPARE(w.feedback.shown[0].title, QStringLiteral("Error"));
        QCOMPARE(
            w.feedback.shown[0].text,
            QStringLiteral("The History window could not be opened: spanmon-history.so is in none of the "
                           "folders %1.")
                .arg(folder.path()));

        // A file that is no module: the loader's reason.
        QFile notAModule(folder.filePath(QStringLiteral("spanmon-history.so")));
        QVERIFY(notAModule.open(QIODevice::WriteOnly) && notAModule.write("no ELF") == 6);
        notAModule.close();
        button->click();
        QVERIFY(!w.window.historyWindow());
        QCOMPARE(w.feedback.shown.size(), 2);
        QVERIFY2(
            w.feedback.shown[1].text.startsWith(QStringLiteral("The History window could not be opened: ")) &&
                w.feedback.shown[1].text.contains(notAModule.fileName()),
            qPrintable(w.feedback.shown[1].text));
        QVERIFY(w.window.isVisible() && button->isEnabled());

        w.window.historyModule().setFolders({QStringLiteral(HISTORY_MODULE_DIR)});
        button->click();
        QVERIFY(w.window.historyWindow() && w.window.historyWindow()->widget()->isVisible());
        QCOMPARE(w.feedback.shown.size(), 2);
    }

    // The program's real message boxes. Texts keep the line breaks of the original, a carriage
    // return alone among them (the loader's texts), and each is a line on screen; texts with
    // what a device, a file or the operator wrote show markup as its characters and read no
    // picture it names (one of 300 x 300 pixels would make the text that tall).
    void messageBoxesShowTheirTextAsWritten_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QStringList>("lines");
        QTest::newRow("carriage return alone (loader)")
            << "means inbuff!= 'T'  'O'  'E'  \r  \n  step  3"
            << QStringList{"means inbuff!= 'T'  'O'  'E'  ", "  ", "  step  3"};
        QTest::newRow("carriage return and line feed")
            << "No Corvane PoE Device !! \r\nPlease Check Com Port or Hardware Disconnected !!"
            << QStringList{"No Corvane PoE Device !! ", "Please Check Com Port or Hardware Disconnected !!"};
        // The picture lies in the working directory.
        const QString port = QStringLiteral("ComPort Error !! (<b>ttyV9</b><img src=\"tall.png\"> )");
        QTest::newRow("markup in a port name") << port << QStringList{port};
    }
    void messageBoxesShowTheirTextAsWritten()
    {
        QFETCH(QString, text);
        QFETCH(QStringList, lines);
        QImage tall(300, 300, QImage::Format_RGB32);
        tall.fill(Qt::red);
        QVERIFY(tall.save(pictures_.filePath(QStringLiteral("tall.png"))));
        const QString previous = QDir::currentPath();
        QDir::setCurrent(pictures_.path());

        QString shown;
        QString spoken;
        QSize size;
        QFont font;
        QTimer look;
        connect(&look, &QTimer::timeout, this, [&] {
            auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget());
            if (!box)
                return;
            const QLabel* label = box->findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
            shown = label->text();
            spoken =
                QAccessible::queryAccessibleInterface(const_cast<QLabel*>(label))->text(QAccessible::Name);
            size = label->sizeHint();
            font = label->font();
            box->accept();
        });
        look.start(5);
        DialogFeedback feedback;
        feedback.present({QStringLiteral("Error"), text, Message::Icon::Exclamation});
        QDir::setCurrent(previous);
        QCOMPARE(shown.split(u'\n'), lines);
        const QFontMetrics metrics(font);
        QVERIFY(size.height() >= lines.size() * metrics.lineSpacing());
        QVERIFY(size.height() < 100);
        QCOMPARE(spoken, lines.join(u'\n')); // a screen reader hears markup as the text it draws
    }

private:
    QTemporaryDir pictures_;
};

QTEST_MAIN(tst_MainWindow)
#include "tst_mainwindow.moc"
