#include "LoopbackBlock.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <memory>
#include <vector>

// Which block a program gets, given the blocks other holders keep: steps "take" (this program
// takes one more and keeps it), "drop N" (the holder of the Nth block taken lets it go), "child"
// (a child process starts, inheriting every block held at that moment) and "end child".
class tst_LoopbackBlock : public QObject
{
    Q_OBJECT

private slots:
    void blockTaken_data()
    {
        QTest::addColumn<int>("last");
        QTest::addColumn<QStringList>("steps");
        QTest::addColumn<QList<int>>("taken"); // the block of each "take", 0 for none

        QTest::newRow("none held: the first") << 254 << QStringList{"take"} << QList<int>{1};
        QTest::newRow("each holder its own")
            << 254 << QStringList{"take", "take", "take"} << QList<int>{1, 2, 3};
        QTest::newRow("a block let go is taken again")
            << 254 << QStringList{"take", "take", "drop 0", "take"} << QList<int>{1, 2, 1};
        QTest::newRow("a child keeps its parent's block")
            << 254 << QStringList{"take", "child", "drop 0", "take", "end child", "take"}
            << QList<int>{1, 2, 1};
        QTest::newRow("all held") << 2 << QStringList{"take", "take", "take"} << QList<int>{1, 2, 0};
    }

    void blockTaken()
    {
        QFETCH(int, last);
        QFETCH(QStringList, steps);
        QFETCH(QList<int>, taken);

        QTemporaryDir locks;
        std::vector<std::unique_ptr<LoopbackBlock>> held;
        QProcess child;
        QList<int> got;
        for (const QString& step : std::as_const(steps)) {
            if (step == "take") {
                held.push_back(std::make_unique<LoopbackBlock>(LoopbackBlock::take(locks.path(), 1, last)));
                got << held.back()->number();
                if (held.back()->number() == 0)
                    QVERIFY2(held.back()->errorText().contains(locks.path()),
                             qPrintable(held.back()->errorText()));
            } else if (step.startsWith("drop ")) {
                held.at(step.mid(5).toUInt()).reset();
            } else if (step == "child") {
                child.start("sleep", {"60"});
                QVERIFY(child.waitForStarted());
            } else if (step == "end child") {
                child.kill();
                QVERIFY(child.waitForFinished());
            }
        }
        QCOMPARE(got, taken);
    }

    // The machine-wide block of this program: one address of its /16, never of block 0.
    void addressesOfThisProgram()
    {
        const int n = LoopbackBlock::ofThisProgram().number();
        QVERIFY(n >= 1 && n <= 254);
        QCOMPARE(loopbackAddress(60, 100), QStringLiteral("127.%1.60.100").arg(n));
        QCOMPARE(LoopbackBlock::take("/run/lock", n, n).number(), 0);
    }
};

QTEST_GUILESS_MAIN(tst_LoopbackBlock)
#include "tst_loopbackblock.moc"
