#include "core/WorkerGate.h"

#include <QMutex>
#include <QTest>
#include <QThread>

#include <atomic>
#include <optional>
#include <vector>

// A worker and the window's thread take turns: one exchange per release, each result handed over
// while the worker waits, and a worker left paused does nothing.
class tst_WorkerGate : public QObject
{
    Q_OBJECT

public:
    Q_INVOKABLE void handleResult(int exchange)
    {
        gate->pause();
        // Long enough for the worker to stop waiting awake and sleep until it is woken.
        if (slowHandler)
            QThread::usleep(quint64(5 * WorkerGate::handOverSpin.count()));
        note(QStringLiteral("handled %1").arg(exchange));
        if (exchange < lastExchange)
            gate->release();
    }

    // Written by both threads; read by this one while the worker may still write.
    void note(const QString& entry)
    {
        const QMutexLocker lock(&logMutex);
        log.push_back(entry);
    }
    std::vector<QString> logSoFar()
    {
        const QMutexLocker lock(&logMutex);
        return log;
    }

    std::optional<WorkerGate> gate; // a fresh one for each test
    QMutex logMutex;
    std::vector<QString> log;
    int lastExchange = 5;
    bool slowHandler = false;

private slots:
    void init()
    {
        gate.emplace();
        log.clear();
    }

    void strictAlternation_data()
    {
        QTest::addColumn<bool>("byGate");
        QTest::addColumn<bool>("slow");
        QTest::newRow("blocking queued call") << false << false;
        QTest::newRow("hand-over, handler returns at once") << true << false;
        QTest::newRow("hand-over, handler outlasts the wait awake") << true << true;
    }
    void strictAlternation()
    {
        QFETCH(bool, byGate);
        QFETCH(bool, slow);
        slowHandler = slow;
        std::atomic<int> exchanges = 0;
        QThread* worker = QThread::create([this, &exchanges, byGate] {
            while (gate->waitForRelease()) {
                const int n = ++exchanges;
                note(QStringLiteral("exchange %1").arg(n));
                if (byGate)
                    gate->handOver(this, [this, n] { handleResult(n); });
                else
                    QMetaObject::invokeMethod(this, "handleResult", Qt::BlockingQueuedConnection,
                                              Q_ARG(int, n));
                note(QStringLiteral("returned %1").arg(n));
            }
        });
        worker->start();
        gate->release();

        QTRY_COMPARE_WITH_TIMEOUT(exchanges.load(), lastExchange, 5000);
        QTRY_COMPARE_WITH_TIMEOUT(logSoFar().size(), size_t(3 * lastExchange), 5000);
        // The last handler did not release: the worker stays paused.
        QTest::qWait(50);
        QCOMPARE(exchanges.load(), lastExchange);

        std::vector<QString> expected;
        for (int n = 1; n <= lastExchange; ++n) {
            expected.push_back(QStringLiteral("exchange %1").arg(n));
            expected.push_back(QStringLiteral("handled %1").arg(n));
            expected.push_back(QStringLiteral("returned %1").arg(n));
        }
        QCOMPARE(logSoFar(), expected);

        gate->close();
        QVERIFY(worker->wait(5000));
        delete worker;
    }

    void releaseBeforeTheWorkerWaitsIsNotLost()
    {
        WorkerGate g;
        g.release();
        g.release(); // a second release of a running worker adds nothing
        std::atomic<int> runs = 0;
        QThread* worker = QThread::create([&] {
            while (g.waitForRelease())
                ++runs;
        });
        worker->start();
        QTRY_COMPARE_WITH_TIMEOUT(runs.load(), 1, 5000);
        QTest::qWait(30);
        QCOMPARE(runs.load(), 1);
        g.close();
        QVERIFY(worker->wait(5000));
        delete worker;
    }

    void pauseTakesBackAnUntakenRelease()
    {
        WorkerGate g;
        g.release();
        g.pause();
        std::atomic<bool> ran = false;
        QThread* worker = QThread::create([&] { ran = g.waitForRelease(); });
        worker->start();
        QTest::qWait(30);
        QVERIFY(!ran);
        g.close();
        QVERIFY(worker->wait(5000));
        QVERIFY(!ran);
        delete worker;
    }
};

QTEST_GUILESS_MAIN(tst_WorkerGate)
#include "tst_workergate.moc"
