#include "core/SpanmonCore.h"

namespace
{

std::vector<MidspanLink*> borrowed(const std::vector<std::unique_ptr<MidspanLink>>& links)
{
    std::vector<MidspanLink*> result;
    for (const auto& link : links)
        result.push_back(link.get());
    return result;
}

} // namespace

SpanmonCore::SpanmonCore(Controls& controls, Clock& clock, OperatorFeedback& feedback,
                         const LinkFactory& makeLinks)
    : view_(state_, controls),
      history_(clock), context_{state_, controls, view_, clock, feedback, nullptr, nullptr, {}, &history_},
      links_(makeLinks(context_)), controller_(std::make_unique<MainController>(context_, borrowed(links_)))
{
    history_.describeFrom(state_);
    view_.watch(history_);
}

SpanmonCore::~SpanmonCore()
{
    // A link's worker may still hand a result over: the links go before the record.
    controller_.reset();
    links_.clear();
}
