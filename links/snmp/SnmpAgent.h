#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <chrono>
#include <optional>
#include <vector>

// SNMP as the program sees net-snmp. The library, with libssl and libcrypto, takes milliseconds
// to load: it lives in a module of its own (spanmon-snmp.so, made of NetSnmpAgent.cpp), loaded the
// first time a worker talks SNMP, so that no start of Spanmon waits for it. The other programs
// (spanmon-cli, tests, benchmarks) link the module's objects instead. Header only: the module
// takes nothing from the program but what it is handed.

// A variable's value, apart from the library's types.
struct SnmpValue {
    enum class Syntax {
        Integer,
        OctetString,
        ObjectId,
        IpAddress,
        Counter32,
        Gauge32,
        TimeTicks,
        Counter64,
        Opaque,
        Null,
        NoSuchObject,
        NoSuchInstance,
        EndOfMibView,
    };

    Syntax syntax = Syntax::Null;
    qint64 number = 0; // Integer signed; Counter32, Gauge32, TimeTicks, Counter64 unsigned
    QByteArray octets; // OctetString, IpAddress, Opaque; ObjectId as dotted text

    static SnmpValue integer(qint64 value) { return {Syntax::Integer, value, {}}; }
    static SnmpValue text(const QByteArray& value) { return {Syntax::OctetString, 0, value}; }

    // The value as the operator reads it: numbers in decimal, printable strings as they are,
    // other strings as a hex dump, the "no such" answers as empty text.
    QString printable() const;
};

struct SnmpTarget {
    QString address; // dotted IPv4
    quint16 port = 161;
    bool v3 = false;
    QByteArray readCommunity;
    QByteArray writeCommunity;
    // SNMPv3 USM authPriv with HMAC-MD5 and DES; the user is also the context name.
    QByteArray user;
    QByteArray authPassphrase;
    QByteArray privPassphrase;
    std::chrono::milliseconds timeout{200};
    int retries = 3;
    // SNMPv3 only: one try of this length asks the agent for its engine ID.
    std::chrono::milliseconds discoveryTimeout{1000};
};

// One session with one agent, as SnmpClient (SnmpClient.h) describes it.
class SnmpAgent
{
public:
    virtual ~SnmpAgent() = default;

    virtual bool isOpen() const = 0;
    virtual QByteArray engineId() const = 0;
    virtual QString errorText() const = 0;
    virtual std::optional<std::vector<SnmpValue>> get(const QStringList& oids) = 0;
    virtual bool set(const QString& oid, const SnmpValue& value) = 0;
    virtual bool answered() const = 0;
};

// The library as a whole: what SnmpClient's static functions do.
class SnmpEngine
{
public:
    virtual SnmpAgent* open(const SnmpTarget& target) = 0;
    virtual std::vector<std::optional<SnmpValue>> getFromEach(const std::vector<SnmpTarget>& targets,
                                                              const QString& oid, int inFlight) = 0;
    virtual void setLocalEngineId(const QByteArray& engineId) = 0;
    virtual void forgetUsers() = 0;

protected:
    ~SnmpEngine() = default;
};

// The module's one entry: the library, readied to keep its persistent files in
// `persistentFolder` (the library insists on one). The engine lives until the program ends.
using CreateSnmpEngine = SnmpEngine* (*)(const QString& persistentFolder);
inline constexpr char CreateSnmpEngineSymbol[] = "spanmon_create_snmp_engine";
