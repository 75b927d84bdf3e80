#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QObject>
#include <QString>
#include <QTimer>

#include <chrono>
#include <functional>
#include <memory>

class QSocketNotifier;

// The serial line: a pseudo-terminal whose slave is reachable through a symbolic link. Bytes read
// from it go to the receiver and replies leave, both at 19200 baud unless line pacing is off.
class PtyLink : public QObject
{
    Q_OBJECT

public:
    using Receiver = std::function<QByteArray(const QByteArray&)>;

    // 10 bits per byte at 19200 baud.
    static constexpr std::chrono::microseconds byteTime{520};
    // A pause this long inside a request ends it.
    static constexpr std::chrono::milliseconds interByteTimeout{50};

    PtyLink(const QString& linkPath, bool lineDelay, QObject* parent = nullptr);
    ~PtyLink() override;

    void setReceiver(Receiver receiver) { receiver_ = std::move(receiver); }
    void setIdleHandler(std::function<void()> handler) { idleHandler_ = std::move(handler); }
    void setReplyDelay(std::chrono::milliseconds delay) { replyDelay_ = delay; }
    // The next `replies` answers come this much later still.
    void slowNext(int replies, std::chrono::milliseconds extra)
    {
        slowReplies_ = replies;
        slowExtra_ = extra;
    }
    // Replies on time again; those still held back by a delay never come.
    void clearDelays();

    // Creates the pseudo-terminal and the link; false with errorString() set when it fails.
    bool open();
    // Closes the pseudo-terminal and removes the link, as when the adapter is pulled.
    void close();
    bool isOpen() const { return master_ >= 0; }
    QString errorString() const { return error_; }

private:
    // Bytes on their way over the line: the first is due at once, each further one a byte time
    // after the one before.
    class PacedBytes
    {
    public:
        void add(const QByteArray& bytes);
        QByteArray takeDue();
        bool isEmpty() const { return pending_.isEmpty(); }
        void clear() { pending_.clear(); }

    private:
        QByteArray pending_;
        QElapsedTimer clock_;
        qint64 done_ = 0;
    };

    void readAvailable();
    void receive(const QByteArray& bytes);
    void receiveDue();
    void send(const QByteArray& bytes);
    void writeDue();
    bool writeNow(const QByteArray& bytes);

    const QString linkPath_;
    const bool lineDelay_;
    int master_ = -1;
    int slaveKeeper_ = -1;
    std::unique_ptr<QSocketNotifier> notifier_;
    Receiver receiver_;
    std::function<void()> idleHandler_;
    std::chrono::milliseconds replyDelay_{0};
    int slowReplies_ = 0;
    std::chrono::milliseconds slowExtra_{0};
    QTimer idleTimer_;
    QTimer pacer_;
    PacedBytes outgoing_;
    QTimer inPacer_;
    PacedBytes incoming_;
    int generation_ = 0;
    QString error_;
};
