#pragma once

#include "core/AppContext.h"
#include "core/MidspanLink.h"

#include <QString>

// What the port control page does with the operator's clicks, without the widgets: it reads
// the page's tick boxes and description fields by identifier and hands the wishes to the link
// the operator chose. Nothing here sends; the link carries the requests out at its next turn.
class PortControl
{
public:
    explicit PortControl(AppContext& context) : ctx_(context) {}

    // "Send Port Control": the enable wish of ports 1..portCount and the legacy wish.
    void sendPortControl();
    // Hands the wishes to the link the operator chose, as "Send Port Control" does with the
    // page's.
    void sendWishes(const PortWishes& wishes);
    // The page's wishes as its boxes stand.
    PortWishes wishes() const;
    // "Enable/Disable All Ports": ticks or unticks the boxes of ports 1..portCount.
    void setAllPorts();
    // "Detect Legacy Signature": takes the wish at once and shows it; sends nothing.
    void chooseLegacyDetection();

    // A port's "Edit": remembers the port and its current text, which the caller hands to the
    // description dialog. Returns that text.
    QString beginDescriptionEdit(int port);
    // The description dialog has ended, saved (with its text) or not. A changed text is shown
    // and handed to the link.
    void endDescriptionEdit(bool saved, const QString& text);
    // The port whose description is being edited, from its "Edit" on.
    int editedPort() const { return editPort_; }

private:
    AppContext& ctx_;
    int editPort_ = 0;
    QString editText_;
};
