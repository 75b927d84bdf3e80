#pragma once

#include <QObject>

#include <functional>

class QSocketNotifier;

// SIGTERM, SIGINT and SIGHUP (kill, Ctrl+C in a terminal, the end of a session) end the program as
// closing its window does, without asking. A signal handler may do next to nothing safely, so it
// only writes to a socket; the event loop, woken by the socket, runs `ending` and then leaves every
// event loop (open message boxes too), so that main returns and every destructor and clean-up at
// exit runs. A second signal while the program ends kills it as usual.
class ExitOnSignals : public QObject
{
public:
    explicit ExitOnSignals(std::function<void()> ending, QObject* parent = nullptr);
    ~ExitOnSignals() override;
    ExitOnSignals(const ExitOnSignals&) = delete;
    ExitOnSignals& operator=(const ExitOnSignals&) = delete;

private:
    void onSignal();

    std::function<void()> ending_;
    QSocketNotifier* notifier_ = nullptr;
};
