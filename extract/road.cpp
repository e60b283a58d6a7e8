#include "extract/road.h"

#include "config/settings.h"
#include "extract/service.h"
#include "web/archive.h"
#include "web/cancel.h"
#include "web/decode.h"
#include "web/getbody.h"
#include "web/lookupcache.h"

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

// A found video on this machine or a private network is refused; pictures there are not loaded.
// A failed extraction loads no picture at all.
void judgeAddresses(Result &result, const Config::Settings &cfg)
{
    if (result.found() && !isSafePageAddress(result.video(), cfg))
        result.end(Outcome::Unsafe);
    const bool done = result.outcome == Outcome::Done;
    for (QString *picture : {&result.display.coverAddress, &result.display.avatarAddress}) {
        if (!done || !isSafePageAddress(*picture, cfg))
            picture->clear();
    }
}

struct LiveOutcome
{
    Result result;
    bool pageGone = false; // an error status: the page is not what it was, whatever its text holds
    bool cancelled = false;
};

LiveOutcome liveRoad(Service service, const QString &address, const Config::Settings &cfg,
                     const Web::FetchFunction &fetch, const Web::CancelToken *cancel)
{
    LiveOutcome out;
    const Page page = fetchPage(fetch, address, cancel);
    bool endpointCancelled = false;
    const FetchFn endpoint = [&](const QString &url) {
        const Page answer = fetchPage(fetch, url, cancel);
        endpointCancelled = endpointCancelled || answer.cancelled;
        return answer.body ? std::optional(Web::decodeBody(answer.body->bytes, answer.body->contentType))
                           : std::nullopt;
    };
    out.result = extract(service, address, page.body.value_or(PageBody()), endpoint, cfg);
    judgeAddresses(out.result, cfg);
    out.pageGone = page.status >= 400;
    out.cancelled = page.cancelled || endpointCancelled;
    return out;
}

struct ArchiveOutcome
{
    std::optional<Result> result;
    std::optional<Archived> archived;
    ArchiveProblem problem = ArchiveProblem::None;
    bool anyPage = false; // some capture's page arrived, even though none counted
    bool unsafe = false;  // some capture's video was refused
};

// The captures of `address`: what the cache kept of the index's answer, or the index's answer.
Web::ArchiveClient::Index indexOf(Web::ArchiveClient &archive, const QString &address, const RoadHooks &hooks)
{
    Web::LookupCache *cache = hooks.cache ? hooks.cache->get() : nullptr;
    if (cache && hooks.refreshCache)
        cache->forget(address);
    else if (cache) {
        if (std::optional<QList<Web::Capture>> kept = cache->captures(address))
            return {ArchiveProblem::None, std::move(*kept)};
    }
    Web::ArchiveClient::Index index = archive.captures(address);
    // Only an answer is kept: a busy or broken archive is asked again next time.
    if (cache && index.problem == ArchiveProblem::None)
        cache->storeCaptures(address, index.captures);
    return index;
}

ArchiveOutcome archiveRoad(Service service, const QString &address, const Config::Settings &cfg,
                           const Web::FetchFunction &fetch, const RoadHooks &hooks)
{
    using Kept = Web::LookupCache::Replay;
    ArchiveOutcome out;
    Web::ArchiveClient archive(cfg, fetch, hooks.cancel);
    Web::LookupCache *cache = hooks.cache ? hooks.cache->get() : nullptr;
    const Web::ArchiveClient::Index index = indexOf(archive, address, hooks);
    out.problem = index.problem;
    for (const Web::Capture &capture : index.captures) {
        if (out.problem != ArchiveProblem::None)
            break;
        const Web::LookupCache::ReplayEntry kept =
            cache ? cache->replay(address, capture.timestamp) : Web::LookupCache::ReplayEntry{};
        if (kept.outcome == Kept::Useless)
            continue;
        const auto useless = [&] {
            if (cache)
                cache->storeReplay(address, capture.timestamp, Kept::Useless);
        };
        const Web::ArchiveClient::Replay page = archive.replay(capture.timestamp, capture.original);
        out.problem = page.problem;
        if (!page.found || page.body.isEmpty()) {
            if (page.answered && out.problem == ArchiveProblem::None)
                useless();
            continue;
        }
        out.anyPage = true;
        // The page's second request goes to the same moment of the archive.
        const FetchFn endpoint = [&](const QString &url) -> std::optional<QString> {
            if (!isWebAddress(url) || out.problem != ArchiveProblem::None)
                return std::nullopt;
            const Web::ArchiveClient::Replay answer = archive.replay(capture.timestamp, url);
            out.problem = answer.problem;
            if (!answer.found)
                return std::nullopt;
            return Web::decodeBody(answer.body, answer.contentType);
        };
        Result result =
            extract(service, address, PageBody{page.body, page.contentType}, endpoint, cfg);
        if (out.problem != ArchiveProblem::None)
            continue;
        if (!result.found()) {
            useless();
            continue;
        }
        if (!isSafePageAddress(result.video(), cfg)) {
            out.unsafe = true;
            useless();
            continue;
        }

        Archived archived{capture.timestamp, page.address, QString(), QString()};
        if (kept.video) {
            archived.video = *kept.video;
        } else {
            const Web::ArchiveClient::Replay file = archive.replay(capture.timestamp, result.video(), true);
            out.problem = file.problem;
            if (out.problem != ArchiveProblem::None)
                break;
            if (file.found)
                archived.video = file.address;
            if (cache && file.answered)
                cache->storeReplay(address, capture.timestamp, Kept::Useful, archived.video);
        }
        judgeAddresses(result, cfg);
        // The pictures' hosts are as gone as the page's: the window loads them from the archive.
        for (QString *picture : {&result.display.coverAddress, &result.display.avatarAddress}) {
            if (!picture->isEmpty())
                *picture = archive.replayAddress(capture.timestamp, *picture);
        }
        out.result = std::move(result);
        out.archived = std::move(archived);
        return out;
    }
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
