#include "app/Spanmon.h"

#include "core/Clock.h"
#include "links/snmp/SnmpClient.h"
#include "links/snmp/SnmpWorker.h"

SpanmonCore::LinkFactory Spanmon::links(Clock& clock, NetworkLink::WorkerFactory makeWorker)
{
    if (!makeWorker) {
        makeWorker = [&clock](QObject* context, NetworkWorker::ResultHandler handler) {
            initSnmpLibrary();
            // The worker's time-outs and its pause after a set run on the link's clock.
            return std::make_unique<SnmpWorker>(context, std::move(handler), &clock);
        };
    }
    return [makeWorker](AppContext& context) {
        std::vector<std::unique_ptr<MidspanLink>> links;
        links.push_back(std::make_unique<NetworkLink>(context, makeWorker));
        links.push_back(std::make_unique<SerialLink>(context));
        return links;
    };
}

Spanmon::Spanmon(Clock& clock, OperatorFeedback& feedback, NetworkLink::WorkerFactory makeWorker)
    : controls_(lamps_), core_(controls_, clock, feedback, links(clock, std::move(makeWorker))),
      window_(core_, controls_, lamps_)
{
}
