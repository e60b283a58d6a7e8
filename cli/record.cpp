#include "cli/record.h"

#include "web/getbody.h"

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
    r.cover = result.slot[4];
    r.avatar = result.slot[at.avatar];
    r.author = result.slot[at.author];
    r.description = result.slot[at.description];
    r.date = result.slot[at.date];
    r.verified = result.display.badge >= 0;
    if (!r.ok)
        r.error = result.status.isEmpty() || result.status == Extract::statusDone ? Extract::statusNoVideo
                                                                                  : result.status;
    return r;
}

Record extractAddress(const QString &address, std::optional<Extract::Service> site, const Config::Settings &cfg)
{
    Record r;
    r.address = address;
    if (site) {
        r.service = site;
        if (std::optional<QString> refused = Extract::checkAddress(*site, address, cfg)) {
            r.error = *refused;
            return r;
        }
    } else {
        r.service = Extract::detectService(address, cfg);
        if (!r.service) {
            r.error = errorUnknownService;
            return r;
        }
    }

    const Web::BodyResult page = Web::GetBody(address);
    if (!page.text || page.text->isEmpty()) {
        r.error = Extract::statusFetchFailed;
        return r;
    }
    const Extract::FetchFn fetch = [](const QString &url) { return Web::GetBody(url).text; };
    return recordFromResult(address, *r.service, Extract::extract(*r.service, address, *page.text, fetch, cfg));
}

} // namespace Cli
