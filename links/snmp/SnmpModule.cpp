#include "core/ModuleLoader.h"
#include "links/snmp/SnmpClient.h"

// Spanmon loads the library the first time it talks SNMP (SnmpAgent.h).
CreateSnmpEngine snmpEngineEntry(QString& reason)
{
    return reinterpret_cast<CreateSnmpEngine>(
        moduleLoader::entry(moduleLoader::folders(), "spanmon-snmp.so", CreateSnmpEngineSymbol, reason));
}
