#include "LoopbackBlock.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTest>

#include <cstdio>
#include <memory>
#include <vector>

namespace
{

// Run with this, the program prints an address of its block and ends.
const char PrintAddress[] = "--print-address";

} // namespace

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

    // A handed-down value counts only with the lock it names: blocks 1 and 2 are held here.
    void handedDown_data()
    {
        QTest::addColumn<QString>("value"); // %1, %2: the descriptors of blocks 1 and 2; %3: another file's
        QTest::addColumn<int>("block");

        QTest::newRow("block 1 with its lock") << "1 %1" << 1;
        QTest::newRow("block 2 with its lock") << "2 %2" << 2;
        QTest::newRow("block 2 with the lock of 1") << "2 %1" << 0;
        QTest::newRow("a descriptor of another file") << "1 %3" << 0;
        QTest::newRow("a descriptor not open") << "1 1000" << 0;
        QTest::newRow("no descriptor") << "1" << 0;
        QTest::newRow("nothing") << "" << 0;
    }

    void handedDown()
    {
        QFETCH(QString, value);
        QFETCH(int, block);

        QTemporaryDir locks;
        const LoopbackBlock first = LoopbackBlock::take(locks.path(), 1, 2);
        const LoopbackBlock second = LoopbackBlock::take(locks.path(), 1, 2);
        QTemporaryFile other;
        QVERIFY(other.open());
        const QByteArray given = value.replace("%1", first.handedDown().split(' ').value(1))
                                     .replace("%2", second.handedDown().split(' ').value(1))
                                     .replace("%3", QString::number(other.handle()))
                                     .toLatin1();
        QCOMPARE(LoopbackBlock::inherited(given, locks.path()).number(), block);
    }

    // The machine-wide block of this program: one address of its /16, never of block 0, and the
    // same in a copy of the program it starts.
    void addressesOfThisProgram()
    {
        const int n = LoopbackBlock::ofThisProgram().number();
        QVERIFY(n >= 1 && n <= 254);
        QCOMPARE(loopbackAddress(60, 100), QStringLiteral("127.%1.60.100").arg(n));
        QCOMPARE(LoopbackBlock::take("/run/lock", n, n).number(), 0);

        QProcess copy;
        copy.start(QCoreApplication::applicationFilePath(), {PrintAddress});
        QVERIFY(copy.waitForFinished());
        QCOMPARE(copy.readAllStandardOutput(), loopbackAddress(60, 100).toLatin1() + '\n');
    }

    // loopback-run gives its command the block handed down to it, or one of its own that stays
    // taken while the command runs.
    void commandOnABlock_data()
    {
        QTest::addColumn<bool>("handedDown");

        QTest::newRow("handed down: this program's block") << true;
        QTest::newRow("none handed down: a free block") << false;
    }

    void commandOnABlock()
    {
        QFETCH(bool, handedDown);

        const int mine = LoopbackBlock::ofThisProgram().number();
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        if (!handedDown)
            environment.remove(LoopbackBlock::EnvironmentName);
        QProcess command;
        command.setProcessEnvironment(environment);
        command.start(LOOPBACK_RUN_PATH, {"sh", "-c", "echo \"$SPANMON_LOOPBACK_BLOCK\"; exec sleep 60"});
        QVERIFY(command.waitForReadyRead(10000));
        const int block = command.readLine().split(' ').value(0).toInt();
        if (handedDown) {
            QCOMPARE(block, mine);
        } else {
            QVERIFY2(block >= 1 && block <= 254 && block != mine, qPrintable(QString::number(block)));
            QCOMPARE(LoopbackBlock::take("/run/lock", block, block).number(), 0);
        }
        command.kill();
        QVERIFY(command.waitForFinished());
    }
};

int main(int argc, char* argv[])
{
    if (argc == 2 && qstrcmp(argv[1], PrintAddress) == 0) {
        std::printf("%s\n", qPrintable(loopbackAddress(60, 100)));
        return 0;
    }
    QCoreApplication app(argc, argv);
    tst_LoopbackBlock test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_loopbackblock.moc"
