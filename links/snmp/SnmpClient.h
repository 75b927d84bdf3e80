#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <chrono>
#include <optional>
#include <vector>

// Spanmon's only door to net-snmp: one agent, one object at a time. Nothing else includes the
// library's headers.

// Readies the library for this process: no MIB files, no configuration files, no persistent
// state. Call on the main thread, before any SnmpClient is made (it sets the environment). The
// library itself starts with the first client or engine setting, on that thread: a program that
// never talks SNMP does not pay for it.
void initSnmpLibrary();

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

// One session with one agent, opened by the constructor and closed by the destructor. SNMPv3
// sessions learn the agent's engine ID while opening. Use a client on one thread only.
class SnmpClient
{
public:
    explicit SnmpClient(const SnmpTarget& target);
    ~SnmpClient();
    SnmpClient(const SnmpClient&) = delete;
    SnmpClient& operator=(const SnmpClient&) = delete;

    bool isOpen() const { return session_ != nullptr; }
    // The agent's engine ID (SNMPv3), empty when the agent did not answer the discovery.
    QByteArray engineId() const { return engineId_; }
    // What went wrong last, for diagnostics.
    QString errorText() const { return error_; }

    // Reads one object (dotted numeric OID). The "no such" answers count as values.
    std::optional<SnmpValue> get(const QString& oid);
    // Reads several objects in one request; the values come in the order asked. When the agent
    // finds the answer too big, the objects are asked for in halves.
    std::optional<std::vector<SnmpValue>> get(const QStringList& oids);
    // Writes one object, with the write community in v2c. True when the agent accepted it.
    bool set(const QString& oid, const SnmpValue& value);
    // The agent answered the last request, if only with an error.
    bool answered() const { return answered_; }

    // Asks every target for one object, at most `inFlight` targets at a time, and gives each
    // target's value (nothing where none came) in the order of the targets. SNMPv3 targets are
    // all probed for an engine ID first, each with one try of its discovery time-out; only those
    // that answer are then asked, one after the other.
    static std::vector<std::optional<SnmpValue>> getFromEach(const std::vector<SnmpTarget>& targets,
                                                             const QString& oid, int inFlight);

    // Sets the engine ID this side reports for itself.
    static void setLocalEngineId(const QByteArray& engineId);
    // Forgets every SNMPv3 user and the keys made from its pass phrases, so that the next
    // session makes them anew from the pass phrases it is given.
    static void forgetUsers();

private:
    void takeError();

    SnmpTarget target_;
    void* session_ = nullptr;
    QByteArray engineId_;
    QString error_;
    bool answered_ = false;
};
