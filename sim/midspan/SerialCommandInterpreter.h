#pragma once

#include "BootLoader.h"
#include "MidspanModel.h"

#include <QByteArray>
#include <QList>

#include <cstdint>
#include <memory>
#include <optional>
#include <random>

// The midspan's serial command interpreter: bytes from the line in, reply bytes out. Frames carry
// no length, so each request's length comes from its command byte.
//
// Unknown command bytes are skipped one by one; a frame whose checksum fails is dropped whole;
// requests for a port the device does not have are not answered; a quiet line (lineIdle) ends an
// unfinished frame. None of these gets an answer.
class SerialCommandInterpreter
{
public:
    SerialCommandInterpreter(MidspanModel& model, bool loaderWantsEntr);

    QByteArray receive(const QByteArray& bytes);
    void lineIdle();

    // Received frames and discarded bytes, each entry as the device delimited it.
    QList<QByteArray> frames() const { return frames_; }
    void clearFrames() { frames_.clear(); }

    void setSilent(bool silent) { silent_ = silent; }
    void corruptNext(int replies) { corruptReplies_ = replies; }
    // The next replies go out with only their first half, or twice in a row.
    void cutNext(int replies) { cutReplies_ = replies; }
    void doubleNext(int replies) { doubleReplies_ = replies; }
    // The next replies go out as as many zero bytes, as from a midspan that starts up.
    void zeroNext(int replies) { zeroReplies_ = replies; }
    // The next port status or classification replies answer for the following port.
    void misrouteNext(int replies) { misroutedReplies_ = replies; }
    // What fills the bytes a reply leaves to the device: zeros, random bytes, or zeros with the
    // port index in byte 1 of the port replies.
    enum class IgnoredBytes { Zero, Random, PortIndex };
    void setIgnoredBytes(IgnoredBytes fill) { ignoredBytes_ = fill; }
    // Requests with this command byte are neither carried out nor answered; none when empty.
    void setUnanswered(std::optional<std::uint8_t> command) { unanswered_ = command; }
    bool inLoader() const { return loader_ != nullptr; }
    // Applies to the loader from the next EnterDownload on.
    void setLoaderFault(BootLoader::Fault fault) { loaderFault_ = fault; }
    // Every fault above undone; the fill of ignored bytes stays, being no fault.
    void clearFaults();

private:
    QByteArray takeFrame();
    QByteArray execute(const QByteArray& frame);
    QByteArray reply(QByteArray body);
    // A reply of `size` bytes with its ignored bytes filled; `port` for byte 1 of a port reply.
    QByteArray body(std::uint8_t command, qsizetype size, int port = -1);
    int answeredPort(int index);
    void flushDiscarded();
    void restart();

    MidspanModel& model_;
    const bool loaderWantsEntr_;
    QByteArray buffer_;
    QByteArray discarded_;
    QList<QByteArray> frames_;
    std::unique_ptr<BootLoader> loader_;
    int restartsSeen_;
    int corruptReplies_ = 0;
    int cutReplies_ = 0;
    int doubleReplies_ = 0;
    int zeroReplies_ = 0;
    int misroutedReplies_ = 0;
    bool silent_ = false;
    IgnoredBytes ignoredBytes_ = IgnoredBytes::Zero;
    std::optional<std::uint8_t> unanswered_;
    std::mt19937 random_{28};
    BootLoader::Fault loaderFault_;
};
