#pragma once

#include <QObject>

#include <functional>

class QSocketNotifier;

// While one lives, SIGTERM, SIGINT and SIGHUP (kill, Ctrl+C in a terminal, the end of a session)
// do not end the program at once: a signal handler may do next to nothing safely, so it only
// writes to a socket, and the event loop, woken by the socket, hands the signal to `caught`.
// From then on the signals have their default action again, so a second one ends the program
// as usual. One at a time per program.
class SignalNotice : public QObject
{
public:
    explicit SignalNotice(std::function<void(int signal)> caught, QObject* parent = nullptr);
    ~SignalNotice() override;
    SignalNotice(const SignalNotice&) = delete;
    SignalNotice& operator=(const SignalNotice&) = delete;

    // The signal handed over; 0 while none has come.
    int caught() const { return caught_; }
    // "SIGTERM", "SIGINT" or "SIGHUP".
    static QString name(int signal);

private:
    void onSignal();

    std::function<void(int)> handOver_;
    QSocketNotifier* notifier_ = nullptr;
    int caught_ = 0;
};
