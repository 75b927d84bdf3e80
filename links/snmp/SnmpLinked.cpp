#include "links/snmp/SnmpClient.h"

// The module's objects are linked into this program (SnmpAgent.h): it loads no module.
extern "C" SnmpEngine* spanmon_create_snmp_engine(const QString& persistentFolder);

CreateSnmpEngine snmpEngineEntry(QString&)
{
    return &spanmon_create_snmp_engine;
}
