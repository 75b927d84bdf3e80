#pragma once

#include "core/RequestOutcome.h"

#include <QString>

#include <array>

// Everything Spanmon knows about the connected midspan and the session with it. One instance
// lives for the whole run; both links fill it and the window and pages read it.
//
// Index conventions: arrays "by port" have 25 slots and slot 0 stays empty; arrays "by port - 1"
// have 24 slots. Fields that belong to the main window's own bookkeeping (found-device list,
// communities) live here too, so the sessions can run without a window.
inline constexpr int MaxPorts = 24;

enum class LinkType { None = 0, Network = 1, Serial = 2 };

// The write-community check of a network session: the legacy object of port 1 is read, written
// to its other value, read back and restored, one phase per exchange; Done outside the check.
enum class CheckPhase { Read = 1, WriteOther = 2, ReadBack = 3, Restore = 4, Done = 999 };

// Network write requests queued in DeviceState::pendingRequest, by their codes.
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

// The object of the current port a network pass reads, in the order it reads them.
enum class PortStep { Admin, Power, Voltage, Current, Resistance, Status, Description };

struct DeviceState {
    // Link and session
    LinkType linkType = LinkType::Network;
    int linkChoice = 0; // last accepted index of the link combo (sorted: 0 network, 1 serial)
    bool networkLinked = false;
    bool useSnmpV3 = false;
    int refreshPass = 0;
    CheckPhase snmpPhase = CheckPhase::Done;
    int networkFailures = 0;
    QString settingsPath;
    QString localAddress;

    // Network search and network session
    int searchFirst = 0;
    int searchLast = 0;
    int searchCurrent = 0;
    QString searchPrefix;
    QString deviceAddress;
    bool lastAddress = false;
    bool searchDone = false;
    bool deviceListValid = false;
    bool sessionReady = false;
    int searchRetries = 3;
    int setValue = 0;
    QString networkModel;
    QString readCommunity;
    QString writeCommunity;
    QString v3User;
    QString v3AuthPassword;
    QString v3PrivPassword;
    QString requestOid;
    QString responseText;
    // How the worker's sets ended since the session last looked: the first that did not take.
    RequestOutcome writeOutcome = RequestOutcome::Answered;

    // Device identity and system information
    QString modelName;
    int portCount = 0; // always within 0..MaxPorts, see setPortCount()
    QString systemDescription;
    std::array<QString, MaxPorts + 1> portDescription; // by port
    quint8 legacyDetect = 0;
    quint8 deviceLegacyDetect = 0; // legacy detection as last read from the device
    int legacyDetectWanted = 0;    // network: 2 on, 1 off
    QString newSystemDescription;  // network: the system description write queued
    QString newPortDescription;    // network: the port description write queued

    // Per-port state
    std::array<int, MaxPorts + 1> portAdminState{};  // by port; 2 = enabled
    std::array<bool, MaxPorts> portEnableWanted{};   // by port - 1; network: the enable write queued
    std::array<int, MaxPorts + 1> portStatus{};      // by port
    std::array<quint8, MaxPorts> portStaticRead{};   // by port - 1
    int pollPort = 0;
    PortStep portReadStep = PortStep::Admin;

    int savedPort = 0; // network: the port of the description write queued

    // Request queue of the network link
    Request pendingRequest = Request::None;
    Request activeRequest = Request::None;
    int portPhase = 0;
    int descriptionPort = 0;
    std::array<QString, MaxPorts + 1> descriptionOut; // by port

    // Takes a port count as a device reports it. Every per-port array and page has room for
    // MaxPorts ports, so larger counts are cut to MaxPorts and negative ones to 0. Returns
    // whether the reported value was already in 1..MaxPorts.
    bool setPortCount(int reported);

    void clearPortStaticRead() { portStaticRead.fill(0); }
};
