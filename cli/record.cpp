#include "cli/record.h"


namespace Cli {

namespace {

struct FieldSlots
{
    int avatar;
    int author;
    int description;
    int date;
};

FieldSlots fieldSlots(Extract::Service service)
{
    if (service == Extract::Service::Kuaishou)
        return {8, 12, 10, 6};
    return {6, 8, 10, 12};
}

} // namespace

Record recordFromResult(const QString &address, Extract::Service service, const Extract::Result &result)
{
    const FieldSlots at = fieldSlots(service);
    Record r;
    r.address = address;
    r.service = service;
    r.ok = result.found();
    r.video = result.slot[2];
    // Only what the road found worth loading: a failed cut leaves stems such as "http://mvimg".
    r.cover = result.display.coverAddress.isEmpty() ? QString() : result.slot[4];
    r.avatar = result.display.avatarAddress.isEmpty() ? QString() : result.slot[at.avatar];
    r.author = result.slot[at.author];
    r.description = result.slot[at.description];
    r.date = result.slot[at.date];
    r.verified = result.display.badge >= 0;
    if (!r.ok)
        r.error = result.status.isEmpty() || result.status == Extract::statusDone ? Extract::statusNoVideo
                                                                                  : result.status;
    return r;
}

Record recordFromRoad(const QString &text, const Extract::RoadResult &road)
{
    Record r;
    if (road.started && road.service) {
        r = recordFromResult(text, *road.service, road.result);
        r.archived = road.archived;
        return r;
    }
    r.address = text;
    r.service = road.service;
    r.error = road.result.status.isEmpty() ? Extract::statusNoVideo : road.result.status;
    return r;
}

Record extractAddress(const QString &address, std::optional<Extract::Service> site, const Config::Settings &cfg)
{
    return recordFromRoad(address, Extract::runRoad(address, site, cfg, Web::networkFetch()));
}

} // namespace Cli
