#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QDateTime>
#include <QList>
#include <QPair>
#include <QString>
#include <chrono>
#include <optional>

// What the web archive's answers mean: pure functions, no request is made here.
namespace Web {

// One capture of a page in the web archive's index.
struct Capture
{
    QString timestamp; // yyyyMMddhhmmss
    QString original;  // the address as the archive captured it
    QString digest{};  // of the captured bytes; empty when the index gave none
};

// Far more captures than one short-video page ever had, and still a small answer. The index is
// asked for no more, and no more are read when it sends more anyway.
inline constexpr int indexRowLimit = 1000;

// The index query for the captures of `address` whose archived answer was 200, as JSON rows.
// The address goes in whole, percent-encoded: its own query ("&photoId=") must stay its own.
QString captureQuery(const QString &indexUrl, const QString &address);

// The key the index files an address under: the scheme (http or https), "www.", a default port
// and a trailing slash do not tell two addresses apart, nor the host's case; the query does.
QString archiveKey(const QString &address);

// A lookup by path. What a page names today is signed, expires, or carries a random callback or
// a share's tracking parameters, so the archive holds it only under other queries: the index is
// asked for every capture under the host and path, and a capture counts when its address is that
// path, with any query that carries `parameters`.
struct PathLookup
{
    enum class Kind {
        Page,   // a page at a share address
        File,   // a video file: only video types count
        Answer, // the answer to a page's further request
        Redirect, // a share link: only its captured redirects count
    };
    Kind kind = Kind::File;
    QString path; // scheme, host and path, without query or fragment
    QList<QPair<QString, QString>> parameters;

    // What the lookup cache keeps its captures under.
    QString cacheKey() const;
};

// The lookup of `address` by its path and the parameters of its query named in `lasting`.
PathLookup pathLookup(PathLookup::Kind kind, const QString &address, const QStringList &lasting = {});

// The index query for every capture under lookup.path whose archived answer was a whole success.
// A prefix can only be a path: the index keeps query parameters in an order of its own. The index
// narrows the rows to addresses carrying the lookup's parameters where it can.
QString prefixQuery(const QString &indexUrl, const PathLookup &lookup);

// Whether a row with this address and type counts for `lookup`.
bool countsFor(const PathLookup &lookup, const QString &original, QStringView mimetype);

// Which rows of an index answer count.
struct CaptureFilter
{
    QString key;             // archiveKey of the address asked for; empty: any address
    QString latest;          // 14 digits: later captures are left out; empty: no limit
    int rowLimit = indexRowLimit;
    const PathLookup *under = nullptr; // set: rows judged by countsFor instead of the key
};

// The latest capture time that can be true: now, give or take a day of clocks that disagree.
QString latestCaptureTime(const QDateTime &nowUtc = QDateTime::currentDateTimeUtc());

// The captures of an output=json answer, its first row naming the columns; at most
// filter.rowLimit rows are read. nullopt when the answer is not such a table. Rows of another
// status, without a usable timestamp or web address, of another address, dated after
// filter.latest, or repeating a timestamp or digest already taken are left out.
std::optional<QList<Capture>> parseCaptures(QByteArrayView json, const CaptureFilter &filter = {});

// At most `tries` captures, nearest to `around` (4 to 14 digits, the rest taken as its start)
// first; of two equally near, the earlier.
QList<Capture> nearestCaptures(QList<Capture> captures, const QString &around, int tries);

// The bytes the archive captured for `original` at (or nearest to) `timestamp`, unchanged:
// REPLAY + TIMESTAMP + "id_/" + ORIGINAL.
QString replayAddress(const QString &replayBase, const QString &timestamp, const QString &original);

// The capture a replay address names: its timestamp and the original address (a share link's
// redirect replays as one leading to its target's replay). nullopt when `url` is none under
// `replayBase`.
struct Replayed
{
    QString timestamp;
    QString original;
};
std::optional<Replayed> replayedCapture(const QString &replayBase, const QUrl &url);

// Whether a status is one of a redirect that names where it leads.
bool isRedirectStatus(QStringView status);

// Where a replay may redirect to: the replay host, under the replay path, never from https to http.
bool isReplayRedirect(const QString &replayBase, const QUrl &from, const QUrl &to);

// "2015-03-12" for "20150312094501".
QString captureDate(const QString &timestamp);

// How long a busy answer asks us to stay away: Retry-After in seconds or as an HTTP date, at most
// an hour; `fallback` when it says nothing usable.
std::chrono::seconds retryAfter(const QByteArray &value, std::chrono::seconds fallback,
                                const QDateTime &nowUtc = QDateTime::currentDateTimeUtc());

} // namespace Web
