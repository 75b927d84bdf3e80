#pragma once

#include "core/AppContext.h"
#include "core/MidspanLink.h"
#include "core/RequestOutcome.h"
#include "links/serial/FirmwareDownload.h"
#include "links/serial/ReplyApplier.h"
#include "links/serial/SerialPortDriver.h"
#include "links/serial/SerialPortEnumerator.h"
#include "links/serial/SerialState.h"

#include <QDeadlineTimer>
#include <QHash>
#include <QTimer>

#include <chrono>
#include <cstdint>

enum class TimerId;

// The serial link: the COM port list, the search, the polling session with its reply
// time-outs, the operator's requests carried out between two polls and the firmware download.
//
// Handlers queue request values; sendNextRequest sends the highest-ranked one each time a reply
// has been handled, so exactly one request is outstanding while a session runs.
class SerialLink : public MidspanLink
{
public:
    static constexpr std::chrono::milliseconds ReplyTimeout{1000};

    explicit SerialLink(AppContext& context);

    QString name() const override { return QStringLiteral("USB/soft RS232"); }
    void choose() override;
    void leave() override { link_.comPortsFound = false; }
    void search() override { startSerialSearch(); }
    void connectEntry(int) override { connectSerialDevice(); }
    bool sessionRuns() const override;
    void chooseComPort(int row) override;
    bool holdsLine() const override { return link_.downloadHoldsLine; }
    void reset() override;
    void store(StoreTarget target) override;
    void sendSystemDescription(const QString& text) override;
    void sendPortControl(const PortWishes& wishes) override;
    void sendPortDescription(int port, const QString& text, const PortWishes& wishes) override;
    bool writeUnderway() const override { return link_.write.has_value(); }
    bool hasFirmwareDownload() const override { return true; }
    bool loaderWaits() const override;
    void startFirmwareDownload() override;
    // The session ends, and the ports are switched on by plain requests on the line.
    std::vector<int> switchOnNow(const std::vector<int>& ports) override;
    // The reader stops and the port closes; nothing is sent.
    void close() override;

    // Fills the COM port list when the operator chooses the serial link.
    void scanComPorts();
    void startSerialSearch();
    void connectSerialDevice();
    void handleSerialReply();
    void sendNextRequest();

    SerialState& link() { return link_; }
    SerialPortEnumerator& enumerator() { return enumerator_; }
    FirmwareDownload& download() { return download_; }

private:
    void onTimer(TimerId timer);
    void onIdentifyTimeout();
    void onIdentity(std::uint8_t type);
    void onAnswer(std::uint8_t type);
    void nextPortRead(SerialStep again, SerialStep after);
    void onAcknowledge(std::uint8_t type);
    // An operator's write is queued ahead of the reads: a missing reply is then no failure of the
    // session but a write not confirmed, told with `unanswered`.
    void beginWrite(OperatorWrite write, QueuedRequest request);
    void endWrite(RequestOutcome outcome);
    void onPollTimeout();
    // Every operator request restarts the reply time-out rather than stopping it: should the
    // reply to the request in flight never come, the time-out still sends what was queued.
    void restartReplyTimeout();
    // The page's enable wishes go out with the port settings of every port; `name` names the
    // write in a message about it.
    void queuePortWrite(const QString& name, const PortWishes& wishes);
    void openSerialPort();
    // Sends the frame, arms the reader and starts the reply time-out.
    void transmit(const SerialFrame& frame, bool purge = true);
    void sendPortWrite(int index);
    void finishReply();
    void rejectReply();
    void endSession(bool reportLost = true);
    void clearFrames();
    void onLineLost();

    AppContext& ctx_;
    SerialState link_;
    SerialPortEnumerator enumerator_;
    SerialPortDriver driver_;
    ReplyApplier applier_;
    FirmwareDownload download_;
    QHash<QString, QString> portPaths_; // COM port list entry -> device path
    QString linePath_;                  // the device path of the port opened last
    QTimer lateWait_;                   // paces the wait for an abandoned reply before a send
    QDeadlineTimer lateWaitUntil_;      // how long that wait may last
    bool lateWaiting_ = false;          // a send waits for an abandoned reply
    SerialFrame held_;                  // the frame that waits
    QString untold_;                    // a write given up, told once the device answers again
};
