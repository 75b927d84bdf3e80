#include "RecordingFeedback.h"
#include "WorkingDirectory.h"

#include "app/Spanmon.h"
#include "core/Clock.h"
#include "links/snmp/LinkIni.h"
#include "links/snmp/NetworkLink.h"
#include "ui/AddressEdit.h"
#include "ui/MainWindow.h"
#include "ui/ParamSetting.h"

#include <QAccessible>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QDir>
#include <QFile>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <sys/stat.h>

// Identifiers of the design, restated: the main window's and the dialog's.
constexpr int Setting = 1008, SearchPoe = 1350, FoundDevices = 1349, Tabs = 1006, SystemReset = 1002;
constexpr int LocalAddress = 1508, FirstAddress = 1351, EndOctet = 1509, ReadCommunity = 1352,
              WriteCommunity = 1353, UseV3 = 1360, User = 1354, AuthPassword = 1355, PrivPassword = 1363,
              Ok = 1, Cancel = 2;

// Presses keys where the focus is, as a keyboard does; "\b" is Backspace.
void typeWhereFocused(const QString& keys)
{
    for (QChar c : keys) {
        QWidget* target = QApplication::focusWidget();
        QVERIFY(target);
        if (c == u'\b')
            QTest::keyClick(target, Qt::Key_Backspace);
        else
            QTest::keyClick(target, c.toLatin1());
    }
}

// The link settings dialog as the operator meets it, opened by "Setting" in the main window.
class tst_ParamSetting : public QObject
{
    Q_OBJECT

    struct Window {
        Clock clock{0.01};
        RecordingFeedback feedback;
        Spanmon spanmon{clock, feedback};
        MainWindow& window = spanmon.window();
        ParamSetting& dialog = window.settingsDialog();
        WidgetControls& fields = dialog.controls();
        LinkSettingsForm& form = spanmon.network().settingsForm();
        LinkSettings& settings = spanmon.network().searcher().settings();

        template <class T> T* get(int id) { return fields.get<T>(id); }
        AddressEdit* address(int id) { return get<AddressEdit>(id); }
        void press(int id) { QTest::mouseClick(get<QPushButton>(id), Qt::LeftButton); }
        bool openBySetting()
        {
            window.show();
            QTest::mouseClick(window.controls().get<QPushButton>(Setting), Qt::LeftButton);
            return dialog.isVisible() && QTest::qWaitForWindowActive(&dialog);
        }
    };

    WorkingDirectory dir_; // Link.ini lives in the working directory

    QString iniPath() const { return dir_.filePath(QStringLiteral("Link.ini")); }

private slots:
    void init() { QFile::remove(iniPath()); }

    void everyControlHasItsIdentifierKindAndCaption_data();
    void everyControlHasItsIdentifierKindAndCaption();
    void settingStoresTheValuesAndEndsTheListedSearch();
    void cancelEnterEscapeAndTheCloseBoxChangeNothing();
    void cancelAfterAWarningKeepsTheSession();
    void snmpV3TickBoxSwapsTheRows();
    void networkSearchOpensTheSameDialog();
    void addressTyping_data();
    void addressTyping();
    void addressPasteAndReadOnly();
    void everyFieldSpeaksItsNameAndValue();
    void storedPassPhraseStaysWhole_data();
    void storedPassPhraseStaysWhole();
    void linkIniThatIsNoFileIsReported_data();
    void linkIniThatIsNoFileIsReported();
};

void tst_ParamSetting::everyControlHasItsIdentifierKindAndCaption_data()
{
    QTest::addColumn<int>("id");
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("caption");
    QTest::addColumn<bool>("arial"); // labels and the tick box in Arial 16

    QTest::newRow("1511") << 1511 << "QGroupBox"
                          << "IP Address" << false;
    QTest::newRow("1364") << 1364 << "QLabel"
                          << "&Local IP Address" << true;
    QTest::newRow("1508") << 1508 << "AddressEdit"
                          << "" << false;
    QTest::newRow("1362") << 1362 << "QLabel"
                          << "&IP Discovery" << true;
    QTest::newRow("1351") << 1351 << "AddressEdit"
                          << "" << false;
    QTest::newRow("1509") << 1509 << "QLineEdit"
                          << "" << false;
    QTest::newRow("1356") << 1356 << "QLabel"
                          << "&Read Community :" << true;
    QTest::newRow("1352") << 1352 << "QLineEdit"
                          << "" << false;
    QTest::newRow("1357") << 1357 << "QLabel"
                          << "&Set Community :" << true;
    QTest::newRow("1353") << 1353 << "QLineEdit"
                          << "" << false;
    QTest::newRow("1360") << 1360 << "QCheckBox"
                          << "SNMP&v3" << true;
    QTest::newRow("1358") << 1358 << "QLabel"
                          << "&User :" << true;
    QTest::newRow("1354") << 1354 << "QLineEdit"
                          << "" << false;
    QTest::newRow("1359") << 1359 << "QLabel"
                          << "&AuthPassword :" << true;
    QTest::newRow("1355") << 1355 << "QLineEdit"
                          << "" << false;
    QTest::newRow("1361") << 1361 << "QLabel"
                          << "&PrivPassword :" << true;
    QTest::newRow("1363") << 1363 << "QLineEdit"
                          << "" << false;
    QTest::newRow("1") << 1 << "QPushButton"
                       << "OK" << false;
    QTest::newRow("2") << 2 << "QPushButton"
                       << "Cancel" << false;
}

void tst_ParamSetting::everyControlHasItsIdentifierKindAndCaption()
{
    QFETCH(int, id);
    QFETCH(QString, kind);
    QFETCH(QString, caption);
    QFETCH(bool, arial);

    Window w;
    w.form.start(QString());
    QVERIFY(w.openBySetting());
    QWidget* control = w.fields.widget(id);
    QVERIFY(control);
    QCOMPARE(control->metaObject()->className(), kind);
    QCOMPARE(w.fields.text(id), caption);
    if (arial) {
        QCOMPARE(control->font().families().value(0), QStringLiteral("Arial"));
        QCOMPARE(control->font().weight(), QFont::Normal);
        QVERIFY(QFontMetrics(control->font()).height() <= 16);
    }
    if (auto* button = qobject_cast<QPushButton*>(control))
        QVERIFY(!button->autoDefault() && !button->isDefault());
    QCOMPARE(w.dialog.windowTitle(), QStringLiteral("User Security Parameters"));
    QCOMPARE(w.get<QLineEdit>(EndOctet)->maxLength(), 3);
    QCOMPARE(w.get<QLineEdit>(AuthPassword)->echoMode(), QLineEdit::Password);
    QCOMPARE(w.get<QLineEdit>(PrivPassword)->echoMode(), QLineEdit::Password);
    QVERIFY(w.address(LocalAddress)->isReadOnly());
}

void tst_ParamSetting::settingStoresTheValuesAndEndsTheListedSearch()
{
    {
        QFile old(iniPath());
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("; written by "
                  "hand\r\n[IPAdress]\r\nIP=127.0.40.30\r\nEndIP=10\r\n[Community]\r\nRead=public\r\n");
    }
    Window w;
    NetworkState& n = w.spanmon.network().state();
    w.form.start(QStringLiteral("127.0.40.2"));
    n.deviceListValid = n.workerSetUp = true;
    n.snmpPhase = CheckPhase(4);
    w.window.view().addFoundEntry(QStringLiteral("127.0.40.30 *** POE midspan"));
    QVERIFY(w.openBySetting());
    QCOMPARE(w.dialog.windowModality(), Qt::WindowModal);
    QCOMPARE(QApplication::focusWidget(), w.address(FirstAddress)->field(0)); // Tab passes 1508 by
    QCOMPARE(w.fields.text(FirstAddress), QStringLiteral("127.0.40.30"));
    QCOMPARE(w.fields.text(EndOctet), QStringLiteral("10"));
    QCOMPARE(w.fields.text(ReadCommunity), QStringLiteral("public"));
    QCOMPARE(w.fields.text(LocalAddress), QStringLiteral("127.0.40.2"));
    w.get<QLineEdit>(WriteCommunity)->setFocus();
    typeWhereFocused(QStringLiteral("private"));
    QVERIFY(w.dialog.grab().save(QStringLiteral(SCREENSHOT_DIR "/paramsetting.png")));

    w.feedback.answers = {true}; // re-link
    w.press(Ok);
    QCOMPARE(w.feedback.texts(), QStringList{QStringLiteral("Do You Want To Re-Link ?")});
    QVERIFY(!w.dialog.isVisible());
    QCOMPARE(w.dialog.result(), int(QDialog::Accepted));
    QCOMPARE(w.settings.range()->prefix, QStringLiteral("127.0.40."));
    QCOMPARE(w.settings.range()->first, 10);
    QCOMPARE(w.settings.range()->last, 30);
    QCOMPARE(w.settings.writeCommunity, QStringLiteral("private"));
    QVERIFY(!n.deviceListValid);
    QVERIFY(!n.workerSetUp);
    QCOMPARE(int(n.snmpPhase), 999);
    QCOMPARE(w.window.controls().itemCount(FoundDevices), 0);
    for (int id : {SearchPoe, Setting, Tabs})
        QVERIFY(w.window.controls().isEnabled(id));
    QVERIFY(!w.window.controls().isEnabled(SystemReset));

    QFile stored(iniPath());
    QVERIFY(stored.open(QIODevice::ReadOnly));
    QCOMPARE(stored.readAll(),
             QByteArray("; written by hand\r\n[IPAdress]\r\nIP=127.0.40.30\r\nEndIP=10\r\n"
                        "[Community]\r\nRead=public\r\nSet=private\r\n[SNMPv3]\r\nVersion=\r\n"
                        "User=\r\nAuthPassword=\r\nPrivPassword=\r\n"));
}

void tst_ParamSetting::cancelEnterEscapeAndTheCloseBoxChangeNothing()
{
    Window w;
    QSignalSpy finished(&w.dialog, &QDialog::finished);
    for (int way = 0; way < 2; ++way) {
        QVERIFY(w.openBySetting());
        w.fields.setText(FirstAddress, QStringLiteral("127.0.40.1"));
        w.get<QLineEdit>(ReadCommunity)->setFocus();
        typeWhereFocused(QStringLiteral("public"));
        for (int key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape}) {
            QTest::keyClick(QApplication::focusWidget(), Qt::Key(key));
            QTest::keyClick(&w.dialog, Qt::Key(key));
        }
        QVERIFY(w.dialog.isVisible());
        if (way == 0)
            w.press(Cancel);
        else
            QVERIFY(w.dialog.close());
        QVERIFY(!w.dialog.isVisible());
    }
    QCOMPARE(finished.count(), 2);
    QCOMPARE(finished.at(1).at(0).toInt(), int(QDialog::Rejected));
    QCOMPARE(w.settings, LinkSettings());
    QVERIFY(!QFile::exists(iniPath()));
    QVERIFY(w.feedback.shown.isEmpty());
}

void tst_ParamSetting::cancelAfterAWarningKeepsTheSession()
{
    Window w;
    NetworkState& n = w.spanmon.network().state();
    n.networkLinked = n.deviceListValid = n.workerSetUp = true;
    w.window.view().addFoundEntry(QStringLiteral("127.0.40.30 *** POE midspan"));
    QVERIFY(w.openBySetting());
    w.feedback.answers = {true}; // re-link, then the read community is missing
    w.press(Ok);
    QCOMPARE(w.feedback.texts().last(), QStringLiteral("Can not find 'Read Community' !!"));
    QCOMPARE(QApplication::focusWidget(), w.get<QLineEdit>(ReadCommunity));
    QVERIFY(w.form.relinkRequested());
    w.press(Cancel);

    QVERIFY(!n.deviceListValid);
    QVERIFY(n.networkLinked);
    QVERIFY(n.workerSetUp);
    QCOMPARE(w.window.controls().itemCount(FoundDevices), 1);
}

void tst_ParamSetting::snmpV3TickBoxSwapsTheRows()
{
    Window w;
    QVERIFY(w.openBySetting());
    QVERIFY(w.get<QLineEdit>(ReadCommunity)->isEnabled());
    QVERIFY(!w.get<QLineEdit>(User)->isEnabled());

    QTest::mouseClick(w.get<QCheckBox>(UseV3), Qt::LeftButton);
    QVERIFY(!w.get<QLineEdit>(ReadCommunity)->isEnabled());
    QVERIFY(!w.get<QLineEdit>(WriteCommunity)->isEnabled());
    for (int id : {User, AuthPassword, PrivPassword})
        QVERIFY(w.get<QLineEdit>(id)->isEnabled());
    QCOMPARE(QApplication::focusWidget(), w.get<QLineEdit>(User));

    typeWhereFocused(QStringLiteral("admin"));
    w.get<QLineEdit>(AuthPassword)->setFocus();
    typeWhereFocused(QStringLiteral("short"));
    w.press(Ok);
    QCOMPARE(w.feedback.texts(), QStringList{QStringLiteral("Can not find 'PrivPassword' !!")});
    QCOMPARE(QApplication::focusWidget(), w.get<QLineEdit>(PrivPassword));
    typeWhereFocused(QStringLiteral("privpass1"));
    w.press(Ok);
    QCOMPARE(w.feedback.texts().last(), QStringLiteral("'AuthPassword' must have at least 8 characters !!"));
    QCOMPARE(QApplication::focusWidget(), w.get<QLineEdit>(AuthPassword));
    QVERIFY(w.dialog.isVisible());
    QVERIFY(w.settings.useV3);
}

void tst_ParamSetting::networkSearchOpensTheSameDialog()
{
    Window w;
    w.window.show();
    QSignalSpy finished(&w.dialog, &QDialog::finished);
    w.window.controller().openSettings();
    QVERIFY(w.dialog.isVisible());
    w.fields.setText(FirstAddress, QStringLiteral("127.0.40.11"));
    w.window.controller().openSettings(); // a second request while it is open keeps what was typed
    QCOMPARE(w.fields.text(FirstAddress), QStringLiteral("127.0.40.11"));
    w.fields.setText(ReadCommunity, QStringLiteral("public"));
    w.fields.setText(WriteCommunity, QStringLiteral("private"));
    w.press(Ok);
    QCOMPARE(finished.count(), 1);
    QCOMPARE(LinkIni::inWorkingDirectory().value(QStringLiteral("IPAdress"), QStringLiteral("IP")),
             QStringLiteral("127.0.40.11"));
}

void tst_ParamSetting::addressTyping_data()
{
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("address");
    QTest::addColumn<int>("number"); // the number that has the focus afterwards

    QTest::newRow("dots typed") << "127.0.40.20"
                                << "127.0.40.20" << 3;
    QTest::newRow("dots skipped after three digits") << "12700004020"
                                                     << "127.0.40.20" << 3;
    QTest::newRow("number above 255 becomes 255") << "300"
                                                  << "255.0.0.0" << 1;
    QTest::newRow("dot in an empty number does nothing") << "."
                                                         << "" << 0;
    QTest::newRow("Backspace goes back across a dot") << "10.5\b\b7"
                                                      << "107.0.0.0" << 1;
    QTest::newRow("last number takes three digits") << "1.2.3.2001"
                                                    << "1.2.3.200" << 3;
}

void tst_ParamSetting::addressTyping()
{
    QFETCH(QString, keys);
    QFETCH(QString, address);
    QFETCH(int, number);

    Window w;
    QVERIFY(w.openBySetting());
    AddressEdit* first = w.address(FirstAddress);
    first->setFocus();
    typeWhereFocused(keys);
    QCOMPARE(first->text(), address);
    QCOMPARE(QApplication::focusWidget(), first->field(number));
}

void tst_ParamSetting::addressPasteAndReadOnly()
{
    Window w;
    w.form.start(QStringLiteral("127.0.40.2"));
    QVERIFY(w.openBySetting());
    AddressEdit* first = w.address(FirstAddress);

    QApplication::clipboard()->setText(QStringLiteral(" 127.0.40.33\n"));
    first->field(0)->setFocus();
    QTest::keyClick(first->field(0), Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(first->text(), QStringLiteral("127.0.40.33"));
    QApplication::clipboard()->setText(QStringLiteral("9.8"));
    first->field(2)->setFocus();
    first->field(2)->selectAll();
    QTest::keyClick(first->field(2), Qt::Key_V, Qt::ControlModifier);
    QCOMPARE(first->text(), QStringLiteral("127.0.9.8"));

    AddressEdit* local = w.address(LocalAddress);
    local->field(3)->setFocus();
    typeWhereFocused(QStringLiteral("\b5"));
    QCOMPARE(local->text(), QStringLiteral("127.0.40.2"));
}

void tst_ParamSetting::everyFieldSpeaksItsNameAndValue()
{
    Window w;
    w.form.start(QStringLiteral("127.0.40.2"));
    QVERIFY(w.openBySetting());
    w.fields.setText(FirstAddress, QStringLiteral("127.0.40.9"));
    w.fields.setText(ReadCommunity, QStringLiteral("public"));

    const QList<QLineEdit*> edits = w.dialog.findChildren<QLineEdit*>();
    QCOMPARE(edits.size(), 14); // two addresses of four numbers and six edits
    for (QLineEdit* edit : edits) {
        QAccessibleInterface* spoken = QAccessible::queryAccessibleInterface(edit);
        QVERIFY(spoken);
        QVERIFY2(!spoken->text(QAccessible::Name).isEmpty(), qPrintable(edit->objectName()));
        if (edit->echoMode() == QLineEdit::Normal)
            QCOMPARE(spoken->textInterface()->text(0, spoken->textInterface()->characterCount()),
                     edit->text());
    }
    QCOMPARE(QAccessible::queryAccessibleInterface(w.address(FirstAddress))->text(QAccessible::Description),
             QStringLiteral("127.0.40.9"));
    QCOMPARE(
        QAccessible::queryAccessibleInterface(w.address(LocalAddress)->field(3))->text(QAccessible::Name),
        QStringLiteral("Local IP Address, number 4 of 4"));
    QCOMPARE(QAccessible::queryAccessibleInterface(w.get<QLineEdit>(ReadCommunity))->text(QAccessible::Name),
             QStringLiteral("Read Community"));
}

// A pass phrase of 30 characters written by another program: the field shows it whole and OK
// stores it whole; what the operator types is held to 20 characters.
void tst_ParamSetting::storedPassPhraseStaysWhole_data()
{
    QTest::addColumn<bool>("typedAnew"); // all selected first
    QTest::addColumn<QString>("keys");
    QTest::addColumn<QString>("stored");

    const QString phrase = QStringLiteral("thirty-character-pass-phrase-1");
    QTest::newRow("left alone") << false << QString() << phrase;
    QTest::newRow("a character more") << false << "x" << phrase;
    QTest::newRow("one character less") << false << "\b" << phrase.chopped(1);
    QTest::newRow("typed anew, 25 characters") << true << "twenty-five-characters-25"
                                               << "twenty-five-characte";
}

void tst_ParamSetting::storedPassPhraseStaysWhole()
{
    QFETCH(bool, typedAnew);
    QFETCH(QString, keys);
    QFETCH(QString, stored);
    const QString phrase = QStringLiteral("thirty-character-pass-phrase-1");
    const QString user = QStringLiteral("a-user-of-twenty-four-ch");
    QCOMPARE(phrase.size(), 30);
    {
        QFile ini(iniPath());
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[IPAdress]\r\nIP=127.0.40.30\r\n[SNMPv3]\r\nUser=" + user.toUtf8() +
                  "\r\nAuthPassword=" + phrase.toUtf8() + "\r\nPrivPassword=" + phrase.toUtf8() + "\r\n");
    }
    Window w;
    QVERIFY(w.openBySetting());
    QTest::mouseClick(w.get<QCheckBox>(UseV3), Qt::LeftButton);
    QCOMPARE(w.fields.text(User), user);
    QCOMPARE(w.fields.text(AuthPassword), phrase);
    QLineEdit* auth = w.get<QLineEdit>(AuthPassword);
    auth->setFocus();
    if (typedAnew)
        auth->selectAll();
    typeWhereFocused(keys);
    w.press(Ok);
    QVERIFY(!w.dialog.isVisible());
    QCOMPARE(w.settings.authPassword, stored);
    QCOMPARE(w.settings.privPassword, phrase);
    QCOMPARE(w.settings.user, user);
    QCOMPARE(LinkIni(iniPath()).read().authPassword, stored);
    QCOMPARE(LinkIni(iniPath()).read().privPassword, phrase);
    QCOMPARE(LinkIni(iniPath()).read().user, user);
}

// Link.ini as a named pipe or a symbolic link: the dialog opens at once and says that it cannot
// read the file, OK says that it cannot save there, and the values apply all the same.
void tst_ParamSetting::linkIniThatIsNoFileIsReported_data()
{
    QTest::addColumn<bool>("pipe");
    QTest::addColumn<QString>("problem");
    QTest::newRow("named pipe") << true << "it is a named pipe (FIFO), not a file";
    QTest::newRow("symbolic link") << false << "it is a symbolic link, which is not followed";
}

void tst_ParamSetting::linkIniThatIsNoFileIsReported()
{
    QFETCH(bool, pipe);
    QFETCH(QString, problem);
    const QString target = dir_.filePath(QStringLiteral("elsewhere.ini"));
    const QByteArray old = "[IPAdress]\r\nIP=127.0.40.8\r\n";
    if (pipe) {
        QVERIFY(::mkfifo(QFile::encodeName(iniPath()).constData(), 0600) == 0);
    } else {
        QFile file(target);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(old);
        file.close();
        QVERIFY(QFile::link(target, iniPath()));
    }
    const QString path = QDir::current().filePath(QStringLiteral("Link.ini"));
    Window w;
    QVERIFY(w.openBySetting());
    QCOMPARE(
        w.feedback.texts(),
        QStringList{QStringLiteral("Can not read the settings in %1 :\r\n%2.\r\nNothing is taken from it.")
                        .arg(path, problem)});
    QCOMPARE(w.fields.text(FirstAddress), QString());
    w.fields.setText(FirstAddress, QStringLiteral("127.0.40.9"));
    w.fields.setText(ReadCommunity, QStringLiteral("public"));
    w.fields.setText(WriteCommunity, QStringLiteral("private"));
    w.feedback.shown.clear();
    w.press(Ok);
    QCOMPARE(w.feedback.texts(),
             QStringList{QStringLiteral("Can not save the settings in %1 :\r\n%2.\r\n"
                                        "The new settings are used until the program is closed.")
                             .arg(path, problem)});
    QVERIFY(!w.dialog.isVisible());
    QCOMPARE(w.settings.range()->prefix, QStringLiteral("127.0.40."));
    QCOMPARE(w.settings.writeCommunity, QStringLiteral("private"));
    const QFileInfo ini(iniPath());
    if (pipe) {
        QVERIFY(!ini.isFile() && ini.exists());
        return;
    }
    QCOMPARE(ini.symLinkTarget(), target);
    QFile file(target);
    QVERIFY(file.open(QIODevice::ReadOnly));
    QCOMPARE(file.readAll(), old);
}

QTEST_MAIN(tst_ParamSetting)
#include "tst_paramsetting.moc"
