#include "core/Clock.h"

#include <QEventLoop>

#include <algorithm>
#include <cmath>

Clock::Clock(double scale, QObject* parent) : QObject(parent), scale_(scale)
{
    real_.start();
    stepTimer_.setSingleShot(true);
    stepTimer_.setTimerType(Qt::PreciseTimer);
    connect(&stepTimer_, &QTimer::timeout, this, &Clock::runStep);
}

void Clock::runStep()
{
    now_ = std::max(now_, stepDeadline_);
    Step step = std::move(steps_.front());
    steps_.pop_front();
    stepRunning_ = true;
    if (step.action)
        step.action();
    stepRunning_ = false;
    runNextStep();
}

void Clock::endPause()
{
    if (!stepTimer_.isActive())
        return;
    stepTimer_.stop();
    stepDeadline_ = std::min(stepDeadline_, elapsed());
    runStep();
}

qint64 Clock::elapsed() const
{
    return std::max(now_, qint64(std::llround(double(real_.nsecsElapsed()) / 1e6 / scale_)));
}

int Clock::scaled(int ms) const
{
    return static_cast<int>(std::lround(ms * scale_));
}

void Clock::start(TimerId id, int ms)
{
    Timer& t = timers_[id];
    if (!t.timer) {
        t.timer = new QTimer(this);
        t.timer->setSingleShot(true);
        t.timer->setTimerType(Qt::PreciseTimer);
        connect(t.timer, &QTimer::timeout, this, [this, id] {
            whenIdle([this, id, generation = timers_[id].generation] {
                const Timer& fired = timers_[id];
                if (fired.generation != generation)
                    return;
                now_ = std::max(now_, fired.deadline);
                emit expired(id);
            });
        });
    }
    ++t.generation;
    t.deadline = now_ + ms;
    t.timer->start(realTime(id, std::chrono::milliseconds(ms)));
}

std::chrono::milliseconds Clock::realTime(TimerId id, std::chrono::milliseconds ms) const
{
    const auto shortest = shortest_.find(id);
    return std::chrono::milliseconds(
        std::max(scaled(int(ms.count())), shortest == shortest_.end() ? 0 : shortest->second));
}

void Clock::stop(TimerId id)
{
    auto it = timers_.find(id);
    if (it != timers_.end()) {
        ++it->second.generation;
        it->second.timer->stop();
    }
}

bool Clock::isActive(TimerId id) const
{
    auto it = timers_.find(id);
    return it != timers_.end() && it->second.timer->isActive();
}

void Clock::pace(std::initializer_list<Step> steps)
{
    const bool wasIdle = !busy();
    for (const Step& s : steps)
        steps_.push_back(s);
    if (wasIdle) {
        stepDeadline_ = now_;
        runNextStep();
    }
}

void Clock::runNextStep()
{
    if (stepRunning_)
        return; // the step that is running continues the sequence when it returns
    if (steps_.empty()) {
        flushDeferred();
        return;
    }
    stepDeadline_ += steps_.front().pauseMs;
    stepTimer_.start(scaled(steps_.front().pauseMs));
}

void Clock::whenIdle(std::function<void()> work)
{
    if (busy())
        deferred_.push_back(std::move(work));
    else
        work();
}

void Clock::flushDeferred()
{
    while (!busy() && !deferred_.empty()) {
        auto work = std::move(deferred_.front());
        deferred_.pop_front();
        work();
    }
}

void Clock::wait(int ms)
{
    QEventLoop loop;
    pace({ms, [&loop] { loop.quit(); }});
    loop.exec();
}
