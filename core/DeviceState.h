#pragma once

#include "core/RequestOutcome.h"

#include <QString>

#include <array>

// Everything Spanmon knows about the connected midspan and the session with it. One instance
// lives for the whole run; both links fill it and the window and pages read it.
//
// Index conventions: arrays "by port" have 25 slots and slot 0 stays empty; arrays "by port - 1"
// have 24 slots.
inline constexpr int MaxPorts = 24;

struct DeviceState {
    // Device identity and system information
    QString modelName;
    int portCount = 0; // always within 0..MaxPorts, see setPortCount()
    QString systemDescription;
    std::array<QString, MaxPorts + 1> portDescription; // by port
    quint8 legacyDetect = 0;
    quint8 deviceLegacyDetect = 0; // legacy detection as last read from the device

    // Per-port state
    std::array<int, MaxPorts + 1> portAdminState{}; // by port; 2 = enabled
    std::array<int, MaxPorts + 1> portStatus{};     // by port
    int pollPort = 0;

    // Takes a port count as a device reports it. Every per-port array and page has room for
    // MaxPorts ports, so larger counts are cut to MaxPorts and negative ones to 0. Returns
    // whether the reported value was already in 1..MaxPorts.
    bool setPortCount(int reported);
};
