#include "links/snmp/SnmpClient.h"

#include "core/DisplayFormats.h"
#include "core/ModuleLoader.h"

#include <QMutex>
#include <QTemporaryDir>

#include <cstdlib>
#include <mutex>

namespace
{

// The library insists on a persistent folder (it creates an empty certificate index there even
// with persistence off); a private one keeps it out of /var/lib and the home folder.
QTemporaryDir* persistentDir()
{
    static QTemporaryDir dir;
    return &dir;
}

QMutex engineMutex;
SnmpEngine* loadedEngine = nullptr; // guarded by engineMutex, never unloaded

// The library, loaded and readied at the first call on any thread; null with the operator's
// message in `unavailable` when it cannot be loaded.
SnmpEngine* engine(QString& unavailable)
{
    QMutexLocker lock(&engineMutex);
    if (!loadedEngine) {
        initSnmpLibrary();
        QString reason;
        const CreateSnmpEngine create = snmpEngineEntry(reason);
        if (!create) {
            unavailable = QStringLiteral("SNMP is not available: %1").arg(reason);
            return nullptr;
        }
        loadedEngine = create(persistentDir()->path());
    }
    return loadedEngine;
}

} // namespace

void initSnmpLibrary()
{
    static std::once_flag readied;
    // Objects are always numeric; without this the library looks for (and complains about) every
    // MIB it knows of. The library reads it from the environment, which may change only while no
    // other thread reads it: at start-up, on the main thread.
    // The library's folder is made here too, on the main thread, so that every way out of the
    // program (a signal included) finds it to remove, whether the library has started or not.
    std::call_once(readied, [] {
        setenv("MIBS", "", 1);
        persistentDir();
        moduleLoader::folders(); // where the worker thread will look for the library
    });
}

QByteArray credentialOctets(const QString& text)
{
    return text.toLatin1();
}

bool credentialFits(const QString& text)
{
    return fmt::fitsLatin1(text);
}

QString SnmpValue::printable() const
{
    switch (syntax) {
    case Syntax::Integer:
        return QString::number(number);
    case Syntax::Counter32:
    case Syntax::Gauge32:
    case Syntax::TimeTicks:
    case Syntax::Counter64:
        return QString::number(quint64(number));
    case Syntax::OctetString:
        return fmt::deviceOctets(octets);
    case Syntax::Opaque:
        return QString::fromLatin1(octets.toHex(' ').toUpper());
    case Syntax::ObjectId:
        return QString::fromLatin1(octets);
    case Syntax::IpAddress: {
        QStringList parts;
        for (const char c : octets)
            parts << QString::number(static_cast<unsigned char>(c));
        return parts.join(u'.');
    }
    case Syntax::Null:
    case Syntax::NoSuchObject:
    case Syntax::NoSuchInstance:
    case Syntax::EndOfMibView:
        break;
    }
    return {};
}

SnmpClient::SnmpClient(const SnmpTarget& target)
{
    if (SnmpEngine* snmp = engine(unavailable_))
        agent_.reset(snmp->open(target));
}

SnmpClient::~SnmpClient() = default;

std::optional<SnmpValue> SnmpClient::get(const QString& oid)
{
    const auto values = get(QStringList{oid});
    if (!values)
        return std::nullopt;
    return values->front();
}

std::optional<std::vector<SnmpValue>> SnmpClient::get(const QStringList& oids)
{
    return agent_ ? agent_->get(oids) : std::nullopt;
}

bool SnmpClient::set(const QString& oid, const SnmpValue& value)
{
    return agent_ && agent_->set(oid, value);
}

std::vector<std::optional<SnmpValue>> SnmpClient::getFromEach(const std::vector<SnmpTarget>& targets,
                                                              const QString& oid, int inFlight)
{
    QString unavailable;
    if (SnmpEngine* snmp = engine(unavailable))
        return snmp->getFromEach(targets, oid, inFlight);
    return std::vector<std::optional<SnmpValue>>(targets.size());
}

void SnmpClient::setLocalEngineId(const QByteArray& engineId)
{
    QString unavailable;
    if (SnmpEngine* snmp = engine(unavailable))
        snmp->setLocalEngineId(engineId);
}

void SnmpClient::forgetUsers()
{
    QString unavailable;
    if (SnmpEngine* snmp = engine(unavailable))
        snmp->forgetUsers();
}

QString SnmpClient::unavailable()
{
    QString unavailable;
    engine(unavailable);
    return unavailable;
}
