#pragma once

#include "extract/extraction.h"
#include "web/archiveclient.h"

#include <QString>
#include <functional>
#include <optional>

namespace Config {
struct Settings;
}

namespace Web {
class CancelToken;
}

namespace Extract {

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
    bool cancelled() const { return result.status == statusCancelled; }
    // The address preview, download and copy act on: the archived file when there is one.
    QString videoAddress() const;
};

struct RoadHooks
{
    std::function<void()> started;                      // the checks passed: the fetch begins
    std::function<void(const QString &status)> status; // a new status line while the road goes on
    const Web::CancelToken *cancel = nullptr;           // ends every request and wait of the road
};

inline const QString statusArchiveSearch = QStringLiteral("正在从网页存档中查找..");
inline const QString statusArchiveBusy = QStringLiteral("网页存档繁忙,请稍后再试..");
inline const QString statusArchiveUnavailable = QStringLiteral("网页存档暂时无法访问,请稍后再试..");
inline const QString statusArchiveTooSlow = QStringLiteral("网页存档响应太慢,请稍后再试..");
inline const QString statusUnknownService = QStringLiteral(
    "cannot tell the service of this address; it matches none of weishi, meipai, kuaishou, miaopai");

// The whole road of one pasted text: the address in it, the service's checks (or, without a
// service, the first service whose checks pass), the live page, the web archive when the live web
// gives no usable video, the extraction and the archived media. Blocking; the calling thread's
// events keep running while it waits. Runs on any thread.
RoadResult runRoad(const QString &text, std::optional<Service> service, const Config::Settings &cfg,
                   const Web::FetchFunction &fetch, const RoadHooks &hooks = {});

} // namespace Extract
