#pragma once

#include "core/RequestOutcome.h"

#include <QString>

#include <array>
#include <cstdint>
#include <optional>

// A request sent on the line: what it asks and, once it has ended, how.
struct SerialRequest {
    std::uint8_t command = 0;
    int portIndex = -1;                    // the 0-based port a per-port request names
    std::optional<RequestOutcome> outcome; // none while its answer is awaited

    // A reply answers the request when it carries its command and the request still waits.
    bool awaits(std::uint8_t replyType) const { return !outcome && replyType == command; }
};

// Process-wide state of the serial link: the frame buffers and what the polling cycle has
// queued. The port itself and its reader belong to the driver.
struct SerialLink {
    static constexpr int FrameSize = 60;

    std::array<std::uint8_t, FrameSize> txFrame{};
    std::array<std::uint8_t, FrameSize> rxFrame{};
    int sendLength = 0;
    unsigned expectedLength = 0;
    bool readerEnabled = false; // the reader may take a reply off the port
    SerialRequest request;      // the last request built, in flight once sent

    // Requests, served by sendNextRequest in this order of priority.
    bool pendingSystemWrite = false;
    bool pendingPortWrite = false;
    bool pendingStore = false;
    bool pendingStatusRead = false;
    bool pendingPortRead = false;
    bool pendingClassRead = false;

    bool resetPending = false;      // pendingSystemWrite sends Reset instead of the description
    bool storeToFlash = false;      // pendingStore saves (S) instead of restoring defaults (T)
    bool userCommandActive = false; // a write is under way: a missing reply is no failure
    bool legacyProbeTried = false;  // the older identification has been tried in this run
    int serialPortIndex = 0;        // 0-based port of the request in flight

    // Firmware download
    bool downloadActive = false;
    bool downloadMode = false;
    int downloadStep = 0;

    // Raises one request and clears the other five.
    void raiseOnly(bool SerialLink::*request)
    {
        clearRequests();
        this->*request = true;
    }
    void clearRequests()
    {
        pendingSystemWrite = pendingPortWrite = pendingStore = false;
        pendingStatusRead = pendingPortRead = pendingClassRead = false;
    }
    bool anyRequest() const
    {
        return pendingSystemWrite || pendingPortWrite || pendingStore || pendingStatusRead ||
               pendingPortRead || pendingClassRead;
    }
};
