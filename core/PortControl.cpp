#include "core/PortControl.h"

#include "core/ControlIds.h"
#include "core/Controls.h"
#include "core/DeviceState.h"
#include "core/PowerHistory.h"

PortWishes PortControl::wishes() const
{
    PortWishes wishes;
    for (int k = 1; k <= ctx_.state.portCount; ++k)
        wishes.enabled[k - 1] = ctx_.controls.isChecked(ctl::PortEnableBase + k);
    wishes.legacyDetection = ctx_.controls.isChecked(ctl::LegacyDetect);
    return wishes;
}

void PortControl::sendPortControl()
{
    sendWishes(wishes());
}

void PortControl::sendWishes(const PortWishes& wishes)
{
    if (!ctx_.link)
        return;
    ctx_.link->sendPortControl(wishes);
    // A power-cycle records its own steps.
    if (!ctx_.history || wishes.cycleStep)
        return;
    constexpr int AdminOn = 2; // DeviceState::portAdminState of an enabled port, on either link
    for (int port = 1; port <= ctx_.state.portCount; ++port) {
        const bool on = wishes.enabled[std::size_t(port - 1)];
        if (on != (ctx_.state.portAdminState[std::size_t(port)] == AdminOn))
            ctx_.history->record(on ? OperatorAction::Kind::PortOn : OperatorAction::Kind::PortOff, port);
    }
}

void PortControl::setAllPorts()
{
    const bool all = ctx_.controls.isChecked(ctl::AllPorts);
    for (int k = 1; k <= ctx_.state.portCount; ++k)
        ctx_.controls.setChecked(ctl::PortEnableBase + k, all);
}

void PortControl::chooseLegacyDetection()
{
    const bool legacy = ctx_.controls.isChecked(ctl::LegacyDetect);
    ctx_.state.legacyDetect = legacy ? 1 : 0;
    ctx_.controls.setVisible(ctl::LegacyEnabledNote, legacy);
}

QString PortControl::beginDescriptionEdit(int port)
{
    editPort_ = port;
    editText_ = ctx_.controls.text(ctl::PortDescriptionBase + port);
    return editText_;
}

void PortControl::endDescriptionEdit(bool saved, const QString& text)
{
    const int port = editPort_;
    if (port < 1 || port > MaxPorts)
        return;
    // A dialog closed without saving keeps the text it was given.
    const QString result = saved ? text : editText_;
    if (result == editText_)
        return;

    ctx_.controls.setText(ctl::PortDescriptionBase + port, result);
    if (ctx_.link)
        ctx_.link->sendPortDescription(port, result, wishes());
}
