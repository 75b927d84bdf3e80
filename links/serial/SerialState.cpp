#include "links/serial/SerialState.h"

#include <algorithm>

namespace
{

// Reset and description share the system write, flash and defaults the store.
int rank(SerialStep step)
{
    switch (step) {
    case SerialStep::SystemReset:
    case SerialStep::SystemDescription:
        return 0;
    case SerialStep::PortWrite:
        return 1;
    case SerialStep::SaveToFlash:
    case SerialStep::FactoryDefaults:
        return 2;
    case SerialStep::StatusRead:
        return 3;
    case SerialStep::PortRead:
        return 4;
    case SerialStep::ClassRead:
        return 5;
    }
    return 5;
}

} // namespace

void RequestQueue::push(QueuedRequest request)
{
    const int r = rank(request.step);
    const auto at = std::ranges::find_if(items_, [r](const QueuedRequest& q) { return rank(q.step) >= r; });
    if (at != items_.end() && rank(at->step) == r)
        *at = request;
    else
        items_.insert(at, request);
}

void RequestQueue::replaceAll(QueuedRequest request)
{
    items_.assign(1, request);
}

std::optional<QueuedRequest> RequestQueue::take()
{
    if (items_.empty())
        return std::nullopt;
    const QueuedRequest first = items_.front();
    items_.erase(items_.begin());
    return first;
}

bool RequestQueue::holds(SerialStep step) const
{
    return std::ranges::any_of(items_, [step](const QueuedRequest& q) { return q.step == step; });
}

bool RequestQueue::holdsWrite() const
{
    return !items_.empty() && rank(items_.front().step) < rank(SerialStep::StatusRead);
}
