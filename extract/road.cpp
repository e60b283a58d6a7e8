#include "extract/road.h"

#include "config/settings.h"
#include "web/archive.h"
#include "web/getbody.h"
#include "web/network.h"

namespace Extract {

namespace {

bool isSuccess(int status)
{
    return status >= 200 && status < 300;
}

// The page as the live web gives it now.
struct LiveOutcome
{
    Result result;
    bool pageGone = false; // an error status: the page is not what it was, whatever its text holds
};

LiveOutcome liveRoad(Service service, const QString &address, const Config::Settings &cfg,
                     const RoadFetch &fetch)
{
    LiveOutcome out;
    const Fetched page = fetch(FetchKind::Page, address);
    const QString text = page.text.value_or(QString());
    const FetchFn endpoint = [&](const QString &url) { return fetch(FetchKind::Endpoint, url).text; };
    out.result = extract(service, address, text, endpoint, cfg);
    out.pageGone = page.status >= 400;
    return out;
}

QString replayed(const Config::Settings &cfg, const QString &timestamp, const QString &address)
{
    return isWebAddress(address) ? Web::replayAddress(cfg.archiveReplayUrl, timestamp, address) : address;
}

struct ArchiveOutcome
{
    std::optional<Result> result;
    std::optional<Archived> archived;
    bool busy = false;
    bool anyPage = false; // some capture's page arrived, even though none counted
};

ArchiveOutcome archiveRoad(Service service, const QString &address, const Config::Settings &cfg,
                           const RoadFetch &fetch)
{
    ArchiveOutcome out;
    Web::IndexPacer &pacer = Web::IndexPacer::instance();
    if (!pacer.awaitTurn(cfg.archiveIndexPerMinute, cfg.timeoutSeconds * 1000)) {
        out.busy = true;
        return out;
    }
    const Fetched index = fetch(FetchKind::Index, Web::captureQuery(cfg.archiveIndexUrl, address));
    if (index.status == 429) {
        pacer.holdOff();
        out.busy = true;
        return out;
    }
    if (!index.text || !isSuccess(index.status))
        return out;
    const std::optional<QList<Web::Capture>> captures = Web::parseCaptures(index.text->toUtf8());
    if (!captures)
        return out;

    for (const Web::Capture &capture : Web::nearestCaptures(*captures, cfg.archiveAround, cfg.archiveTries)) {
        const QString pageAddress = Web::replayAddress(cfg.archiveReplayUrl, capture.timestamp, capture.original);
        const Fetched page = fetch(FetchKind::Replay, pageAddress);
        if (!page.text || page.text->isEmpty() || !isSuccess(page.status))
            continue;
        out.anyPage = true;
        // The page's second request goes to the same moment of the archive.
        const FetchFn endpoint = [&](const QString &url) -> std::optional<QString> {
            const Fetched answer = fetch(FetchKind::Replay, replayed(cfg, capture.timestamp, url));
            return isSuccess(answer.status) ? answer.text : std::nullopt;
        };
        Result result = extract(service, address, *page.text, endpoint, cfg);
        if (!result.found())
            continue;

        Archived archived{capture.timestamp, pageAddress, QString()};
        const QString videoReplay = Web::replayAddress(cfg.archiveReplayUrl, capture.timestamp, result.video());
        if (isSuccess(fetch(FetchKind::Probe, videoReplay).status))
            archived.video = videoReplay;
        // The pictures' hosts are as gone as the page's: the window loads them from the archive.
        result.display.coverAddress = replayed(cfg, capture.timestamp, result.display.coverAddress);
        result.display.avatarAddress = replayed(cfg, capture.timestamp, result.display.avatarAddress);
        out.result = std::move(result);
        out.archived = std::move(archived);
        return out;
    }
    return out;
}

} // namespace

QString RoadResult::videoAddress() const
{
    if (archived && !archived->video.isEmpty())
        return archived->video;
    return ok() ? result.video() : QString();
}

RoadResult runRoad(const QString &text, std::optional<Service> service, const Config::Settings &cfg,
                   const RoadFetch &fetch, const RoadHooks &hooks)
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
    if (cfg.archiveMode == Config::ArchiveMode::Only) {
        live.result = extract(chosen, road.address, QString(), {}, cfg);
    } else {
        live = liveRoad(chosen, road.address, cfg, fetch);
        if (live.result.found() && !live.pageGone) {
            road.result = std::move(live.result);
            return road;
        }
    }
    if (cfg.archiveMode == Config::ArchiveMode::Off) {
        road.result = std::move(live.result);
        return road;
    }

    if (hooks.status)
        hooks.status(statusArchiveSearch);
    ArchiveOutcome archived = archiveRoad(chosen, road.address, cfg, fetch);
    if (archived.result) {
        road.result = std::move(*archived.result);
        road.archived = std::move(archived.archived);
        return road;
    }
    // Nothing in the archive counts: the live road's own outcome stands.
    road.result = std::move(live.result);
    if (road.result.found())
        return road;
    if (archived.busy)
        road.result.status = statusArchiveBusy;
    else if (cfg.archiveMode == Config::ArchiveMode::Only && archived.anyPage)
        road.result.status = statusNoVideo;
    return road;
}

RoadFetch webFetch()
{
    return [](FetchKind kind, const QString &url) {
        Fetched out;
        const Config::Settings &cfg = Web::NetworkAccess::settings();
        switch (kind) {
        case FetchKind::Page:
        case FetchKind::Endpoint:
        case FetchKind::Replay: {
            const auto headers = kind == FetchKind::Replay ? Web::archiveHeaders(cfg.userAgent)
                                                           : QList<QPair<QByteArray, QByteArray>>();
            const Web::BodyResult body = Web::GetBody(url, headers);
            out.text = body.text;
            out.status = body.raw.httpStatus;
            break;
        }
        case FetchKind::Index: {
            Web::FetchOptions options;
            options.headers = Web::archiveHeaders(cfg.userAgent);
            const Web::FetchResult r = Web::fetch(url, options);
            if (r.ok())
                out.text = QString::fromUtf8(r.body);
            out.status = r.httpStatus;
            break;
        }
        case FetchKind::Probe: {
            const Web::FetchResult r = Web::probe(url, Web::archiveHeaders(cfg.userAgent));
            if (r.ok())
                out.text = QString();
            out.status = r.httpStatus;
            break;
        }
        }
        return out;
    };
}

} // namespace Extract
