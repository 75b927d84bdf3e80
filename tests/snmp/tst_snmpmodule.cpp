// Spanmon as it starts: net-snmp is a module, loaded at the first exchange over the network. A
// search without the module says why at once and sends nothing; once the module is where Spanmon
// looks, the next search loads it and finds the midspan.
#include "LoopbackBlock.h"
#include "NetworkRig.h"
#include "core/ModuleLoader.h"
#include "links/snmp/SnmpClient.h"

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <csignal>
#include <cstdio>

#include <sys/prctl.h>

namespace
{

const QString Agent = loopbackAddress(183, 1);
// Set in the copy of the test that runs in a folder of its own.
const char InPrivateFolder[] = "SPANMON_TEST_IN_PRIVATE_FOLDER";

bool netSnmpLoaded()
{
    QFile maps(QStringLiteral("/proc/self/maps"));
    return maps.open(QIODevice::ReadOnly) && maps.readAll().contains("libnetsnmp");
}

} // namespace

class tst_SnmpModule : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void cleanupTestCase();
    void searchWithoutTheModuleSaysWhyAndTheNextLoadsIt();

private:
    // Beside the test, the first folder looked in; the build puts the module beside Spanmon.
    const QString besideTest_ =
        QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("spanmon-snmp.so"));
    MidspanSimProcess agent_;
};

void tst_SnmpModule::initTestCase()
{
    initSnmpLibrary();
    QFile::remove(besideTest_); // left by a run that crashed
    const QString failure = startAgent(agent_, simOptions(Agent, 4));
    QVERIFY2(failure.isEmpty(), qPrintable(failure));
}

void tst_SnmpModule::cleanupTestCase()
{
    QFile::remove(besideTest_);
}

void tst_SnmpModule::searchWithoutTheModuleSaysWhyAndTheNextLoadsIt()
{
    if (needsRoot())
        QSKIP("the agent needs UDP port 161, which needs root");
    Rig rig(Agent);
    QVERIFY(!netSnmpLoaded());

    QVERIFY(rig.search());
    const QString folders = moduleLoader::folders().join(QStringLiteral(", "));
    QCOMPARE(
        rig.feedback.texts(),
        QStringList{"SNMP is not available: spanmon-snmp.so is in none of the folders " + folders + "."});
    QVERIFY(rig.entries().isEmpty());
    QVERIFY(rig.controls().isVisible(ctl::Setting));
    QVERIFY(!rig.net().searchDone);
    QVERIFY(agent_.snmpLog().isEmpty());
    QVERIFY(!netSnmpLoaded());

    QVERIFY(QFile::copy(QStringLiteral(SNMP_MODULE), besideTest_));
    rig.feedback.shown.clear();
    QVERIFY(rig.connect(Agent));
    QVERIFY(rig.feedback.shown.isEmpty());
    QCOMPARE(rig.text(ctl::PortNumber), QStringLiteral("4"));
    QVERIFY(netSnmpLoaded());
}

// Spanmon looks for the module beside the program, so the test runs as a copy of this program in a
// folder of its own: a run beside it never finds the module this one put there, nor takes it away.
int main(int argc, char* argv[])
{
    if (qEnvironmentVariableIsSet(InPrivateFolder)) {
        QApplication app(argc, argv);
        app.setAttribute(Qt::AA_Use96Dpi, true); // as QTEST_MAIN has it
        tst_SnmpModule test;
        return QTest::qExec(&test, argc, argv);
    }
    QCoreApplication app(argc, argv);
    const QTemporaryDir folder;
    const QString copy = folder.filePath(QFileInfo(QCoreApplication::applicationFilePath()).fileName());
    if (!QFile::copy(QCoreApplication::applicationFilePath(), copy)) {
        std::fprintf(stderr, "cannot copy this test to %s\n", qPrintable(folder.path()));
        return 1;
    }
    QProcess run;
    run.setProcessChannelMode(QProcess::ForwardedChannels);
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(QString::fromLatin1(InPrivateFolder), QStringLiteral("1"));
    run.setProcessEnvironment(environment);
    // Ended with this one, as when ctest ends a test that ran over its time.
    run.setChildProcessModifier([] { ::prctl(PR_SET_PDEATHSIG, SIGKILL); });
    run.start(copy, QCoreApplication::arguments().mid(1));
    run.waitForFinished(-1);
    return run.exitStatus() == QProcess::NormalExit ? run.exitCode() : 1;
}
#include "tst_snmpmodule.moc"
