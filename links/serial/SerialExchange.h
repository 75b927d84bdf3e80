#pragma once

#include "links/serial/SerialPortDriver.h"
#include "links/serial/SerialState.h"

#include <chrono>

class Clock;

// Request and reply on a serial port, for programs without a window: sends a frame and returns once the whole
// reply is in rxFrame or the reply time-out has passed, with the event loop running meanwhile. The receive
// queue is purged before each request, and after a reply has not come in time the line is left to go quiet
// before another request, so that a late answer cannot pass for the next request's.
class SerialExchange
{
public:
    enum class Result { Reply, NoAnswer, BadReply };

    explicit SerialExchange(Clock& clock);

    bool open(const QString& devicePath);
    QString errorText() const { return driver_.errorString(); }

    // A reply counts when its checksum holds and it carries the request's command byte.
    Result exchange(const SerialFrame& frame, std::chrono::milliseconds timeout);

    const SerialState& link() const { return link_; }

private:
    SerialState link_;
    Clock& clock_;
    SerialPortDriver driver_;
    QByteArray givenUp_; // the last request whose reply did not come in time; empty once quiet
};
