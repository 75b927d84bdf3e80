#include "core/PortControl.h"

#include "core/ControlIds.h"
#include "core/Controls.h"
#include "core/DeviceState.h"

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
    if (ctx_.link)
        ctx_.link->sendPortControl(wishes());
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
    ctx_.state.editPort = port;
    editText_ = ctx_.controls.text(ctl::PortDescriptionBase + port);
    return editText_;
}

void PortControl::endDescriptionEdit(bool saved, const QString& text)
{
    DeviceState& s = ctx_.state;
    const int port = s.editPort;
    if (port < 1 || port > MaxPorts)
        return;
    // A dialog closed without saving keeps the text it was given.
    const QString result = saved ? text : editText_;
    if (saved)
        s.newPortDescription = result;
    if (result == editText_)
        return;

    ctx_.controls.setText(ctl::PortDescriptionBase + port, s.newPortDescription);
    if (ctx_.link)
        ctx_.link->sendPortDescription(port, wishes());
}
