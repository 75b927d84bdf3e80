// The controller against two fake links: every operator operation reaches the link chosen in
// the window, and only that one, whatever kind of link it is.
#include "FakeControls.h"
#include "RecordingFeedback.h"
#include "core/Clock.h"
#include "core/ControlIds.h"
#include "core/MainController.h"
#include "core/PortControl.h"
#include "core/SettingsPage.h"
#include "core/SpanmonCore.h"

#include <QTest>

namespace
{

const QString NoDevice = QStringLiteral("No PoE Device !!");

// Records where it was opened.
class FakePage : public SettingsPage
{
public:
    explicit FakePage(QStringList& calls) : calls_(calls) {}

    void open(Controls&) override { calls_ << "settings"; }
    void choiceChanged() override {}
    bool ok() override { return true; }
    void closed(bool) override {}

private:
    QStringList& calls_;
};

// Opens every page it is given at once.
class FakePresenter : public SettingsPresenter
{
public:
    explicit FakePresenter(Controls& controls) : controls_(controls) {}

    void showSettings(SettingsPage& page) override { page.open(controls_); }

private:
    Controls& controls_;
};

// Records what it is asked, as "operation argument".
class FakeLink : public MidspanLink
{
public:
    explicit FakeLink(bool firmware) : firmware_(firmware) {}

    QString name() const override { return firmware_ ? QStringLiteral("serial") : QStringLiteral("network"); }
    void start() override { calls << "start"; }
    void choose() override { calls << "choose"; }
    void search() override { calls << "search"; }
    void connectEntry(int row) override { calls << QStringLiteral("connect %1").arg(row); }
    void chooseComPort(int row) override { calls << QStringLiteral("COM port %1").arg(row); }
    bool sessionRuns() const override { return session; }
    bool holdsLine() const override { return holding; }
    void reset() override { calls << "reset"; }
    void store(StoreTarget target) override
    {
        calls << (target == StoreTarget::Flash ? "store flash" : "store defaults");
    }
    void sendSystemDescription(const QString& text) override { calls << "system description " + text; }
    void sendPortControl(const PortWishes& wishes) override { calls << "port control " + encode(wishes); }
    void sendPortDescription(int port, const QString& text, const PortWishes& wishes) override
    {
        calls << QStringLiteral("port %1 description %2 ").arg(port).arg(text) + encode(wishes);
    }
    bool writeUnderway() const override { return false; }
    bool hasFirmwareDownload() const override { return firmware_; }
    void startFirmwareDownload() override { calls << "firmware"; }
    SettingsPage* settingsPage() override { return &page; }
    void close() override { calls << "close"; }

    // Enable wishes of ports 1..4 as 0/1, then the legacy wish.
    static QString encode(const PortWishes& wishes)
    {
        QString text;
        for (int k = 0; k < 4; ++k)
            text += wishes.enabled[k] ? u'1' : u'0';
        return text + (wishes.legacyDetection ? "+legacy" : "");
    }

    QStringList calls;
    FakePage page{calls};
    bool session = false;
    bool holding = false;

private:
    bool firmware_;
};

} // namespace

class tst_MainController : public QObject
{
    Q_OBJECT

    struct Rig {
        Rig()
            : core(controls, clock, feedback,
                   [this](AppContext&) {
                       auto a = std::make_unique<FakeLink>(false);
                       auto b = std::make_unique<FakeLink>(true);
                       first = a.get();
                       second = b.get();
                       std::vector<std::unique_ptr<MidspanLink>> links;
                       links.push_back(std::move(a));
                       links.push_back(std::move(b));
                       return links;
                   }),
              page(core.context())
        {
            core.context().settings = &presenter;
            core.start();
            first->calls.clear();
            second->calls.clear();
        }
        MainController& controller() { return core.controller(); }

        FakeControls controls;
        Clock clock{0.01};
        RecordingFeedback feedback;
        FakeLink* first = nullptr;
        FakeLink* second = nullptr;
        SpanmonCore core;
        FakePresenter presenter{controls};
        PortControl page;
    };

    using Operation = std::function<void(Rig&)>;

private slots:
    void everyLinkIsStartedAndTheFirstIsChosen()
    {
        FakeControls controls;
        Clock clock;
        RecordingFeedback feedback;
        std::vector<FakeLink*> made;
        SpanmonCore core(controls, clock, feedback, [&made](AppContext&) {
            std::vector<std::unique_ptr<MidspanLink>> links;
            for (int i = 0; i < 2; ++i) {
                links.push_back(std::make_unique<FakeLink>(false));
                made.push_back(static_cast<FakeLink*>(links.back().get()));
            }
            return links;
        });
        core.start();
        QCOMPARE(made[0]->calls, QStringList{"start"});
        QCOMPARE(made[1]->calls, QStringList{"start"});
        QCOMPARE(core.context().link, made[0]);
    }

    // The list names the links as they name themselves, in the order the core holds them.
    void linkChoiceListsTheLinksByTheirNames()
    {
        Rig rig;
        QCOMPARE(rig.controls.control(ctl::LinkCombo).items, (QStringList{"network", "serial"}));
        QCOMPARE(rig.controls.currentIndex(ctl::LinkCombo), 0);
    }

    void operationsReachTheChosenLink_data()
    {
        QTest::addColumn<int>("chosen");
        QTest::addColumn<bool>("session");
        QTest::addColumn<Operation>("operation");
        QTest::addColumn<QStringList>("calls");
        QTest::addColumn<QStringList>("messages");

        struct Row {
            const char* name;
            Operation operation;
            QStringList withSession;
            QStringList withoutSession;
            QStringList messagesWithout;
        };
        const QList<Row> rows{
            {"search", [](Rig& r) { r.controller().searchPoe(); }, {"search"}, {"search"}, {}},
            {"device chosen",
             [](Rig& r) {
                 r.core.view().addFoundEntry("a");
                 r.core.view().addFoundEntry("b");
                 r.controls.setCurrentIndex(ctl::FoundDevices, 1);
                 r.controller().selectFoundDevice();
             },
             {"connect 1"},
             {"connect 1"},
             {}},
            {"System Reset", [](Rig& r) { r.controller().systemReset(); }, {"reset"}, {}, {NoDevice}},
            {"Save Parameters to Flash",
             [](Rig& r) { r.controller().saveToFlash(); },
             {"store flash"},
             {},
             {NoDevice}},
            {"Restore Factory Defaults",
             [](Rig& r) { r.controller().restoreDefaults(); },
             {"store defaults"},
             {},
             {NoDevice}},
            {"system description saved",
             [](Rig& r) {
                 if (r.controller().beginSystemDescriptionEdit())
                     r.controller().endSystemDescriptionEdit(true, QStringLiteral("Rack 2"));
             },
             {"system description Rack 2"},
             {},
             {NoDevice}},
            {"system description not saved",
             [](Rig& r) {
                 if (r.controller().beginSystemDescriptionEdit())
                     r.controller().endSystemDescriptionEdit(false, QStringLiteral("Rack 2"));
             },
             {},
             {},
             {NoDevice}},
            {"Send Port Control",
             [](Rig& r) {
                 r.core.state().setPortCount(4);
                 r.controls.setChecked(ctl::PortEnableBase + 1, true);
                 r.controls.setChecked(ctl::PortEnableBase + 3, true);
                 r.controls.setChecked(ctl::LegacyDetect, true);
                 r.page.sendPortControl();
             },
             {"port control 1010+legacy"},
             {"port control 1010+legacy"},
             {}},
            {"port description",
             [](Rig& r) {
                 r.core.state().setPortCount(4);
                 r.controls.setChecked(ctl::PortEnableBase + 2, true);
                 r.page.beginDescriptionEdit(2);
                 r.page.endDescriptionEdit(true, "Door");
             },
             {"port 2 description Door 0100"},
             {"port 2 description Door 0100"},
             {}},
            {"Setting", [](Rig& r) { r.controller().openSettings(); }, {"settings"}, {"settings"}, {}},
            {"COM port chosen",
             [](Rig& r) { r.controller().changeComPort(2); },
             {"COM port 2"},
             {"COM port 2"},
             {}},
        };
        for (int chosen : {0, 1}) {
            for (const Row& row : rows) {
                for (bool session : {true, false}) {
                    QTest::addRow("link %d, %s, %s", chosen, row.name, session ? "session" : "no session")
                        << chosen << session << row.operation
                        << (session ? row.withSession : row.withoutSession)
                        << (session ? QStringList() : row.messagesWithout);
                }
            }
        }
    }
    void operationsReachTheChosenLink()
    {
        QFETCH(int, chosen);
        QFETCH(bool, session);
        QFETCH(Operation, operation);
        QFETCH(QStringList, calls);
        QFETCH(QStringList, messages);

        Rig rig;
        rig.controller().changeLink(chosen);
        FakeLink* link = chosen == 0 ? rig.first : rig.second;
        FakeLink* other = chosen == 0 ? rig.second : rig.first;
        link->calls.clear();
        link->session = session;
        operation(rig);
        QCOMPARE(link->calls, calls);
        QCOMPARE(other->calls, QStringList());
        QCOMPARE(rig.feedback.texts(), messages);
    }

    // The history records what the operator did, beside the samples, and names the unit.
    void operatorActionsAreRecorded_data()
    {
        QTest::addColumn<bool>("session");
        QTest::addColumn<Operation>("operation");
        QTest::addColumn<QStringList>("recorded");
        const Operation switchPorts = [](Rig& r) {
            r.core.state().setPortCount(4);
            r.core.state().portAdminState = {0, 2, 2, 1, 1};
            for (int port : {1, 3})
                r.controls.setChecked(ctl::PortEnableBase + port, true);
            r.page.sendPortControl();
        };
        QTest::newRow("System Reset") << true << Operation([](Rig& r) { r.controller().systemReset(); })
                                      << QStringList{"0 system reset"};
        QTest::newRow("System Reset without a session")
            << false << Operation([](Rig& r) { r.controller().systemReset(); }) << QStringList();
        QTest::newRow("Send Port Control") << true << switchPorts << QStringList{"2 port off", "3 port on"};
    }
    void operatorActionsAreRecorded()
    {
        QFETCH(bool, session);
        QFETCH(Operation, operation);
        QFETCH(QStringList, recorded);
        Rig rig;
        rig.first->session = session;
        operation(rig);
        QStringList actions;
        rig.core.history().forEachAction(0, [&](const OperatorAction& action) {
            actions << QStringLiteral("%1 %2").arg(action.port).arg(actionText(action.kind));
        });
        QCOMPARE(actions, recorded);
    }

    void firmwareDownloadOnlyWhereTheLinkHasIt()
    {
        for (int chosen : {0, 1}) {
            Rig rig;
            rig.controller().changeLink(chosen);
            FakeLink* link = chosen == 0 ? rig.first : rig.second;
            link->calls.clear();
            link->session = true;
            rig.controller().firmwareDownload();
            QCOMPARE(link->calls, chosen == 1 ? QStringList{"firmware"} : QStringList());
        }
    }

    // What the window and the links learn of the sessions comes from the links themselves.
    void sessionsAreAskedOfTheLinks_data()
    {
        QTest::addColumn<int>("chosen");
        QTest::addColumn<bool>("firstRuns");
        QTest::addColumn<bool>("secondRuns");
        QTest::addColumn<bool>("downloadOffered");
        // Only the second link has a firmware download.
        QTest::newRow("no session") << 1 << false << false << false;
        QTest::newRow("the download link's session") << 1 << false << true << true;
        QTest::newRow("a session without download") << 0 << true << false << false;
        QTest::newRow("the other link's session") << 1 << true << false << false;
    }
    void sessionsAreAskedOfTheLinks()
    {
        QFETCH(int, chosen);
        QFETCH(bool, firstRuns);
        QFETCH(bool, secondRuns);
        QFETCH(bool, downloadOffered);
        Rig rig;
        rig.controller().changeLink(chosen);
        rig.first->session = firstRuns;
        rig.second->session = secondRuns;
        const AppContext& context = rig.core.context();
        QCOMPARE(context.otherSessionRuns(*rig.first), secondRuns);
        QCOMPARE(context.otherSessionRuns(*rig.second), firstRuns);

        rig.core.view().unlockControls();
        QCOMPARE(rig.controls.isEnabled(ctl::FirmwareDownload), downloadOffered);
    }

    void linkChoiceIsLockedWhileAnyLinkWorks_data()
    {
        QTest::addColumn<bool>("session");
        QTest::addColumn<bool>("holding");
        QTest::newRow("free") << false << false;
        QTest::newRow("a session runs") << true << false;
        QTest::newRow("the line is held") << false << true;
    }
    void linkChoiceIsLockedWhileAnyLinkWorks()
    {
        QFETCH(bool, session);
        QFETCH(bool, holding);
        Rig rig;
        rig.first->session = session;
        rig.first->holding = holding;
        rig.controls.setCurrentIndex(ctl::LinkCombo, 1);
        rig.controller().changeLink(1);
        const bool changed = !session && !holding;
        QCOMPARE(rig.core.context().link, changed ? rig.second : rig.first);
        QCOMPARE(rig.second->calls, changed ? QStringList{"choose"} : QStringList());
        QCOMPARE(rig.controls.currentIndex(ctl::LinkCombo), changed ? 1 : 0);
    }

    void exitClosesEveryLinkOnlyOnOk()
    {
        Rig rig;
        rig.feedback.answers = {false};
        QVERIFY(!rig.controller().confirmExit());
        QCOMPARE(rig.first->calls, QStringList());
        QVERIFY(rig.controller().confirmExit());
        QCOMPARE(rig.first->calls, QStringList{"close"});
        QCOMPARE(rig.second->calls, QStringList{"close"});
        QCOMPARE(rig.feedback.shown.first().text, QStringLiteral("Exit Corvane MIDSPAN PoE GUI Monitor ?"));
    }
};

QTEST_GUILESS_MAIN(tst_MainController)
#include "tst_maincontroller.moc"
