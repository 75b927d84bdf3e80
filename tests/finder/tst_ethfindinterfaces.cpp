// Ethfind on a machine with two interfaces, as a laptop with Wi-Fi and a cable to the modules: the
// search goes out of every interface that can broadcast, whatever the routes say. Real broadcasts
// between the window and module-sim instances in private network namespaces.
#include "finder/MainWindow.h"
#include "finder/Messages.h"

#include "NetnsLab.h"
#include "RecordedMessages.h"

#include <QApplication>
#include <QDir>
#include <QListWidget>
#include <QStatusBar>
#include <QTest>

#include <memory>

namespace
{

constexpr double timeScale = 0.1;
constexpr int listTimeoutMs = 10000;

} // namespace

class tst_EthfindInterfaces : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase()
    {
        const QString reason = NetnsLab::unavailableReason();
        if (!reason.isEmpty()) {
            if (qEnvironmentVariable("CI") == QLatin1String("true"))
                QFAIL(qPrintable(QStringLiteral("cannot run under CI: ") + reason));
            QSKIP(qPrintable(reason));
        }
        lab_ = std::make_unique<NetnsLab>(QStringLiteral("efif"), QStringLiteral(MODULE_SIM_PATH));
        QVERIFY2(lab_->enterPrivateNetwork(), qPrintable(lab_->lastError()));
        QVERIFY2(lab_->addEmptyInterface(), qPrintable(lab_->lastError()));
        for (int host = 1; host <= 3; ++host)
            QVERIFY2(lab_->startModules(QStringLiteral("10.77.2.%1").arg(host),
                                        {"--first-mac", QStringLiteral("00-1E-C0-00-02-0%1").arg(host)}) >= 0,
                     qPrintable(lab_->lastError()));
    }

    // Rows run in order; each changes the network the rows before it left.
    void everyModuleFoundWhateverTheRoutes_data()
    {
        QTest::addColumn<QStringList>("ipCommand");
        QTest::addColumn<int>("modules");
        QTest::addColumn<QString>("status");
        QTest::newRow("default route on the interface without modules")
            << QStringList{"route", "replace", "default", "via", "10.88.0.2"} << 3 << QString();
        QTest::newRow("no route at all") << QStringList{"route", "flush", "table", "main"} << 3 << QString();
        QTest::newRow("every interface down") << QStringList{"link", "set", "efbr0", "down"} << 0
                                              << QStringLiteral("No network interface is up");
    }
    void everyModuleFoundWhateverTheRoutes()
    {
        QFETCH(QStringList, ipCommand);
        QFETCH(int, modules);
        QFETCH(QString, status);
        QVERIFY2(lab_->run(ipCommand), qPrintable(lab_->lastError()));
        if (modules == 0)
            QVERIFY2(lab_->run({"link", "set", NetnsLab::emptyInterface, "down"}),
                     qPrintable(lab_->lastError()));
        RecordedMessages messages;
        finder::MainWindow window(messages, timeScale);
        auto* list = window.findChild<QListWidget*>(QStringLiteral("1000"));
        // Answers that a loaded machine kept out of one search window are asked for again.
        for (int search = 0; search < 5 && list->count() < modules; ++search) {
            QVERIFY(QTest::qWaitFor([&] { return !window.finder().state().searching(); }, listTimeoutMs));
            if (list->count() < modules)
                window.refresh();
        }
        QCOMPARE(list->count(), modules);
        QCOMPARE(messages.shown, QStringList());
        auto* bar = window.findChild<QStatusBar*>();
        const QString shown = bar ? bar->currentMessage() : QString();
        QVERIFY2(status.isEmpty() ? shown.isEmpty() : shown.startsWith(status), qPrintable(shown));
        if (modules == 3) {
            window.show();
            QVERIFY(QTest::qWaitForWindowExposed(&window));
            QVERIFY(QDir().mkpath(QStringLiteral(SCREENSHOT_DIR)));
            const QImage shot =
                window.grab().toImage().convertToFormat(QImage::Format_Indexed8, Qt::ThresholdDither);
            QVERIFY(shot.save(QStringLiteral(SCREENSHOT_DIR "/ethfind.png")));
        }
    }

private:
    std::unique_ptr<NetnsLab> lab_;
};

QTEST_MAIN(tst_EthfindInterfaces)
#include "tst_ethfindinterfaces.moc"
