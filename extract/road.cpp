#include "extract/road.h"

#include "config/settings.h"
#include "extract/archiveroad.h"
#include "extract/service.h"
#include "extract/sharelink.h"
#include "web/archive.h"
#include "web/cancel.h"
#include "web/decode.h"
#include "web/getbody.h"

namespace Extract {

namespace {

using Web::ArchiveProblem;

Outcome outcomeOf(ArchiveProblem problem)
{
    switch (problem) {
    case ArchiveProblem::Busy:
        return Outcome::ArchiveBusy;
    case ArchiveProblem::Unavailable:
        return Outcome::ArchiveUnavailable;
    case ArchiveProblem::TooSlow:
        return Outcome::ArchiveTooSlow;
    case ArchiveProblem::Cancelled:
        return Outcome::Cancelled;
    case ArchiveProblem::None:
        break;
    }
    return Outcome::NoVideo;
}

// The page fetch: "If-Modified-Since: 0", the body whatever its status, as it arrived.
struct Page
{
    std::optional<PageBody> body; // nullopt: no answer (refused, reset, timed out, too large)
    int status = 0;
    bool cancelled = false;
};

Page fetchPage(const Web::FetchFunction &fetch, const QString &url, const Web::CancelToken *cancel)
{
    Web::FetchOptions options;
    options.headers = Web::pageHeaders();
    options.cancel = cancel;
    const Web::FetchResult r = fetch(url, options);
    Page page;
    page.status = r.httpStatus;
    page.cancelled = r.error == Web::FetchError::Cancelled;
    if (r.ok())
        page.body = PageBody{r.body, r.contentType};
    return page;
}

struct LiveOutcome
{
    Result result;
    bool pageGone = false; // an error status: the page is not what it was, whatever its text holds
    bool cancelled = false;
};

// Where a share link led, when not to a page of the service.
enum class Astray { No, Refused, Elsewhere };

// A share link followed one hop at a time, each judged; its page only when it is one of the service's.
Page followedPage(Service service, QString &at, Astray &astray, const Config::Settings &cfg,
                  const Web::FetchFunction &fetch, const Web::CancelToken *cancel)
{
    const Followed led = followLink(at, cfg, fetch, cancel);
    Page page;
    page.status = led.answer.httpStatus;
    page.cancelled = led.answer.error == Web::FetchError::Cancelled;
    if (led.refused) {
        astray = Astray::Refused;
    } else if (led.answer.ok() && !led.page.isEmpty() && isPageOf(service, led.page, cfg)) {
        // A page kept elsewhere (a long video's at its photo address) is asked there.
        at = pageAddress(service, led.page, cfg);
        if (at != led.page)
            return fetchPage(fetch, at, cancel);
        page.body = PageBody{led.answer.body, led.answer.contentType};
    } else if (led.answer.ok() && page.status >= 200 && page.status < 300) {
        // A link to a work since deleted leads to the service's home page.
        astray = Astray::Elsewhere;
    }
    return page;
}

LiveOutcome liveRoad(Service service, const QString &address, const Config::Settings &cfg,
                     const Web::FetchFunction &fetch, const Web::CancelToken *cancel)
{
    LiveOutcome out;
    QString at = pageAddress(service, address, cfg);
    Astray astray = Astray::No;
    const Page page = isShareLink(service, at, cfg) ? followedPage(service, at, astray, cfg, fetch, cancel)
                                                    : fetchPage(fetch, at, cancel);
    bool endpointCancelled = false;
    const FetchFn endpoint = [&](const QString &url) {
        const Page answer = fetchPage(fetch, url, cancel);
        endpointCancelled = endpointCancelled || answer.cancelled;
        return answer.body ? std::optional(Web::decodeBody(answer.body->bytes, answer.body->contentType))
                           : std::nullopt;
    };
    out.result = extract(service, at, page.body.value_or(PageBody()), endpoint, cfg);
    if (astray != Astray::No)
        out.result.end(astray == Astray::Refused ? Outcome::Unsafe : Outcome::NoVideo);
    judgeAddresses(out.result, cfg);
    out.pageGone = page.status >= 400;
    out.cancelled = page.cancelled || endpointCancelled;
    return out;
}

} // namespace

VideoInfo RoadResult::info() const
{
    if (!started || !service)
        return {};
    return videoInfo(*service, address, result, archived);
}

RoadResult checkRoad(const QString &text, std::optional<Service> service, const Config::Settings &cfg)
{
    RoadResult road;
    road.address = addressIn(text);
    road.service = service ? service : detectService(road.address, cfg);
    if (!road.service) {
        road.result.end(Outcome::UnknownService);
        return road;
    }
    if (service) {
        if (const std::optional<QString> refused = checkAddress(*service, road.address, cfg)) {
            road.result.outcome = Outcome::Refused;
            road.result.status = *refused;
            return road;
        }
    }
    road.started = serviceRow(*road.service).extracts();
    if (!road.started)
        road.result.end(Outcome::NoVideo);
    return road;
}

RoadResult continueRoad(RoadResult road, const Config::Settings &cfg, const Web::FetchFunction &fetch,
                        const RoadHooks &hooks)
{
    if (!road.started)
        return road;
    const Service chosen = *road.service;
    LiveOutcome live;
    if (cfg.archive.mode == Config::ArchiveMode::Only) {
        live.result = extract(chosen, road.address, QString(), {}, cfg);
    } else {
        live = liveRoad(chosen, road.address, cfg, fetch, hooks.cancel);
        if (live.cancelled) {
            road.result.end(Outcome::Cancelled);
            return road;
        }
        if ((live.result.found() && !live.pageGone) || cfg.archive.mode == Config::ArchiveMode::Off) {
            road.result = std::move(live.result);
            return road;
        }
    }

    if (hooks.status)
        hooks.status(statusArchiveSearch);
    ArchiveOutcome archived = archiveRoad(chosen, road.address, cfg, fetch, hooks);
    if (archived.result) {
        road.result = std::move(*archived.result);
        road.archived = std::move(archived.archived);
        return road;
    }
    if (archived.problem == ArchiveProblem::Cancelled) {
        road.result.end(Outcome::Cancelled);
        return road;
    }
    // Nothing in the archive counts: the live road's own outcome stands, unless the archive could
    // not be asked, which is no answer about the page.
    road.result = std::move(live.result);
    if (road.result.found())
        return road;
    if (archived.problem != ArchiveProblem::None)
        road.result.end(outcomeOf(archived.problem));
    else if (archived.unsafe)
        road.result.end(Outcome::Unsafe);
    else if (cfg.archive.mode == Config::ArchiveMode::Only && archived.anyPage)
        road.result.end(Outcome::NoVideo);
    return road;
}

RoadResult runRoad(const QString &text, std::optional<Service> service, const Config::Settings &cfg,
                   const Web::FetchFunction &fetch, const RoadHooks &hooks)
{
    return continueRoad(checkRoad(text, service, cfg), cfg, fetch, hooks);
}

} // namespace Extract
