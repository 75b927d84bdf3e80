// How Spanmon and Ethfind start, seen from outside: a program of this test started as either,
// with the command line it is given. Its window shows with the program's icon, the application
// names its desktop entry, and a signal ends it through its ending, with exit code 0.
#include "app/ProgramStart.h"

#include <QApplication>
#include <QPixmap>
#include <QProcess>
#include <QTest>
#include <QTimer>
#include <QWidget>

#include <csignal>
#include <cstdio>

namespace
{

const char Child[] = "--start-as";

// Started as the program named in argv[2] ("spanmon" or "ethfind"); prints what it shows.
int runChild(int argc, char* argv[])
{
    const QString icon = QString::fromLatin1(argv[2]);
    const QString name = icon.left(1).toUpper() + icon.mid(1);
    argv[2] = argv[0];
    int childArgc = argc - 2;
    ProgramStart start(childArgc, argv + 2,
                       {name, QStringLiteral("7.3"), QStringLiteral("Test program."),
                        QStringLiteral("org.spanmon.") + name, icon});
    if (const auto exitCode = start.answered())
        return *exitCode;
    start.startApplication();
    QWidget window;
    // A window that brings an icon of its own, as Spanmon's does, shows the program's all the same.
    QPixmap own(16, 16);
    own.fill(Qt::red);
    window.setWindowIcon(own);
    QTimer::singleShot(0, &window, [&window] {
        QStringList sizes;
        for (const QSize size : window.windowIcon().availableSizes())
            sizes << QString::number(size.width());
        std::printf("%s %s %s\n", qPrintable(QApplication::desktopFileName()), qPrintable(sizes.join(u',')),
                    window.isVisible() ? "shown" : "hidden");
        std::raise(SIGTERM);
    });
    return start.run(window, [] { std::puts("ending"); });
}

} // namespace

class tst_ProgramStart : public QObject
{
    Q_OBJECT

private slots:
    void startsAndEnds_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<QString>("output");
        QTest::newRow("Spanmon") << QStringList{"spanmon"}
                                 << QString("org.spanmon.Spanmon 48,256 shown\nending\n");
        QTest::newRow("Ethfind, a toolkit option") << QStringList{"ethfind", "-platform", "offscreen"}
                                                   << QString("org.spanmon.Ethfind 48,256 shown\nending\n");
    }
    void startsAndEnds()
    {
        QFETCH(QStringList, arguments);
        QFETCH(QString, output);
        QProcess child;
        child.start(QCoreApplication::applicationFilePath(), QStringList{Child} + arguments);
        QVERIFY(child.waitForFinished(30000));
        QCOMPARE(child.exitStatus(), QProcess::NormalExit);
        QCOMPARE(child.exitCode(), 0);
        QCOMPARE(QString::fromLocal8Bit(child.readAllStandardOutput()), output);
    }
};

int main(int argc, char* argv[])
{
    if (argc >= 3 && qstrcmp(argv[1], Child) == 0)
        return runChild(argc, argv);
    QApplication app(argc, argv);
    tst_ProgramStart test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_programstart.moc"
