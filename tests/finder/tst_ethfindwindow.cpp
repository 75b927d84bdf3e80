// Ethfind's window against module-sim instances in private network namespaces: real broadcasts on
// UDP port 36, on a clock ten times faster than the real one (search window and ticks of 50 ms).
#include "finder/MainWindow.h"
#include "finder/Messages.h"

#include "NetnsLab.h"
#include "RecordedMessages.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <QUdpSocket>

#include <array>
#include <memory>

using finder::AddressEntry;
using finder::MainWindow;

namespace
{

constexpr double timeScale = 0.1;
constexpr int tickMs = 50;
constexpr int listTimeoutMs = 10000;

} // namespace

class tst_EthfindWindow : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanup();
    void searchListsModulesSorted();
    void keysAndWebPage();
    void dropOfModulesSearchesAgain();
    void addressChangeWithPassword();
    void wrongPasswordLeavesModule();
    void refusalIsSaid_data();
    void refusalIsSaid();
    void maskOnlySendsSetMask();
    void refusedOrUnchangedSendsNothing_data();
    void refusedOrUnchangedSendsNothing();
    void dialogOffersRecordAndRememberedPassword();
    void malformedRepliesNotListed();
    void duplicateAnswerListedTwice();
    void moreThan255Modules();
    void floodOfRandomDatagrams();

private:
    int startModule(const QString& address, QStringList extra = {});
    std::unique_ptr<MainWindow> openWindow();
    // Opens the window and waits until its first search has listed this many modules and ended.
    bool openWindowListing(int modules);
    QStringList lines() const;
    QString countText() const;
    QListWidget* list() const { return window_->findChild<QListWidget*>(QStringLiteral("1000")); }
    bool waitForWindowEnd();
    // Sends a search and waits until the module has logged it: whatever was sent before has arrived.
    QByteArray logAfterNextSearch(int host);

    std::unique_ptr<NetnsLab> lab_;
    std::unique_ptr<MainWindow> window_;
    RecordedMessages messages_;
};

void tst_EthfindWindow::initTestCase()
{
    const QString reason = NetnsLab::unavailableReason();
    if (!reason.isEmpty()) {
        if (qEnvironmentVariable("CI") == QLatin1String("true"))
            QFAIL(qPrintable(QStringLiteral("cannot run under CI: ") + reason));
        QSKIP(qPrintable(reason));
    }
    lab_ = std::make_unique<NetnsLab>(QStringLiteral("eftst"), QStringLiteral(MODULE_SIM_PATH));
    QVERIFY2(lab_->enterPrivateNetwork(), qPrintable(lab_->lastError()));
}

void tst_EthfindWindow::cleanup()
{
    window_.reset();
    if (lab_)
        lab_->stopAll();
    messages_.shown.clear();
}

int tst_EthfindWindow::startModule(const QString& address, QStringList extra)
{
    const int host = lab_->startModules(address, extra);
    if (host < 0)
        qWarning("%s", qPrintable(lab_->lastError()));
    return host;
}

std::unique_ptr<MainWindow> tst_EthfindWindow::openWindow()
{
    return std::make_unique<MainWindow>(messages_, timeScale);
}

bool tst_EthfindWindow::openWindowListing(int modules)
{
    window_ = openWindow();
    // A search window lasts 50 ms on this clock: modules that a loaded machine kept from answering
    // in time are asked again, as the operator would.
    const QDeadlineTimer deadline(listTimeoutMs);
    while (waitForWindowEnd() && !deadline.hasExpired()) {
        if (list()->count() == modules)
            return true;
        window_->refresh();
    }
    return false;
}

QStringList tst_EthfindWindow::lines() const
{
    QStringList out;
    for (int i = 0; i < list()->count(); ++i)
        out.append(list()->item(i)->text());
    return out;
}

QString tst_EthfindWindow::countText() const
{
    return window_->findChild<QLineEdit*>(QStringLiteral("1003"))->text();
}

bool tst_EthfindWindow::waitForWindowEnd()
{
    return QTest::qWaitFor([this] { return !window_->finder().state().searching(); }, listTimeoutMs);
}

QByteArray tst_EthfindWindow::logAfterNextSearch(int host)
{
    const qsizetype searchesBefore = lab_->log(host).count("rx 3039");
    if (!waitForWindowEnd())
        return {};
    window_->refresh();
    if (!QTest::qWaitFor([&] { return lab_->log(host).count("rx 3039") > searchesBefore; }, listTimeoutMs))
        return {};
    return lab_->log(host);
}

void tst_EthfindWindow::searchListsModulesSorted()
{
    QVERIFY(startModule("10.77.1.9", {"--device-id", "258", "--first-mac", "00-1E-C0-00-00-09"}) >= 0);
    QVERIFY(startModule("10.77.1.10", {"--device-id", "1", "--first-mac", "00-1E-C0-00-00-0A"}) >= 0);
    QVERIFY(startModule("10.77.1.100", {"--mask", "255.255.0.0", "--first-mac", "00-1E-C0-00-00-64"}) >= 0);
    window_ = openWindow();
    QCOMPARE(window_->windowTitle(), QStringLiteral("Ethfind"));

    const QStringList expected{
        QStringLiteral("10.77.1.10      255.255.255.0   00-1E-C0-00-00-0A      1"),
        QStringLiteral("10.77.1.100     255.255.0.0     00-1E-C0-00-00-64    258"),
        QStringLiteral("10.77.1.9       255.255.255.0   00-1E-C0-00-00-09    258"),
    };
    QTRY_COMPARE_WITH_TIMEOUT(lines(), expected, listTimeoutMs);
    QCOMPARE(countText(), QStringLiteral("3"));
    QVERIFY(waitForWindowEnd());
    QCOMPARE(list()->currentRow(), 0);
    QVERIFY(list()->currentItem()->isSelected());

    // Each line's item data leads to its own record, whatever the order of arrival.
    for (int row = 0; row < list()->count(); ++row) {
        const int index = list()->item(row)->data(Qt::UserRole).toInt();
        QCOMPARE(window_->finder().table().record(index)->line(), list()->item(row)->text());
    }
}

void tst_EthfindWindow::keysAndWebPage()
{
    const int host = startModule("10.77.1.9");
    QVERIFY(host >= 0);
    QVERIFY(startModule("10.77.1.10") >= 0);
    window_ = openWindow();
    QList<QUrl> opened;
    window_->setUrlOpener([&opened](const QUrl& url) { opened.append(url); });
    int prompts = 0;
    window_->setAddressPrompt([&prompts](const AddressEntry&) -> std::optional<AddressEntry> {
        ++prompts;
        return std::nullopt;
    });
    window_->show();
    QVERIFY(QTest::qWaitForWindowActive(window_.get()));
    QTRY_COMPARE_WITH_TIMEOUT(list()->count(), 2, listTimeoutMs);
    QVERIFY(waitForWindowEnd());

    // A double click is a click followed by the double-click event.
    const QPoint second = list()->visualItemRect(list()->item(1)).center();
    QTest::mouseClick(list()->viewport(), Qt::LeftButton, {}, second);
    QTest::mouseDClick(list()->viewport(), Qt::LeftButton, {}, second);
    QCOMPARE(opened, QList<QUrl>{QUrl(QStringLiteral("http://10.77.1.9"))});
    list()->setCurrentRow(0);
    QTest::keyClick(list(), Qt::Key_Return, Qt::AltModifier);
    QCOMPARE(opened.size(), 2);
    QCOMPARE(opened.last(), QUrl(QStringLiteral("http://10.77.1.10")));
    QTest::keyClick(list(), Qt::Key_Return);
    QCOMPARE(prompts, 1);
    QTest::keyClick(list(), Qt::Key_Escape);
    QVERIFY(window_->isVisible());

    // F5 twice in quick succession: the second falls inside the first one's search window.
    QSignalSpy searches(&window_->finder(), &finder::ModuleFinder::searchStarted);
    const qsizetype before = lab_->log(host).count("rx 3039");
    QTest::keyClick(list(), Qt::Key_F5);
    QTest::keyClick(list(), Qt::Key_F5);
    QCOMPARE(searches.size(), 1);
    QTRY_COMPARE_WITH_TIMEOUT(list()->count(), 2, listTimeoutMs);
    QVERIFY(waitForWindowEnd());
    QCOMPARE(lab_->log(host).count("rx 3039"), before + 1);
}

void tst_EthfindWindow::dropOfModulesSearchesAgain()
{
    // Counts at the end of a search window decide here, so the window is wider: 200 ms, ticks alike.
    constexpr double slowerScale = 0.4;
    constexpr int slowTickMs = 200;
    QVERIFY(startModule("10.77.1.1") >= 0);
    QVERIFY(startModule("10.77.1.2") >= 0);
    const int third = startModule("10.77.1.3");
    QVERIFY(third >= 0);
    window_ = std::make_unique<MainWindow>(messages_, slowerScale);
    QTRY_COMPARE_WITH_TIMEOUT(list()->count(), 3, listTimeoutMs);
    QVERIFY(waitForWindowEnd());

    lab_->stopModules(third);
    int searches = 0;
    // Per closed window: the count, the searches so far and the rescan countdown it left.
    QList<std::array<int, 3>> windows;
    connect(&window_->finder(), &finder::ModuleFinder::searchStarted, this, [&] { ++searches; });
    connect(&window_->finder(), &finder::ModuleFinder::searchWindowClosed, this, [&](int count) {
        windows.append({count, searches, window_->finder().state().rescanCountdown()});
    });
    window_->refresh();
    QTRY_COMPARE_WITH_TIMEOUT(searches, 2, listTimeoutMs);
    // The drop counts down five ticks before the search, rather than searching at once.
    QCOMPARE(windows.first(), (std::array<int, 3>{2, 1, finder::SearchState::rescanAfterDrop}));
    QTRY_COMPARE_WITH_TIMEOUT(windows.size(), 2, listTimeoutMs);
    QCOMPARE(list()->count(), 2);

    // Two stay two, then two become three: no countdown, no further search by itself.
    QCOMPARE(windows.at(1), (std::array<int, 3>{2, 2, 0}));
    QTest::qWait(8 * slowTickMs);
    QCOMPARE(searches, 2);
    QVERIFY(startModule("10.77.1.4") >= 0);
    window_->refresh();
    QTRY_COMPARE_WITH_TIMEOUT(windows.size(), 3, listTimeoutMs);
    QCOMPARE(windows.last(), (std::array<int, 3>{3, 3, 0}));
    QTest::qWait(8 * slowTickMs);
    QCOMPARE(searches, 3);
}

void tst_EthfindWindow::addressChangeWithPassword()
{
    const int host = startModule("10.77.1.20", {"--password", "secret", "--mask", "255.255.0.0"});
    QVERIFY(host >= 0);
    QVERIFY(openWindowListing(1));

    AddressEntry offered;
    window_->setAddressPrompt([&offered](const AddressEntry& initial) -> std::optional<AddressEntry> {
        offered = initial;
        return AddressEntry{QStringLiteral("10.77.1.21"), initial.mask, QStringLiteral("secret"), {}};
    });
    QSignalSpy searches(&window_->finder(), &finder::ModuleFinder::searchStarted);
    window_->setAddressOfSelected();
    QCOMPARE(offered.ip, QStringLiteral("10.77.1.20"));
    QCOMPARE(offered.mask, QStringLiteral("255.255.0.0"));
    QCOMPARE(offered.password, QString());
    QCOMPARE(window_->finder().state().rescanCountdown(), 10);

    QTRY_VERIFY_WITH_TIMEOUT(lab_->log(host).contains("applied 10.77.1.21/255.255.0.0"), listTimeoutMs);
    const QByteArray log = lab_->log(host);
    QVERIFY2(log.contains("rx 303f 104\nauthorised 10.77.1.20/255.255.0.0 00-1E-C0-00-00-01\nrx 303a 20\n"),
             log.constData());
    QVERIFY(!log.contains("rx 303b"));

    // Ten ticks later the module is listed at its new address.
    QTRY_COMPARE_WITH_TIMEOUT(searches.size(), 1, listTimeoutMs);
    QTRY_VERIFY_WITH_TIMEOUT(list()->count() == 1 && list()->item(0)->text().startsWith("10.77.1.21 "),
                             listTimeoutMs);
    QCOMPARE(window_->password(), QStringLiteral("secret"));
}

void tst_EthfindWindow::wrongPasswordLeavesModule()
{
    const int host = startModule("10.77.1.22", {"--password", "secret"});
    QVERIFY(host >= 0);
    QVERIFY(openWindowListing(1));
    window_->setAddressPrompt([](const AddressEntry& initial) -> std::optional<AddressEntry> {
        return AddressEntry{QStringLiteral("10.77.1.23"), initial.mask, QStringLiteral("guess"), {}};
    });
    window_->setAddressOfSelected();
    QTRY_VERIFY_WITH_TIMEOUT(lab_->log(host).contains("refused 10.77.1.22"), listTimeoutMs);
    QSignalSpy windows(&window_->finder(), &finder::ModuleFinder::searchWindowClosed);
    QTRY_COMPARE_WITH_TIMEOUT(windows.size(), 1, listTimeoutMs);
    QCOMPARE(lines().size(), 1);
    QVERIFY(lines().first().startsWith("10.77.1.22 "));
}

void tst_EthfindWindow::refusalIsSaid_data()
{
    QTest::addColumn<QStringList>("module");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("logged");
    QTest::addColumn<QStringList>("said");
    const QStringList secret{"--password", "secret", "--first-mac", "00-1E-C0-00-03-01"};
    QTest::newRow("wrong password") << secret << "guess"
                                    << "wrong password 10.77.1.30"
                                    << QStringList{"The module 00-1E-C0-00-03-01 refused the password: its "
                                                   "address was not changed."};
    QTest::newRow("no password for a module that has one")
        << secret << ""
        << "refused 10.77.1.30"
        << QStringList{"The module 00-1E-C0-00-03-01 needs its password: its address was not changed."};
    QTest::newRow("module that refuses without answering")
        << (secret + QStringList{"--silent-refusal"}) << "guess"
        << "wrong password 10.77.1.30" << QStringList{};
    QTest::newRow("right password") << secret << "secret"
                                    << "applied 10.77.1.31" << QStringList{};
}

void tst_EthfindWindow::refusalIsSaid()
{
    QFETCH(QStringList, module);
    QFETCH(QString, password);
    QFETCH(QString, logged);
    QFETCH(QStringList, said);
    const int host = startModule("10.77.1.30", module);
    QVERIFY(host >= 0);
    QVERIFY(openWindowListing(1));
    QString macShown;
    window_->setAddressPrompt([&](const AddressEntry& initial) -> std::optional<AddressEntry> {
        macShown = initial.mac;
        return AddressEntry{QStringLiteral("10.77.1.31"), initial.mask, password, {}};
    });
    window_->setAddressOfSelected();
    QCOMPARE(macShown, QStringLiteral("00-1E-C0-00-03-01"));
    QTRY_VERIFY_WITH_TIMEOUT(lab_->log(host).contains(logged.toLatin1()), listTimeoutMs);
    // Whatever the module answered has arrived once it has logged the next search.
    QVERIFY(!logAfterNextSearch(host).isEmpty());
    QCOMPARE(messages_.shown, said);
}

void tst_EthfindWindow::maskOnlySendsSetMask()
{
    const int host = startModule("10.77.1.30");
    QVERIFY(host >= 0);
    QVERIFY(openWindowListing(1));
    window_->setAddressPrompt([](const AddressEntry& initial) -> std::optional<AddressEntry> {
        return AddressEntry{initial.ip, QStringLiteral("255.255.0.0"), QString(), {}};
    });
    window_->setAddressOfSelected();
    const QByteArray log = logAfterNextSearch(host);
    QVERIFY2(log.contains("rx 303b 20\napplied 10.77.1.30/255.255.0.0"), log.constData());
    QVERIFY(!log.contains("rx 303a"));
    QVERIFY(!log.contains("rx 303f"));
}

void tst_EthfindWindow::refusedOrUnchangedSendsNothing_data()
{
    QTest::addColumn<QString>("ip");
    QTest::addColumn<QString>("mask");
    QTest::addColumn<QStringList>("shown");

    QTest::newRow("unchanged") << "10.77.1.40"
                               << "255.255.255.0" << QStringList{};
    QTest::newRow("broadcast address") << "10.77.1.255"
                                       << "255.255.255.0" << QStringList{"Invalid IP address"};
    QTest::newRow("leading blank") << " 10.77.1.41"
                                   << "255.255.255.0" << QStringList{"Invalid IP address"};
    QTest::newRow("mask 0.255.255.0") << "10.77.1.41"
                                      << "0.255.255.0" << QStringList{"Invalid mask"};
}

void tst_EthfindWindow::refusedOrUnchangedSendsNothing()
{
    QFETCH(QString, ip);
    QFETCH(QString, mask);
    QFETCH(QStringList, shown);
    const int host = startModule("10.77.1.40");
    QVERIFY(host >= 0);
    QVERIFY(openWindowListing(1));
    window_->setAddressPrompt([&](const AddressEntry&) -> std::optional<AddressEntry> {
        return AddressEntry{ip, mask, QStringLiteral("secret"), {}};
    });
    window_->setAddressOfSelected();
    QCOMPARE(messages_.shown, shown);
    QCOMPARE(window_->finder().state().rescanCountdown(), 0);
    const QByteArray log = logAfterNextSearch(host);
    QCOMPARE(log.count("rx "), 2); // the two searches
}

void tst_EthfindWindow::dialogOffersRecordAndRememberedPassword()
{
    const int host = startModule("10.77.1.50", {"--mask", "255.255.240.0"});
    QVERIFY(host >= 0);
    QVERIFY(openWindowListing(1));

    // Fills in the dialog once it is open: a refused address, but the password is kept.
    const auto answer = [](const QString& ip, const QString& password, QStringList* seen) {
        QTimer::singleShot(0, [=] {
            QWidget* dialog = QApplication::activeModalWidget();
            if (!dialog)
                return;
            auto* ipEdit = dialog->findChild<QLineEdit*>(QStringLiteral("1001"));
            auto* maskEdit = dialog->findChild<QLineEdit*>(QStringLiteral("1002"));
            auto* passwordEdit = dialog->findChild<QLineEdit*>(QStringLiteral("1003"));
            *seen = {dialog->windowTitle(),
                     ipEdit->text(),
                     maskEdit->text(),
                     passwordEdit->text(),
                     QString::number(passwordEdit->maxLength()),
                     dialog->findChild<QLabel*>(QStringLiteral("mac"))->text()};
            ipEdit->setText(ip);
            passwordEdit->setText(password);
            QTest::mouseClick(dialog->findChild<QPushButton*>(QStringLiteral("1")), Qt::LeftButton);
        });
    };
    QStringList seen;
    answer(QStringLiteral("127.0.0.5"), QStringLiteral("0123456789ABCDEFG"), &seen);
    window_->setAddressOfSelected();
    QCOMPARE(seen,
             (QStringList{"Set IP Address", "10.77.1.50", "255.255.240.0", "", "15", "00-1E-C0-00-00-01"}));
    QCOMPARE(messages_.shown, QStringList{"Invalid IP address"});
    answer(QStringLiteral("10.77.1.50"), QStringLiteral("0123456789ABCDE"), &seen);
    window_->setAddressOfSelected();
    QCOMPARE(seen, (QStringList{"Set IP Address", "10.77.1.50", "255.255.240.0", "0123456789ABCDE", "15",
                                "00-1E-C0-00-00-01"}));
    QCOMPARE(messages_.shown.size(), 1);
    QCOMPARE(logAfterNextSearch(host).count("rx "), 2);
}

void tst_EthfindWindow::malformedRepliesNotListed()
{
    QVERIFY(startModule("10.77.1.61", {"--reply-size", "19"}) >= 0);
    QVERIFY(startModule("10.77.1.62", {"--delay", "20"}) >= 0);
    QVERIFY(startModule("10.77.1.63", {"--reply-size", "21"}) >= 0);
    QVERIFY(startModule("10.77.1.64", {"--wrong-command"}) >= 0);
    QVERIFY(startModule("10.77.1.65", {"--delay", "30"}) >= 0);
    window_ = openWindow();
    QVERIFY(waitForWindowEnd());
    QTRY_COMPARE_WITH_TIMEOUT(list()->count(), 2, listTimeoutMs);
    QTest::qWait(4 * tickMs);
    QCOMPARE(lines().size(), 2);
    QVERIFY(lines().at(0).startsWith("10.77.1.62 "));
    QVERIFY(lines().at(1).startsWith("10.77.1.65 "));
    QCOMPARE(countText(), QStringLiteral("2"));
}

void tst_EthfindWindow::duplicateAnswerListedTwice()
{
    QVERIFY(startModule("10.77.1.70", {"--answer-twice"}) >= 0);
    window_ = openWindow();
    QTRY_COMPARE_WITH_TIMEOUT(list()->count(), 2, listTimeoutMs);
    QCOMPARE(lines().at(0), lines().at(1));
    QCOMPARE(countText(), QStringLiteral("2"));
}

void tst_EthfindWindow::moreThan255Modules()
{
    QVERIFY(startModule("10.77.2.1", {"--count", "256", "--first-ip", "10.77.3.1"}) >= 0);
    window_ = openWindow();
    QTRY_COMPARE_WITH_TIMEOUT(list()->count(), 255, listTimeoutMs);
    QVERIFY(waitForWindowEnd());
    QTest::qWait(4 * tickMs);
    QCOMPARE(list()->count(), 255);
    QCOMPARE(countText(), QStringLiteral("255"));

    // The burst's surplus must not stall the endpoint: the next search lists them again.
    window_->refresh();
    QCOMPARE(list()->count(), 0);
    QTRY_COMPARE_WITH_TIMEOUT(list()->count(), 255, listTimeoutMs);
    QCOMPARE(countText(), QStringLiteral("255"));
}

// 10,000 datagrams of random length and content arrive during a search: the window lives on,
// and a search soon lists the one real module alone.
void tst_EthfindWindow::floodOfRandomDatagrams()
{
    constexpr int datagrams = 10000;
    constexpr int largest = 1472;
    QVERIFY(startModule("10.77.1.80") >= 0);
    QVERIFY(openWindowListing(1));
    QUdpSocket flooder;
    QRandomGenerator random(36);
    const QHostAddress ethfind(QString::fromLatin1(NetnsLab::bridgeAddress));
    const quint16 port = window_->finder().localPort();
    int sent = 0;
    window_->refresh();
    for (int i = 0; i < datagrams; ++i) {
        QByteArray datagram(random.bounded(largest + 1), Qt::Uninitialized);
        for (char& byte : datagram)
            byte = char(random.bounded(256));
        if (flooder.writeDatagram(datagram, ethfind, port) == datagram.size())
            ++sent;
        if (i % 100 == 0)
            QCoreApplication::processEvents();
    }
    QVERIFY2(sent > datagrams * 9 / 10, qPrintable(QStringLiteral("only %1 datagrams went out").arg(sent)));
    QVERIFY(waitForWindowEnd());

    // While the endpoint drains what the flood left queued, the module's reply may come after a
    // search window; a search soon lists it.
    int searches = 0;
    do {
        window_->refresh();
        QVERIFY(waitForWindowEnd());
        QTest::qWait(4 * tickMs);
    } while (list()->count() != 1 && ++searches < 20);
    QCOMPARE(list()->count(), 1);
    QVERIFY(lines().at(0).startsWith("10.77.1.80 "));
    QCOMPARE(countText(), QStringLiteral("1"));
    QVERIFY(messages_.shown.isEmpty());
}

QTEST_MAIN(tst_EthfindWindow)
#include "tst_ethfindwindow.moc"
