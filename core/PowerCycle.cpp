#include "core/PowerCycle.h"

#include "core/Clock.h"
#include "core/ControlIds.h"
#include "core/Controls.h"
#include "core/DeviceView.h"
#include "core/DisplayFormats.h"
#include "core/MidspanLink.h"
#include "core/OperatorFeedback.h"
#include "core/PowerHistory.h"

#include <algorithm>

namespace
{

constexpr int PortOn = 2; // DeviceState::portAdminState of an enabled port, on either link

QString ports(const std::vector<int>& list)
{
    return (list.size() == 1 ? QStringLiteral("Port ") : QStringLiteral("Ports ")) + portList(list);
}

} // namespace

bool PowerCycle::sessionRuns() const
{
    return ctx_.link && ctx_.link->sessionRuns();
}

bool PowerCycle::portOn(int port) const
{
    return ctx_.state.portAdminState[std::size_t(port)] == PortOn;
}

std::vector<int> PowerCycle::offeredPorts() const
{
    std::vector<int> offered;
    if (!sessionRuns())
        return offered;
    for (int port = 1; port <= ctx_.state.portCount; ++port)
        if (portOn(port))
            offered.push_back(port);
    return offered;
}

bool PowerCycle::start(const std::vector<int>& ports, int offSeconds)
{
    const std::vector<int> offered = offeredPorts();
    const bool allOffered = std::all_of(ports.begin(), ports.end(), [&](int port) {
        return std::find(offered.begin(), offered.end(), port) != offered.end();
    });
    if (step_ != Step::Idle || ports.empty() || !allOffered)
        return false;
    cycled_ = ports;
    std::sort(cycled_.begin(), cycled_.end());
    cycled_.erase(std::unique(cycled_.begin(), cycled_.end()), cycled_.end());
    offSeconds_ = std::clamp(offSeconds, MinOffSeconds, MaxOffSeconds);
    for (int port = 1; port <= MaxPorts; ++port)
        before_[std::size_t(port - 1)] = port <= ctx_.state.portCount && portOn(port);
    notOff_.clear();
    cancelled_ = false;
    ctx_.view.lockControls();
    ctx_.view.holdLocked(true);
    step_ = Step::SwitchingOff;
    recordSteps(OperatorAction::Kind::CycleStart);
    writePorts(false);
    return true;
}

void PowerCycle::writePorts(bool cycledOn)
{
    // A cycle step keeps legacy detection as the device has it: an unsent choice on the page is
    // not the cycle's.
    PortWishes wishes;
    wishes.legacyDetection = ctx_.state.deviceLegacyDetect != 0;
    wishes.cycleStep = true;
    wishes.enabled = before_;
    for (int port : cycled_)
        wishes.enabled[std::size_t(port - 1)] = cycledOn;
    read_.reset();
    ports_.sendWishes(wishes);
}

bool PowerCycle::writeUnderway() const
{
    return ctx_.link && ctx_.link->writeUnderway();
}

void PowerCycle::portRead(const PassReading& reading)
{
    if ((step_ != Step::SwitchingOff && step_ != Step::SwitchingOn) || writeUnderway())
        return;
    if (std::find(cycled_.begin(), cycled_.end(), reading.port) == cycled_.end())
        return;
    read_.set(std::size_t(reading.port));
    const bool all = std::all_of(cycled_.begin(), cycled_.end(),
                                 [this](int port) { return read_.test(std::size_t(port)); });
    if (all)
        allPortsRead();
}

void PowerCycle::allPortsRead()
{
    if (step_ == Step::SwitchingOff) {
        for (int port : cycled_)
            if (portOn(port))
                notOff_.push_back(port);
        if (notOff_.size() == cycled_.size()) {
            end(QStringLiteral("%1 could not be power-cycled: the device did not switch %2 off.")
                    .arg(ports(cycled_),
                         cycled_.size() == 1 ? QStringLiteral("it") : QStringLiteral("them")));
            return;
        }
        step_ = Step::Off;
        ctx_.controls.setVisible(ctl::ProgressCancel, true);
        ctx_.view.holdProgress(true);
        ctx_.view.showProgress(offText(offSeconds_));
        ctx_.view.setProgress(offSeconds_, 0);
        countDown(offSeconds_);
        return;
    }
    std::vector<int> stayedOff;
    for (int port : cycled_)
        if (!portOn(port))
            stayedOff.push_back(port);
    QStringList problems;
    if (!stayedOff.empty())
        problems << QStringLiteral("%1 stayed off: the device did not switch %2 on again.")
                        .arg(ports(stayedOff),
                             stayedOff.size() == 1 ? QStringLiteral("it") : QStringLiteral("them"));
    if (!notOff_.empty())
        problems << QStringLiteral("%1 stayed on: the device did not switch %2 off.")
                        .arg(ports(notOff_),
                             notOff_.size() == 1 ? QStringLiteral("it") : QStringLiteral("them"));
    end(problems.join(u'\n'));
}

QString PowerCycle::offText(int secondsLeft) const
{
    return QStringLiteral("%1 off, on again in %2 s").arg(ports(cycled_)).arg(secondsLeft);
}

void PowerCycle::countDown(int secondsLeft)
{
    ctx_.clock.pace({1000, [this, secondsLeft] {
                         // Ended at exit or with the session: the count-down lets the clock go, and
                         // with it the replies the link waits for.
                         if (step_ != Step::Off) {
                             hideCountDown();
                             return;
                         }
                         const int left = cancelled_ ? 0 : secondsLeft - 1;
                         if (left > 0) {
                             ctx_.view.showProgress(offText(left));
                             ctx_.view.setProgressPosition(offSeconds_ - left);
                             countDown(left);
                             return;
                         }
                         hideCountDown();
                         step_ = Step::SwitchingOn;
                         writePorts(true);
                     }});
}

void PowerCycle::hideCountDown()
{
    ctx_.view.holdProgress(false);
    ctx_.view.hideProgress();
}

void PowerCycle::recordSteps(OperatorAction::Kind kind)
{
    if (ctx_.history)
        for (int port : cycled_)
            ctx_.history->record(kind, port);
}

void PowerCycle::end(const QString& problem)
{
    step_ = Step::Idle;
    recordSteps(OperatorAction::Kind::CycleEnd);
    ctx_.view.holdLocked(false);
    ctx_.view.unlockControls();
    if (!problem.isEmpty())
        ctx_.feedback.error(problem);
}

void PowerCycle::cancel()
{
    if (step_ != Step::Off || cancelled_)
        return;
    cancelled_ = true;
    ctx_.clock.endPause();
}

std::vector<int> PowerCycle::portsOff() const
{
    return step_ == Step::Idle ? std::vector<int>{} : cycled_;
}

QString PowerCycle::endAtExit(bool& failed)
{
    const std::vector<int> off = portsOff();
    if (off.empty())
        return {};
    step_ = Step::Idle;
    recordSteps(OperatorAction::Kind::CycleEnd);
    const std::vector<int> stayedOff = ctx_.link ? ctx_.link->switchOnNow(off) : off;
    failed = !stayedOff.empty();
    if (failed)
        return QStringLiteral(
                   "%1 could not be switched back on after the interrupted power-cycle: the device did not "
                   "answer. Please switch %2 on on the port page.")
            .arg(ports(stayedOff), stayedOff.size() == 1 ? QStringLiteral("it") : QStringLiteral("them"));
    return QStringLiteral("%1 switched back on: the power-cycle was interrupted.").arg(ports(off));
}

void PowerCycle::displayCleared(bool sessionEnded)
{
    if (!sessionEnded || step_ == Step::Idle)
        return;
    // The loss has been reported and the controls locked for a new search; they stay so.
    step_ = Step::Idle;
    ctx_.view.holdProgress(false);
    ctx_.view.holdLocked(false);
}
