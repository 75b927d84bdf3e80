// Spanmon as it starts: net-snmp is a module, loaded at the first exchange over the network. A
// search without the module says why at once and sends nothing; once the module is where Spanmon
// looks, the next search loads it and finds the midspan.
#include "LoopbackBlock.h"
#include "NetworkRig.h"
#include "core/ModuleLoader.h"
#include "links/snmp/SnmpClient.h"

#include <QCoreApplication>
#include <QDir>

namespace
{

const QString Agent = loopbackAddress(183, 1);

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
    const QString besideTest_ = QDir(QCoreApplication::applicationDirPath()).filePath(QStringLiteral("spanmon-snmp.so"));
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
    QCOMPARE(rig.feedback.texts(),
             QStringList{"SNMP is not available: spanmon-snmp.so is in none of the folders " + folders + "."});
    QVERIFY(rig.entries().isEmpty());
    QVERIFY(rig.controls().isVisible(ctl::Setting));
    QVERIFY(!rig.state().searchDone);
    QVERIFY(agent_.snmpLog().isEmpty());
    QVERIFY(!netSnmpLoaded());

    QVERIFY(QFile::copy(QStringLiteral(SNMP_MODULE), besideTest_));
    rig.feedback.shown.clear();
    QVERIFY(rig.connect(Agent));
    QVERIFY(rig.feedback.shown.isEmpty());
    QCOMPARE(rig.text(ctl::PortNumber), QStringLiteral("4"));
    QVERIFY(netSnmpLoaded());
}

QTEST_MAIN(tst_SnmpModule)
#include "tst_snmpmodule.moc"
