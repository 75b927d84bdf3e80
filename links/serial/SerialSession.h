#pragma once

#include "core/AppContext.h"
#include "links/serial/FirmwareDownload.h"
#include "links/serial/ReplyApplier.h"
#include "links/serial/SerialPortDriver.h"
#include "links/serial/SerialPortEnumerator.h"

#include <QHash>

#include <chrono>

// The serial side of the main window: the COM port list, the search, the polling session with
// its reply time-outs, and the operator's requests carried out between two polls.
//
// There is no command queue: six request flags stand for the frames that may go next, and
// sendNextRequest sends the highest raised one each time a reply has been handled, so exactly
// one request is outstanding while a session runs.
class SerialSession
{
public:
    static constexpr std::chrono::milliseconds ReplyTimeout{1000};

    explicit SerialSession(AppContext& context);

    // Fills the COM port list when the operator chooses the serial link.
    void scanComPorts();
    void startSerialSearch();
    void connectSerialDevice();
    void handleSerialReply();
    void sendNextRequest();
    void onIdentifyTimeout();
    void onPollTimeout();
    void onDownloadTimer();
    void onLoaderSilence();
    // "Firmware Download" pressed.
    void startDownload();

    // Every operator request restarts the reply time-out rather than stopping it: should the
    // reply to the request in flight never come, the time-out still sends what was queued.
    static void restartReplyTimeout(AppContext& context);

    // The operator's system requests; they only queue, the next reply sends them.
    void requestReset();
    void requestStore(bool toFlash);
    // A new system description was saved into DeviceState::systemDescription.
    void requestSystemDescription();

    // At exit: the reader stops and the port closes; nothing is sent.
    void close();

    SerialPortEnumerator& enumerator() { return enumerator_; }
    FirmwareDownload& download() { return download_; }

private:
    void openSerialPort();
    void transmit();
    void sendPortWrite();
    void finishReply();
    void rejectReply();
    void endSession(bool reportLost = true);
    void clearFrames();
    void onLineLost();

    AppContext& ctx_;
    SerialPortEnumerator enumerator_;
    SerialPortDriver driver_;
    ReplyApplier applier_;
    FirmwareDownload download_;
    QHash<QString, QString> portPaths_; // COM port list entry -> device path
};
