#pragma once

#include "core/AppContext.h"
#include "core/DeviceState.h"
#include "core/PassObserver.h"
#include "core/PortControl.h"
#include "core/PowerSamples.h"

#include <QString>

#include <array>
#include <bitset>
#include <vector>

// Power-cycling ports: switches the chosen ports off, waits the off time on the program's
// clock, and switches them on again, through the port writes "Send Port Control" makes on the
// link in use. The controls stay locked from the first write to the end.
//
// Each write is followed by a look at what the device then reports: a cycle step ends once the
// link has carried out its write and a pass has read every cycled port again. So the wait
// starts only with the ports seen off, and a port the device leaves off at the end is reported.
// One cycle at a time, and never retried; a session that ends meanwhile ends the cycle quietly
// (its loss is reported where every loss is).
class PowerCycle : public PassObserver
{
public:
    enum class Step { Idle, SwitchingOff, Off, SwitchingOn };

    static constexpr int MinOffSeconds = 1;
    static constexpr int MaxOffSeconds = 60;
    static constexpr int DefaultOffSeconds = 5;

    explicit PowerCycle(AppContext& context) : ctx_(context), ports_(context) {}

    // The ports that may be cycled now: those of the running session the device reports on.
    std::vector<int> offeredPorts() const;
    // Starts a cycle of the ports (each offered) with the off time (MinOffSeconds..MaxOffSeconds).
    // Returns false, and does nothing, when a cycle runs, no session runs or a port is not offered.
    bool start(const std::vector<int>& ports, int offSeconds);

    Step step() const { return step_; }
    // The operator's Cancel during the off time: the ports go on again at once.
    void cancel();
    // The ports a running cycle has switched off or is switching; none when no cycle runs.
    std::vector<int> portsOff() const;
    // At exit: switches the cycled ports on again at once, through the link. What the operator
    // is told of it; empty when no cycle ran.
    QString endAtExit(bool& failed);

    void portRead(const PassReading& reading) override;
    void displayCleared(bool sessionEnded) override;

private:
    bool sessionRuns() const;
    // The link in use has not yet carried out the port write queued last.
    bool writeUnderway() const;
    bool portOn(int port) const;
    // Queues the ports' states from before the cycle, with the cycled ports off or on.
    void writePorts(bool cycledOn);
    void allPortsRead();
    void countDown(int secondsLeft);
    void hideCountDown();
    void end(const QString& problem);
    void recordSteps(OperatorAction::Kind kind);
    QString offText(int secondsLeft) const;

    AppContext& ctx_;
    PortControl ports_;
    Step step_ = Step::Idle;
    std::vector<int> cycled_;
    std::array<bool, MaxPorts> before_{}; // by port - 1: on when the cycle started
    std::bitset<MaxPorts + 1> read_;      // cycled ports read since the write
    std::vector<int> notOff_;             // cycled ports the device did not switch off
    int offSeconds_ = DefaultOffSeconds;
    bool cancelled_ = false; // the off time is cut short
};
