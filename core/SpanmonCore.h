#pragma once

#include "core/AppContext.h"
#include "core/DeviceState.h"
#include "core/DeviceView.h"
#include "core/MainController.h"
#include "core/MidspanLink.h"
#include "core/PowerHistory.h"

#include <functional>
#include <memory>
#include <vector>

// The program without its window: the device record, the links, the controller, the power
// history and the window operations on the controls. The window (or a test, a fuzz target, a benchmark with
// fake controls) hands in the controls, the clock and the operator; the links come from a factory, in the
// order of the link choice list, so that this layer never knows them.
class SpanmonCore
{
public:
    using LinkFactory = std::function<std::vector<std::unique_ptr<MidspanLink>>(AppContext& context)>;

    SpanmonCore(Controls& controls, Clock& clock, OperatorFeedback& feedback, const LinkFactory& makeLinks);

    // One link alone, made from the context, for driving it without the other and without a window.
    template <class Link> static LinkFactory alone()
    {
        return [](AppContext& context) {
            std::vector<std::unique_ptr<MidspanLink>> links;
            links.push_back(std::make_unique<Link>(context));
            return links;
        };
    }
    ~SpanmonCore();
    SpanmonCore(const SpanmonCore&) = delete;
    SpanmonCore& operator=(const SpanmonCore&) = delete;

    // The controls are in place: the initial state of the controls and the record.
    void start() { controller_->initialise(); }

    DeviceState& state() { return state_; }
    DeviceView& view() { return view_; }
    AppContext& context() { return context_; }
    MainController& controller() { return *controller_; }
    // A link by its place in the link choice list.
    MidspanLink& link(int index) { return *links_.at(std::size_t(index)); }
    PowerHistory& history() { return history_; }

private:
    DeviceState state_;
    DeviceView view_;
    PowerHistory history_;
    AppContext context_;
    std::vector<std::unique_ptr<MidspanLink>> links_;
    std::unique_ptr<MainController> controller_;
};
