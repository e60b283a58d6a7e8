#include "cli/record.h"

namespace Cli {

Record refusedRecord(const QString &address, const QString &error)
{
    Record r;
    r.address = address;
    r.outcome = Extract::Outcome::Refused;
    r.error = error;
    return r;
}

Record recordFromRoad(const QString &text, const Extract::RoadResult &road)
{
    Record r;
    r.address = text;
    r.service = road.service;
    r.outcome = road.outcome();
    r.info = road.info();
    if (!r.ok()) {
        const QString &status = road.result.status;
        r.error = road.outcome() == Extract::Outcome::UnknownService ? errorUnknownService
                  : status.isEmpty()                                ? Extract::statusNoVideo
                                                                    : status;
    }
    return r;
}

Record extractAddress(const QString &address, std::optional<Extract::Service> site, const Config::Settings &cfg,
                      const Web::CancelToken *cancel)
{
    Extract::RoadHooks hooks;
    hooks.cancel = cancel;
    return recordFromRoad(address, Extract::runRoad(address, site, cfg, Web::networkFetch(), hooks));
}

} // namespace Cli
