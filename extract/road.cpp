#include "extract/road.h"

#include "config/settings.h"
#include "web/archive.h"
#include "web/cancel.h"
#include "web/decode.h"
#include "web/getbody.h"

namespace Extract {

namespace {

using Web::ArchiveProblem;

QString statusOf(ArchiveProblem problem)
{
    switch (problem) {
    case ArchiveProblem::Busy:
        return statusArchiveBusy;
    case ArchiveProblem::Unavailable:
        return statusArchiveUnavailable;
    case ArchiveProblem::TooSlow:
        return statusArchiveTooSlow;
    case ArchiveProblem::Cancelled:
        return statusCancelled;
    case ArchiveProblem::None:
        break;
    }
    return QString();
}

// The page fetch: "If-Modified-Since: 0", the body whatever its status, decoded to text.
struct Page
{
    std::optional<QString> text; // nullopt: no answer (refused, reset, timed out, too large)
    int status = 0;
    bool cancelled = false;
};

Page fetchPage(const Web::FetchFunction &fetch, const QString &url, const Web::CancelToken *cancel)
{
    Web::FetchOptions options;
    options.headers.append({QByteArrayLiteral("If-Modified-Since"), QByteArrayLiteral("0")});
    options.cancel = cancel;
    const Web::FetchResult r = fetch(url, options);
    Page page;
    page.status = r.httpStatus;
    page.cancelled = r.error == Web::FetchError::Cancelled;
    if (r.ok())
        page.text = Web::decodeBody(r.body, r.contentType);
    return page;
}

// A found video on this machine or a private network is refused; pictures there are not loaded.
// A failed extraction loads no picture at all.
void judgeAddresses(Result &result, const Config::Settings &cfg)
{
    if (result.found() && !isSafePageAddress(result.video(), cfg))
        result.status = statusUnsafe;
    const bool done = result.found() && result.status == statusDone;
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
        return answer.text;
    };
    out.result = extract(service, address, page.text.value_or(QString()), endpoint, cfg);
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

ArchiveOutcome archiveRoad(Service service, const QString &address, const Config::Settings &cfg,
                           const Web::FetchFunction &fetch, const Web::CancelToken *cancel)
{
    ArchiveOutcome out;
    Web::ArchiveClient archive(cfg, fetch, cancel);
    const Web::ArchiveClient::Index index = archive.captures(address);
    out.problem = index.problem;
    for (const Web::Capture &capture : index.captures) {
        if (out.problem != ArchiveProblem::None)
            break;
        const Web::ArchiveClient::Replay page = archive.replay(capture.timestamp, capture.original);
        out.problem = page.problem;
        if (!page.found || page.body.isEmpty())
            continue;
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
            extract(service, address, Web::decodeBody(page.body, page.contentType), endpoint, cfg);
        if (out.problem != ArchiveProblem::None || !result.found())
            continue;
        if (!isSafePageAddress(result.video(), cfg)) {
            out.unsafe = true;
            continue;
        }

        Archived archived{capture.timestamp, page.address, QString()};
        const Web::ArchiveClient::Replay file = archive.replay(capture.timestamp, result.video(), true);
        out.problem = file.problem;
        if (out.problem != ArchiveProblem::None)
            break;
        if (file.found)
            archived.video = file.address;
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

QString RoadResult::videoAddress() const
{
    if (!ok())
        return QString();
    if (archived && !archived->video.isEmpty())
        return archived->video;
    return result.video();
}

RoadResult runRoad(const QString &text, std::optional<Service> service, const Config::Settings &cfg,
                   const Web::FetchFunction &fetch, const RoadHooks &hooks)
{
    RoadResult road;
    road.address = addressIn(text);
    if (service) {
        road.service = service;
        if (const std::optional<QString> refused = checkAddress(*service, road.address, cfg)) {
            road.result.status = *refused;
            return road;
        }
    } else {
        road.service = detectService(road.address, cfg);
        if (!road.service) {
            road.result.status = statusUnknownService;
            return road;
        }
    }
    if (*road.service == Service::Weipai) {
        road.result.status = statusNoVideo;
        return road;
    }
    road.started = true;
    if (hooks.started)
        hooks.started();

    const Service chosen = *road.service;
    LiveOutcome live;
    if (cfg.archive.mode == Config::ArchiveMode::Only) {
        live.result = extract(chosen, road.address, QString(), {}, cfg);
    } else {
        live = liveRoad(chosen, road.address, cfg, fetch, hooks.cancel);
        if (live.cancelled) {
            road.result.status = statusCancelled;
            return road;
        }
        if ((live.result.found() && !live.pageGone) || cfg.archive.mode == Config::ArchiveMode::Off) {
            road.result = std::move(live.result);
            return road;
        }
    }

    if (hooks.status)
        hooks.status(statusArchiveSearch);
    ArchiveOutcome archived = archiveRoad(chosen, road.address, cfg, fetch, hooks.cancel);
    if (archived.result) {
        road.result = std::move(*archived.result);
        road.archived = std::move(archived.archived);
        return road;
    }
    if (archived.problem == ArchiveProblem::Cancelled) {
        road.result.status = statusCancelled;
        return road;
    }
    // Nothing in the archive counts: the live road's own outcome stands, unless the archive could
    // not be asked, which is no answer about the page.
    road.result = std::move(live.result);
    if (road.result.found())
        return road;
    if (archived.problem != ArchiveProblem::None)
        road.result.status = statusOf(archived.problem);
    else if (archived.unsafe)
        road.result.status = statusUnsafe;
    else if (cfg.archive.mode == Config::ArchiveMode::Only && archived.anyPage)
        road.result.status = statusNoVideo;
    return road;
}

} // namespace Extract
