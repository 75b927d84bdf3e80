#pragma once

#include "core/DeviceState.h"
#include "core/RequestOutcome.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <array>
#include <cstdint>
#include <optional>
#include <vector>

// A request sent on the line: what it asks and, once it has ended, how.
struct SerialRequest {
    std::uint8_t command = 0;
    int portIndex = -1;                    // the 0-based port a per-port request names
    std::optional<RequestOutcome> outcome; // none while its answer is awaited

    // A reply answers the request when it carries its command and the request still waits.
    bool awaits(std::uint8_t replyType) const { return !outcome && replyType == command; }
};

// A request as it goes on the line: its bytes, all of which are sent, and how long its reply is.
struct SerialFrame {
    QByteArray bytes;
    unsigned replyLength = 0; // none: no reply is read
    SerialRequest request;
};

// What the session may send next, by rank: the operator's writes before the reads of the polling
// cycle. Each rank holds one request at most.
enum class SerialStep : std::uint8_t {
    SystemReset,
    SystemDescription,
    PortWrite,
    SaveToFlash,
    FactoryDefaults,
    StatusRead,
    PortRead,
    ClassRead,
};

struct QueuedRequest {
    SerialStep step = SerialStep::StatusRead;
    int port = 0; // the 0-based port of a per-port request
};

// The requests waiting to go out, highest rank first. A request whose rank is queued already takes
// its place: the device is asked each thing once, for the latest port.
class RequestQueue
{
public:
    void push(QueuedRequest request);
    // Drops everything queued: an operator's write goes out before any read.
    void replaceAll(QueuedRequest request);
    std::optional<QueuedRequest> take();
    bool holds(SerialStep step) const;
    // An operator's write waits: writes outrank every read.
    bool holdsWrite() const;
    bool empty() const { return items_.empty(); }
    void clear() { items_.clear(); }

private:
    std::vector<QueuedRequest> items_;
};

// An operator's write from its request to its end, confirmed or not: a missing reply meanwhile is
// no failure of the session but a write not confirmed.
struct OperatorWrite {
    QString unanswered;                   // what to say should it go unconfirmed
    QString systemDescription;            // what a system write sends
    bool legacyDetection = false;         // what a port write sends
    std::array<bool, MaxPorts> enabled{}; // by port - 1: what a port write sends
    bool cycleStep = false;               // the port write is a power-cycle's
};

// Steps of the loader dialogue; their numbers name them in messages, and 11 is the ENTR retry
// of step 2.
enum class DownloadStep {
    Idle = 0,
    AwaitEnterAck = 1,
    AwaitGreeting = 2,
    AwaitEraseStart = 3,
    AwaitEraseEnd = 4,
    AwaitReady = 5,
    AwaitProgramStart = 6,
    SendingLines = 7,
    Transferred = 8,
    Restarting = 9,
    AwaitEntrAnswer = 11,
};

// Process-wide state of the serial link: the COM port list, the session, the reply buffer and
// what the polling cycle has queued. The port itself and its reader belong to the driver.
struct SerialState {
    static constexpr int FrameSize = 60;

    QStringList comPorts; // the COM port list as shown, in its order
    int comChoice = 0;    // the entry last accepted; kept while a session runs
    QString comPortName;  // the entry the last search opened
    bool linked = false;  // a device chosen from the found-device list is being polled
    int failures = 0;     // replies missed or unusable in a row
    // The link is chosen and its last scan found a COM port: a search may start.
    bool comPortsFound = false;

    // The entry chosen in the COM port list; empty when none is.
    QString chosenComPort() const { return comPorts.value(comChoice); }

    std::array<std::uint8_t, FrameSize> rxFrame{};
    unsigned expectedLength = 0; // of the reply awaited; once read, how many bytes came
    bool readerEnabled = false;  // the reader may take a reply off the port
    SerialRequest request;       // the last request sent

    RequestQueue queue;                 // what goes out next, once the request in flight has ended
    std::optional<OperatorWrite> write; // the operator's write under way, queued to its end
    bool legacyProbeTried = false;      // the older identification has been tried in this run
    // By port - 1: enable, legacy and description have been taken from the device, once, so
    // that the operator's unsent choices survive the polls.
    std::array<bool, MaxPorts> portStaticRead{};

    // Firmware download
    bool downloadHoldsLine = false; // from the button press to its end: the polling cycle waits
    bool loaderDialogue = false;    // every reply, one per send, is the loader's
    DownloadStep downloadStep = DownloadStep::Idle;
};
