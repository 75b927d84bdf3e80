#pragma once

#include "links/snmp/SnmpAgent.h"

#include <memory>

// Spanmon's only door to SNMP: one agent, one object at a time. The library itself is in a module
// (SnmpAgent.h says why).

// Readies the library for this process: no MIB files, no configuration files, no persistent
// state. Call on the main thread, before any SnmpClient is made (it sets the environment). The
// library itself is loaded and started with the first client or engine setting, on that thread:
// a program that never talks SNMP does not pay for it.
void initSnmpLibrary();

// The module's entry, null with the reason in `reason` when it cannot be had. Defined by the
// program's choice: SnmpModule.cpp loads the module, SnmpLinked.cpp has its objects linked in.
CreateSnmpEngine snmpEngineEntry(QString& reason);

// Communities, the SNMPv3 user and its pass phrases go on the wire as Latin-1, the midspan's
// character set, as its descriptions do: the same octets from the window and from spanmon-cli,
// and from a Link.ini kept in UTF-8 or in a Windows code page alike. A text with a character
// beyond Latin-1 has no such octets (credentialFits says so): it is refused, never sent altered.
QByteArray credentialOctets(const QString& text);
bool credentialFits(const QString& text);

// One session with one agent, opened by the constructor and closed by the destructor. SNMPv3
// sessions learn the agent's engine ID while opening. Use a client on one thread only.
class SnmpClient
{
public:
    explicit SnmpClient(const SnmpTarget& target);
    ~SnmpClient();
    SnmpClient(const SnmpClient&) = delete;
    SnmpClient& operator=(const SnmpClient&) = delete;

    bool isOpen() const { return agent_ && agent_->isOpen(); }
    // The agent's engine ID (SNMPv3), empty when the agent did not answer the discovery.
    QByteArray engineId() const { return agent_ ? agent_->engineId() : QByteArray(); }
    // What went wrong last, for diagnostics.
    QString errorText() const { return agent_ ? agent_->errorText() : unavailable_; }

    // Reads one object (dotted numeric OID). The "no such" answers count as values.
    std::optional<SnmpValue> get(const QString& oid);
    // Reads several objects in one request; the values come in the order asked. When the agent
    // finds the answer too big, the objects are asked for in halves.
    std::optional<std::vector<SnmpValue>> get(const QStringList& oids);
    // Writes one object, with the write community in v2c. True when the agent accepted it.
    bool set(const QString& oid, const SnmpValue& value);
    // The agent answered the last request, if only with an error.
    bool answered() const { return agent_ && agent_->answered(); }

    // Asks every target for one object, at most `inFlight` targets at a time, and gives each
    // target's value (nothing where none came, nothing at all without SNMP) in the order of the
    // targets. SNMPv3 targets are all probed for an engine ID first, each with one try of its
    // discovery time-out; only those that answer are then asked, one after the other.
    static std::vector<std::optional<SnmpValue>> getFromEach(const std::vector<SnmpTarget>& targets,
                                                             const QString& oid, int inFlight);

    // Sets the engine ID this side reports for itself.
    static void setLocalEngineId(const QByteArray& engineId);
    // Forgets every SNMPv3 user and the keys made from its pass phrases, so that the next
    // session makes them anew from the pass phrases it is given.
    static void forgetUsers();

    // Empty when SNMP can be used; otherwise "SNMP is not available: " and why. Loads the library
    // the first time it is asked for; a failed load is tried again at the next call.
    static QString unavailable();

private:
    std::unique_ptr<SnmpAgent> agent_;
    QString unavailable_;
};
