#pragma once

#include "core/DeviceState.h"
#include "core/RequestOutcome.h"
#include "links/snmp/SnmpAgent.h"

#include <QString>

#include <array>

// The write-community check of a network session: the legacy object of port 1 is read, written
// to its other value, read back and restored, one phase per exchange; Done outside the check.
enum class CheckPhase { Read = 1, WriteOther = 2, ReadBack = 3, Restore = 4, Done = 999 };

// Network write requests queued in NetworkState::pendingRequest, by their codes.
enum class Request {
    None = 0,
    SystemReset = 1,
    FactoryDefaults = 2,
    SaveToFlash = 3,
    SystemDescription = 4,
    PortDescription = 5,
    PortEnable = 6,
    AllPortsOn = 61,
    AllPortsOff = 62,
    LegacyDetection = 63,
};

// The object of the current port a network pass reads, in the order it reads them
// (mib::RefreshPortColumns).
enum class PortStep { Admin, Power, Voltage, Current, Resistance, Status, Description };

// What the network link knows of its search, its session and the write under way. The link
// owns one; its search, session, request queue and exchange planner share it.
struct NetworkState {
    // The operator has this link chosen, as at start.
    bool chosen = true;
    // Retries of one exchange: probes are quick; a session rides out a busy agent.
    static constexpr int SearchRetries = 3;
    static constexpr int SessionRetries = 20;

    // Session
    bool networkLinked = false;
    // 1 in the pass that shows the static data (a session's first), 2 after it; 0 after a write
    // or a display reset, so that the pass after the one under way shows it again.
    int refreshPass = 0;
    CheckPhase snmpPhase = CheckPhase::Done;
    int networkFailures = 0; // failed exchanges in a row
    QString networkModel;
    int retries = SearchRetries;
    // The worker has set itself up with the current settings; otherwise its next exchange does.
    bool workerSetUp = false;
    int checkValue = 0; // the value the write-community check writes

    // Search
    int searchCurrent = 0;
    QString deviceAddress;
    bool lastAddress = false;
    bool searchDone = false;
    bool deviceListValid = false; // the entries found stand for the settings in use

    // The exchange
    QString requestOid;
    QString responseText;
    SnmpValue response; // the same value as the agent sent it
    // How the worker's sets ended since the session last looked: the first that did not take.
    RequestOutcome writeOutcome = RequestOutcome::Answered;

    // The pass over the ports
    int portPhase = 0; // 0 system objects, 1 ports
    PortStep portReadStep = PortStep::Admin;

    // Write requests
    Request pendingRequest = Request::None;
    Request activeRequest = Request::None;
    int legacyDetectWanted = 0;                    // 2 on, 1 off
    std::array<bool, MaxPorts> portEnableWanted{}; // by port - 1
    QString newSystemDescription;
    QString newPortDescription;
    int newDescriptionPort = 0;
    int descriptionPort = 0;
    std::array<QString, MaxPorts + 1> descriptionOut; // by port
};
