#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <chrono>
#include <deque>
#include <functional>
#include <map>

// The session's timers. AgentReply is an SNMP agent's time to answer: net-snmp times it on the
// worker's thread, the clock only gives its length (realTime()).
enum class TimerId { IdentifyReply = 3, PollReply = 4, Download = 9, LoaderSilence = 10, AgentReply = 11 };

// One clock for every timer and every pause of the program, so that tests can run it faster.
//
// Timers are one-shot. Pauses are paced sequences of steps that keep the event loop (and the
// window) alive; while a sequence runs the clock is busy, and timer expiries and other work
// handed to whenIdle() wait until the sequence has ended, in the order they came.
//
// now() is virtual time in milliseconds: it moves to the exact deadline of each timer or step
// as it fires, so tests on a scaled clock still see the specified times. elapsed() is the same
// time running on between them, for what is stamped rather than timed (history samples).
class Clock : public QObject
{
    Q_OBJECT

public:
    struct Step {
        int pauseMs = 0;
        std::function<void()> action;
    };

    explicit Clock(double scale = 1.0, QObject* parent = nullptr);

    double scale() const { return scale_; }
    qint64 now() const { return now_; }
    // Virtual milliseconds since the clock was made, never behind now().
    qint64 elapsed() const;

    void start(TimerId timer, int ms);
    void stop(TimerId timer);
    bool isActive(TimerId timer) const;
    // The timer runs at least this long in real time, whatever the scale; now() still moves by
    // its own time. Tests give reply time-outs room for a loaded machine while pauses stay short.
    void setShortestRealTime(TimerId timer, int ms) { shortest_[timer] = ms; }
    // How long a wait of `ms` for this timer lasts in real time: scaled, not below its shortest
    // real time. For waits that a library times on the clock's behalf.
    std::chrono::milliseconds realTime(TimerId timer, std::chrono::milliseconds ms) const;

    // Appends steps to the running sequence (or starts one). Each step waits its pause, then
    // runs its action; a step's action may append further steps.
    void pace(std::initializer_list<Step> steps);
    void pace(Step step) { pace({std::move(step)}); }
    bool busy() const { return !steps_.empty() || stepRunning_; }
    // The step waiting runs now rather than at the end of its pause: an operator has cut the
    // wait short.
    void endPause();

    // Runs the work now when no sequence runs, otherwise right after the sequence ends.
    void whenIdle(std::function<void()> work);

    // Returns after a pause of ms, with the event loop running meanwhile: for programs that
    // talk to the device as a plain sequence of requests, without a window.
    void wait(int ms);

signals:
    void expired(TimerId timer);

private:
    struct Timer {
        QTimer* timer = nullptr;
        qint64 deadline = 0;
        quint64 generation = 0; // a deferred expiry of an older start is stale
    };

    int scaled(int ms) const;
    void runStep();
    void runNextStep();
    void flushDeferred();

    double scale_;
    qint64 now_ = 0;
    QElapsedTimer real_;
    std::map<TimerId, Timer> timers_;
    std::map<TimerId, int> shortest_;
    std::deque<Step> steps_;
    QTimer stepTimer_;
    qint64 stepDeadline_ = 0;
    bool stepRunning_ = false;
    std::deque<std::function<void()>> deferred_;
};
