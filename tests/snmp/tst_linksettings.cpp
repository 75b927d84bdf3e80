#include "FakeControls.h"
#include "RecordingFeedback.h"
#include "WorkingDirectory.h"

#include "links/snmp/LinkSettingsForm.h"
#include "links/snmp/LocalAddress.h"
#include "links/snmp/NetworkState.h"

#include <QDir>
#include <QFile>
#include <QTest>

// Identifiers of the dialog's design, restated.
constexpr int FirstAddress = 1351, EndOctet = 1509, LocalAddress = 1508;
constexpr int ReadCommunity = 1352, WriteCommunity = 1353, User = 1354, AuthPassword = 1355,
              PrivPassword = 1363;
constexpr int ReadLabel = 1356, SetLabel = 1357, UseV3 = 1360, UserLabel = 1358, AuthLabel = 1359,
              PrivLabel = 1361;

const QString Relink = QStringLiteral("Do You Want To Re-Link ?");

// The rules of the link settings dialog on its controls: opening, the SNMPv3 choice and OK.
class tst_LinkSettings : public QObject
{
    Q_OBJECT

    struct Rig {
        NetworkState net;
        FakeControls controls;
        RecordingFeedback feedback;
        LinkSettings settings;
        LinkSettingsForm form{net, feedback, settings};

        // The range the search would take; 0..0 when there is none.
        std::pair<int, int> range() const
        {
            const ParsedRange parsed = settings.range();
            return parsed ? std::pair(parsed->first, parsed->last) : std::pair(0, 0);
        }

        void fill(const QStringList& fields)
        {
            const int ids[] = {FirstAddress, EndOctet,     ReadCommunity, WriteCommunity,
                               User,         AuthPassword, PrivPassword};
            for (int i = 0; i < 7; ++i)
                controls.setText(ids[i], fields.value(i));
        }
        QStringList shown() const
        {
            QStringList texts;
            for (int id :
                 {FirstAddress, EndOctet, ReadCommunity, WriteCommunity, User, AuthPassword, PrivPassword})
                texts.append(controls.text(id));
            return texts;
        }
    };

    WorkingDirectory dir_; // Link.ini lives in the working directory

    QString iniPath() const { return dir_.filePath(QStringLiteral("Link.ini")); }

private slots:
    void init() { QFile::remove(iniPath()); }

    void ok_data();
    void ok();
    void openingTakesTheFileWhereTheWindowHasNoValue();
    void openingAgainShowsTheWindowsValues();
    void v3Choice_data();
    void v3Choice();
    void unwritableFileWarnsAndTheValuesStillApply();
    void localAddress_data();
    void localAddress();
};

void tst_LinkSettings::ok_data()
{
    QTest::addColumn<bool>("v3");
    QTest::addColumn<QStringList>("fields"); // address, end, read, set, user, auth, priv
    QTest::addColumn<bool>("linked");
    QTest::addColumn<bool>("listValid");
    QTest::addColumn<bool>("answer");
    QTest::addColumn<QStringList>("messages");
    QTest::addColumn<int>("focus");
    QTest::addColumn<bool>("closes");
    QTest::addColumn<int>("first");
    QTest::addColumn<int>("last");
    QTest::addColumn<bool>("relink");
    QTest::addColumn<bool>("listValidAfter");

    const QStringList all{"192.168.1.20", "", "public", "private", "admin", "authpass1", "privpass1"};
    auto with = [&](std::initializer_list<std::pair<int, QString>> changes) {
        QStringList fields = all;
        for (const auto& [index, value] : changes)
            fields[index] = value;
        return fields;
    };
    const QStringList none;

    QTest::newRow("one address") << false << all << false << false << true << none << 0 << true << 20 << 20
                                 << false << false;
    QTest::newRow("30 and 10 give 10..30")
        << false << with({{0, "192.168.1.30"}, {1, "10"}}) << false << false << true << none << 0 << true
        << 10 << 30 << false << false;
    QTest::newRow("10 and 30") << false << with({{0, "192.168.1.10"}, {1, "30"}}) << false << false << true
                               << none << 0 << true << 10 << 30 << false << false;
    QTest::newRow("end equal to start") << false << with({{1, "20"}}) << false << false << true << none << 0
                                        << true << 20 << 20 << false << false;
    QTest::newRow("end 0 gives one address") << false << with({{1, "0"}}) << false << false << true << none
                                             << 0 << true << 20 << 20 << false << false;
    QTest::newRow("end 255") << false << with({{1, "255"}}) << false << false << true << none << 0 << true
                             << 20 << 255 << false << false;
    QTest::newRow("end above 255 refused")
        << false << with({{1, "256"}}) << false << false << true
        << QStringList{"The range can not end at '256' : the last number of an address is 0 to 255 !!"}
        << EndOctet << false << 0 << 0 << false << false;
    QTest::newRow("empty read community") << false << with({{2, ""}}) << false << false << true
                                          << QStringList{"Can not find 'Read Community' !!"} << ReadCommunity
                                          << false << 0 << 0 << false << false;
    QTest::newRow("empty set community") << false << with({{3, ""}}) << false << false << true
                                         << QStringList{"Can not find 'Set Community' !!"} << WriteCommunity
                                         << false << 0 << 0 << false << false;
    QTest::newRow("communities with empty SNMPv3 fields")
        << false << with({{4, ""}, {5, ""}, {6, ""}}) << false << false << true << none << 0 << true << 20
        << 20 << false << false;
    QTest::newRow("SNMPv3 with empty communities") << true << with({{2, ""}, {3, ""}}) << false << false
                                                   << true << none << 0 << true << 20 << 20 << false << false;
    QTest::newRow("SNMPv3 empty user")
        << true << with({{4, ""}}) << false << false << true << QStringList{"Can not find 'User Name' !!"}
        << User << false << 0 << 0 << false << false;
    QTest::newRow("SNMPv3 empty AuthPassword")
        << true << with({{5, ""}}) << false << false << true << QStringList{"Can not find 'AuthPassword' !!"}
        << AuthPassword << false << 0 << 0 << false << false;
    QTest::newRow("SNMPv3 empty PrivPassword")
        << true << with({{6, ""}}) << false << false << true << QStringList{"Can not find 'PrivPassword' !!"}
        << PrivPassword << false << 0 << 0 << false << false;
    QTest::newRow("SNMPv3 AuthPassword of 7 characters")
        << true << with({{5, "authpas"}}) << false << false << true
        << QStringList{"'AuthPassword' must have at least 8 characters !!"} << AuthPassword << false << 0 << 0
        << false << false;
    QTest::newRow("SNMPv3 PrivPassword of 7 characters")
        << true << with({{6, "privpas"}}) << false << false << true
        << QStringList{"'PrivPassword' must have at least 8 characters !!"} << PrivPassword << false << 0 << 0
        << false << false;
    QTest::newRow("SNMPv3 pass phrases of 8 characters")
        << true << with({{5, "authpas8"}, {6, "privpas8"}}) << false << false << true << none << 0 << true
        << 20 << 20 << false << false;
    // Credentials go out as Latin-1: "é" does, "€" has no octet there.
    QTest::newRow("set community with e acute")
        << false << with({{3, QString::fromUtf8("priv\u00E9")}}) << false << false << true << none << 0
        << true << 20 << 20 << false << false;
    QTest::newRow("set community with a euro sign")
        << false << with({{3, QString::fromUtf8("priv\u20AC")}}) << false << false << true
        << QStringList{"'Set Community' can hold Latin-1 characters only !!"} << WriteCommunity << false << 0
        << 0 << false << false;
    QTest::newRow("SNMPv3 PrivPassword with a euro sign")
        << true << with({{6, QString::fromUtf8("privpass\u20AC")}}) << false << false << true
        << QStringList{"'PrivPassword' can hold Latin-1 characters only !!"} << PrivPassword << false << 0
        << 0 << false << false;
    QTest::newRow("SNMPv3 empty before short")
        << true << with({{5, "a"}, {6, ""}}) << false << false << true
        << QStringList{"Can not find 'PrivPassword' !!"} << PrivPassword << false << 0 << 0 << false << false;
    QTest::newRow("session runs, re-link") << false << all << true << true << true << QStringList{Relink} << 0
                                           << true << 20 << 20 << true << false;
    QTest::newRow("session runs, no re-link") << false << all << true << true << false << QStringList{Relink}
                                              << 0 << false << 0 << 0 << false << true;
    QTest::newRow("devices listed, re-link") << false << all << false << true << true << QStringList{Relink}
                                             << 0 << true << 20 << 20 << false << false;
    QTest::newRow("devices listed, no re-link")
        << false << all << false << true << false << QStringList{Relink} << 0 << false << 0 << 0 << false
        << true;
    QTest::newRow("warning after the re-link question")
        << false << with({{2, ""}}) << true << true << true
        << QStringList{Relink, "Can not find 'Read Community' !!"} << ReadCommunity << false << 0 << 0 << true
        << false;
}

void tst_LinkSettings::ok()
{
    QFETCH(bool, v3);
    QFETCH(QStringList, fields);
    QFETCH(bool, linked);
    QFETCH(bool, listValid);
    QFETCH(bool, answer);
    QFETCH(QStringList, messages);
    QFETCH(int, focus);
    QFETCH(bool, closes);
    QFETCH(int, first);
    QFETCH(int, last);
    QFETCH(bool, relink);
    QFETCH(bool, listValidAfter);

    Rig rig;
    rig.net.networkLinked = linked;
    rig.net.deviceListValid = listValid;
    rig.form.open(rig.controls);
    rig.controls.setChecked(UseV3, v3);
    rig.fill(fields);
    rig.feedback.answers = {answer};

    QCOMPARE(rig.form.ok(), closes);
    QCOMPARE(rig.feedback.texts(), messages);
    for (const Message& shown : rig.feedback.shown) {
        const bool question = shown.text == Relink;
        QCOMPARE(shown.title, question ? QStringLiteral("Corvane  Monitor") : QStringLiteral("Warning"));
        QCOMPARE(shown.icon, question ? Message::Icon::Question : Message::Icon::Exclamation);
        QCOMPARE(shown.buttons, question ? Message::Buttons::YesNo : Message::Buttons::Ok);
    }
    if (focus)
        QCOMPARE(rig.controls.focused(), focus);
    QCOMPARE(rig.form.relinkRequested(), relink);
    QCOMPARE(rig.net.deviceListValid, listValidAfter);
    QCOMPARE(rig.net.networkLinked, linked); // only the window acts on the re-link
    QCOMPARE(rig.range(), std::pair(first, last));
    if (messages.size() > 1 || (messages.size() == 1 && messages[0] != Relink))
        QCOMPARE(rig.settings.useV3, v3); // taken before the credentials are checked

    const LinkSettings stored = LinkIni(iniPath()).read();
    if (!closes) {
        QCOMPARE(stored, LinkSettings());
        QCOMPARE(rig.settings.readCommunity, QString());
        return;
    }
    QCOMPARE(rig.settings.useV3, v3);
    QCOMPARE(rig.settings.range()->prefix, QStringLiteral("192.168.1."));
    QCOMPARE(rig.settings.readCommunity, fields[2]);
    QCOMPARE(rig.settings.writeCommunity, fields[3]);
    QCOMPARE(rig.settings.user, fields[4]);
    QCOMPARE(rig.settings.authPassword, fields[5]);
    QCOMPARE(rig.settings.privPassword, fields[6]);
    const LinkSettings typed{fields[0], fields[1], fields[2], fields[3], fields[4], fields[5], fields[6]};
    QCOMPARE(stored, typed);
    QCOMPARE(rig.form.settingsPath(), iniPath());
}

void tst_LinkSettings::openingTakesTheFileWhereTheWindowHasNoValue()
{
    LinkIni(iniPath()).write(
        {"127.0.40.3", "7", "fileread", "fileset", "fileuser", "fileauth1", "filepriv1"});
    Rig rig;
    rig.settings.readCommunity = QStringLiteral("mine");
    rig.settings.privPassword = QStringLiteral("minepriv1");
    rig.form.start(QStringLiteral("127.0.40.2"));
    rig.controls.setFocus(FirstAddress);
    rig.form.open(rig.controls);

    QCOMPARE(rig.controls.text(ReadLabel), QStringLiteral("&Read Community :"));
    QCOMPARE(rig.controls.text(SetLabel), QStringLiteral("&Set Community :"));
    QCOMPARE(rig.shown(),
             (QStringList{"127.0.40.3", "7", "mine", "fileset", "fileuser", "fileauth1", "minepriv1"}));
    QCOMPARE(rig.controls.text(LocalAddress), QStringLiteral("127.0.40.2"));
    QVERIFY(!rig.controls.isChecked(UseV3));
    QCOMPARE(rig.controls.focused(), FirstAddress);
    QCOMPARE(rig.form.settingsPath(), iniPath());
}

void tst_LinkSettings::openingAgainShowsTheWindowsValues()
{
    Rig rig;
    rig.form.open(rig.controls);
    rig.fill({"127.0.40.20", "", "public", "private", "admin", "authpass1", "privpass1"});
    QVERIFY(rig.form.ok());

    // Another program changes the file while Spanmon runs.
    LinkIni(iniPath()).write({"127.0.40.5", "9", "r", "s", "u", "otherauth", "otherpriv"});
    rig.form.open(rig.controls);
    QCOMPARE(rig.shown(),
             (QStringList{"127.0.40.5", "20", "public", "private", "admin", "authpass1", "privpass1"}));
}

void tst_LinkSettings::v3Choice_data()
{
    QTest::addColumn<bool>("atOpening");
    QTest::addColumn<bool>("ticked");
    QTest::newRow("ticked at opening") << true << true;
    QTest::newRow("clear at opening") << true << false;
    QTest::newRow("ticked by a click") << false << true;
    QTest::newRow("cleared by a click") << false << false;
}

void tst_LinkSettings::v3Choice()
{
    QFETCH(bool, atOpening);
    QFETCH(bool, ticked);

    Rig rig;
    rig.settings.useV3 = atOpening ? ticked : !ticked;
    rig.form.open(rig.controls);
    if (!atOpening) {
        rig.controls.setFocus(FirstAddress);
        rig.controls.setChecked(UseV3, ticked);
        rig.form.choiceChanged();
    }
    QCOMPARE(rig.controls.isChecked(UseV3), ticked);
    for (int id : {ReadCommunity, WriteCommunity, ReadLabel, SetLabel})
        QCOMPARE(rig.controls.isEnabled(id), !ticked);
    for (int id : {User, AuthPassword, PrivPassword, UserLabel, AuthLabel, PrivLabel})
        QCOMPARE(rig.controls.isEnabled(id), ticked);
    if (ticked)
        QCOMPARE(rig.controls.focused(), User);
    else if (!atOpening)
        QCOMPARE(rig.controls.focused(), FirstAddress);
}

void tst_LinkSettings::unwritableFileWarnsAndTheValuesStillApply()
{
    QVERIFY(QDir(dir_.path()).mkdir(QStringLiteral("Link.ini")));
    Rig rig;
    rig.form.open(rig.controls);
    rig.fill({"127.0.40.7", "8", "public", "private"});
    const bool closes = rig.form.ok();
    QVERIFY(QDir(dir_.path()).rmdir(QStringLiteral("Link.ini")));

    QVERIFY(closes);
    // A folder can be neither read at the opening nor written at OK.
    QCOMPARE(rig.feedback.shown.size(), 2);
    const QStringList starts{"Can not read the settings in " + iniPath(),
                             "Can not save the settings in " + iniPath()};
    for (int i = 0; i < 2; ++i) {
        QCOMPARE(rig.feedback.shown[i].title, QStringLiteral("Warning"));
        QVERIFY2(rig.feedback.shown[i].text.startsWith(starts[i]), qPrintable(rig.feedback.shown[i].text));
    }
    QCOMPARE(rig.settings.readCommunity, QStringLiteral("public"));
    QCOMPARE(rig.settings.range()->prefix, QStringLiteral("127.0.40."));
    QCOMPARE(rig.range(), std::pair(7, 8));
}

void tst_LinkSettings::localAddress_data()
{
    QTest::addColumn<QStringList>("resolved");
    QTest::addColumn<QList<InterfaceAddress>>("interfaces");
    QTest::addColumn<QString>("shown");

    const InterfaceAddress lo{"127.0.0.1", true, true};
    const InterfaceAddress lan{"10.0.0.7", true, false};
    const InterfaceAddress down{"172.16.0.2", false, false};
    QTest::newRow("host name on the LAN") << QStringList{"192.168.1.5"} << QList{lo, lan} << "192.168.1.5";
    QTest::newRow("host name on loopback") << QStringList{"127.0.1.1"} << QList{lo, down, lan} << "10.0.0.7";
    QTest::newRow("loopback and no LAN") << QStringList{"127.0.1.1"} << QList{lo, down} << "";
    QTest::newRow("host name unknown") << QStringList{} << QList{lo, lan} << "10.0.0.7";
}

void tst_LinkSettings::localAddress()
{
    QFETCH(QStringList, resolved);
    QFETCH(QList<InterfaceAddress>, interfaces);
    QFETCH(QString, shown);
    QCOMPARE(chooseLocalAddress(resolved, interfaces), shown);
}

QTEST_GUILESS_MAIN(tst_LinkSettings)
#include "tst_linksettings.moc"
