#pragma once

#include "extract/extraction.h"

#include <QString>
#include <functional>
#include <optional>

namespace Config {
struct Settings;
}

namespace Extract {

// What the road asks the web for; the archive's requests are told apart so that they can be
// paced and name the program.
enum class FetchKind {
    Page,     // the live page
    Endpoint, // a second request an extractor makes (Weishi's download endpoint)
    Index,    // the web archive's capture index
    Replay,   // a capture's bytes from the archive (page or endpoint)
    Probe,    // whether the archive holds a file: the status only, never the body
};

struct Fetched
{
    std::optional<QString> text; // nullopt: no answer (refused, reset, timed out, too large)
    int status = 0;              // HTTP status of the final answer, 0 without one
};
using RoadFetch = std::function<Fetched(FetchKind kind, const QString &url)>;

// Through the program's one network access point.
RoadFetch webFetch();

// Where an archived result came from.
struct Archived
{
    QString timestamp; // yyyyMMddhhmmss of the capture
    QString page;      // replay address of the captured page
    QString video;     // replay address of the archived video file; empty when the archive has none
};

struct RoadResult
{
    QString address;                // the address the checks and the fetches used
    std::optional<Service> service; // nullopt when no service's checks pass
    bool started = false;           // the checks passed and the page was asked for
    Result result;                  // slots and display texts; result.status is the status line
    std::optional<Archived> archived;

    bool ok() const { return result.found() && result.status == statusDone; }
    // The address preview, download and copy act on: the archived file when there is one.
    QString videoAddress() const;
};

struct RoadHooks
{
    std::function<void()> started;                      // the checks passed: the fetch begins
    std::function<void(const QString &status)> status; // a new status line while the road goes on
};

inline const QString statusArchiveSearch = QStringLiteral("正在从网页存档中查找..");
inline const QString statusArchiveBusy = QStringLiteral("网页存档繁忙,请稍后再试..");
inline const QString statusUnknownService = QStringLiteral(
    "cannot tell the service of this address; it matches none of weishi, meipai, kuaishou, miaopai");

// The whole road of one pasted text: the address in it, the service's checks (or, without a
// service, the first service whose checks pass), the live page, the web archive when the live web
// gives no usable video, the extraction and the archived media. Blocking; the calling thread's
// events keep running while it waits. Runs on any thread.
RoadResult runRoad(const QString &text, std::optional<Service> service, const Config::Settings &cfg,
                   const RoadFetch &fetch, const RoadHooks &hooks = {});

} // namespace Extract
