#pragma once

#include "extract/extraction.h"
#include "extract/videoinfo.h"
#include "web/archiveclient.h"

#include <QString>
#include <functional>
#include <optional>

namespace Config {
struct Settings;
}

namespace Web {
class CancelToken;
class DeferredLookupCache;
}

namespace Extract {

struct RoadResult
{
    QString address;                // the address the checks and the fetches used
    std::optional<Service> service; // nullopt when no service's checks pass
    bool started = false;           // the checks passed and the page was asked for
    Result result;                  // slots, display texts, the outcome and its status line
    std::optional<Archived> archived;

    Outcome outcome() const { return result.outcome; }
    bool ok() const { return result.outcome == Outcome::Done; }
    // The fields for a front end; empty unless the road started.
    VideoInfo info() const;
};

struct RoadHooks
{
    std::function<void(const QString &status)> status; // a new status line while the road goes on
    const Web::CancelToken *cancel = nullptr;           // ends every request and wait of the road
    Web::DeferredLookupCache *cache = nullptr;          // what the archive said before; null: ask it
    bool refreshCache = false;                          // ask the archive again, replacing what was kept
};

// Which service `text` is for and whether its address passes that service's checks: the first
// step of the road, which needs no network. With no service given, the first service whose
// checks pass; Refused (the rung's message as status) or UnknownService otherwise.
RoadResult checkRoad(const QString &text, std::optional<Service> service, const Config::Settings &cfg);

// The rest of the road of an address that passed its checks: the live page, the web archive when
// the live web gives no usable video, the extraction and the archived media. Blocking; the calling
// thread's events keep running while it waits. Runs on any thread.
RoadResult continueRoad(RoadResult checked, const Config::Settings &cfg, const Web::FetchFunction &fetch,
                        const RoadHooks &hooks = {});

// Both steps.
RoadResult runRoad(const QString &text, std::optional<Service> service, const Config::Settings &cfg,
                   const Web::FetchFunction &fetch, const RoadHooks &hooks = {});

} // namespace Extract
