#pragma once

#include "web/archive.h"
#include "web/archivepacer.h"
#include "web/getbody.h"

#include <QElapsedTimer>
#include <functional>

namespace Config {
struct Settings;
}

namespace Web {

class CancelToken;

// A request as the network access point answers it; tests and benchmarks may answer otherwise.
using FetchFunction = std::function<FetchResult(const QString &url, const FetchOptions &options)>;
FetchFunction networkFetch();

// Why the archive gave nothing for an address, apart from having nothing.
enum class ArchiveProblem {
    None,
    Busy,        // it asked us to hold off (429, or 503 from a replay)
    Unavailable, // the index failed, timed out, was too large or not an index at all
    TooSlow,     // the address's time budget ran out
    Cancelled,
};

// The whole conversation with the web archive about one address: the index query, the pace and
// the hold every request keeps, the nearest captures, the replays and whether a file is held.
// Every answer is checked for being what was asked; the time budget counts from construction,
// leaving out the waits for our own pace.
class ArchiveClient
{
public:
    ArchiveClient(const Config::Settings &cfg, FetchFunction fetch, const CancelToken *cancel = nullptr);

    struct Index
    {
        ArchiveProblem problem = ArchiveProblem::None;
        QList<Capture> captures; // of this very address, nearest first, at most as many as are tried
    };
    Index captures(const QString &address);
    // Every capture that counts for `lookup`, in the index's order (not yet the nearest first).
    Index captures(const PathLookup &lookup);

    struct Replay
    {
        ArchiveProblem problem = ArchiveProblem::None;
        bool found = false;      // a success status at the end of redirects that stay in the archive
        bool answered = false;   // the archive answered, found or not (no transport failure)
        QString address;         // the replay address asked for
        QByteArray body;         // empty for a probe
        QByteArray contentType;
        int status = 0;          // of the last answer
        qint64 length = -1;      // as the replay announced it
        qint64 originalLength = -1; // as the archive says the captured answer had it

        // The captured file whole: a whole success that is no page, as long as the original was
        // where the archive says how long that was. A capture cut short replays with 200 too.
        bool whole() const;
    };
    // The capture's bytes, or with `statusOnly` only whether the archive has them.
    Replay replay(const QString &timestamp, const QString &original, bool statusOnly = false);

    QString replayAddress(const QString &timestamp, const QString &original) const;

    struct Hop
    {
        ArchiveProblem problem = ArchiveProblem::None;
        bool answered = false; // the archive answered, a redirect or not
        QString target;        // the original address the captured redirect led to; empty: none
        QString timestamp;     // of the capture whose redirect it was
    };
    // Where the capture of `original` (a share link) at `timestamp` sent its visitor, as the
    // archive replays the redirect it caught: to the replay of the target, or to the target
    // itself. The link's own nearest capture is followed to, within maxReplayRedirects.
    Hop redirectOf(const QString &timestamp, const QString &original);

    static constexpr int maxReplayRedirects = 3;

private:
    struct Sent
    {
        ArchiveProblem problem = ArchiveProblem::None;
        FetchResult result;
    };
    Sent send(ArchivePacer::Lane lane, const QString &url, FetchOptions options);
    Index askIndex(const QString &query, const CaptureFilter &filter);
    std::chrono::milliseconds budgetLeft() const;

    const Config::Settings &m_cfg;
    FetchFunction m_fetch;
    const CancelToken *m_cancel;
    QElapsedTimer m_clock;
    std::chrono::milliseconds m_paced{0};
};

} // namespace Web
