#pragma once

#include "web/archive.h"

#include <QString>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>

class QSqlDatabase;
class QSqlQuery;

namespace Web {

// What a download wrote at a path: the file itself, by this program, for which video.
struct DownloadRecord
{
    enum class State { Part, Done, Side };
    State state = State::Part; // the unfinished ".part", the finished video, or a file beside one
    QString video;             // the address it was fetched from
    QString validator;         // ETag, else Last-Modified, of the answer the ".part" holds; empty: none
    qint64 size = -1;          // of the finished video
};

// What the web archive said of the addresses it was asked about, kept in an SQLite file that
// every process and thread of the program shares: an address looked up again within the age
// limit asks the index nothing, and replays none of its captures already found useless. Only
// answers are kept for reuse; a failure (busy, unreachable, too slow) is asked again next time.
// The same file remembers what downloads wrote where, so that a later run tells its own files
// from anybody else's.
class LookupCache
{
public:
    using Warn = std::function<void(const QString &warning)>;
    struct Opened
    {
        std::shared_ptr<LookupCache> cache; // null: no cache for this run
        QString warning;                    // what went wrong, or what was done about it; empty when all is well
    };
    // A file SQLite calls no database, or corrupt, is moved aside as FILE.broken-DATE and a fresh
    // one made; one held by another program past a short wait, or a folder that cannot be
    // written, means no cache. None of them fails anything else. `warn` gets, once, the news
    // that the file went busy later in the run, after which the cache answers nothing.
    static Opened open(const QString &path, int maxAgeDays, Warn warn = {});
    // The one file both programs share.
    static QString defaultPath();

    ~LookupCache();

    // The captures the index named for `address` (an empty list: it named none), when it was
    // asked within the age limit.
    std::optional<QList<Capture>> captures(const QString &address);
    void storeCaptures(const QString &address, const QList<Capture> &captures);
    // The same for a lookup by path, kept apart from the address's own.
    std::optional<QList<Capture>> captures(const PathLookup &lookup);
    void storeCaptures(const PathLookup &lookup, const QList<Capture> &captures);
    void forget(const PathLookup &lookup);

    enum class Replay { Unknown, Useless, Useful };
    struct ReplayEntry
    {
        Replay outcome = Replay::Unknown;
        std::optional<QString> video; // of a useful capture: the archived file's replay address, "" for none
    };
    ReplayEntry replay(const QString &address, const QString &timestamp);
    void storeReplay(const QString &address, const QString &timestamp, Replay outcome,
                     const std::optional<QString> &video = std::nullopt);

    // Drops all that is known of `address`, before it is asked again.
    void forget(const QString &address);

    // Keyed by the cleaned absolute path written.
    std::optional<DownloadRecord> downloadRecord(const QString &path);
    // false when it could not be kept
    bool storeDownloadRecord(const QString &path, const DownloadRecord &record);
    void forgetDownloadRecord(const QString &path);

    QString path() const { return m_path; }

    struct Connection; // one per thread: Qt's database connections belong to the thread that made them

private:
    LookupCache(const QString &path, int maxAgeDays, Warn warn);
    Connection &connection();
    QSqlDatabase database(); // this thread's connection
    std::optional<QList<Capture>> rows(const QString &key);
    void storeRows(const QString &key, const QList<Capture> &captures);
    // Runs a prepared statement unless the cache has gone quiet; a statement still busy after
    // the wait makes it quiet for the rest of the run: the cache is a help, never a wait.
    bool run(QSqlQuery &query);

    QString m_path;
    qint64 m_maxAgeSeconds;
    QString m_id; // tells this cache's connections from another's
    Warn m_warn;
    std::atomic<bool> m_quiet{false};
};

// The cache opened when it is first asked for, from whichever thread asks first: a run whose
// pages are all live never loads the database driver nor checks the file, which costs a start
// of zavlen-get (or of the window) more than its page does.
class DeferredLookupCache
{
public:
    // `warn` gets the warning of LookupCache::open, on the thread that opened it.
    DeferredLookupCache(QString path, int maxAgeDays, std::function<void(const QString &warning)> warn);

    // Null when the cache could not be had; the same instance for every caller.
    LookupCache *get();

private:
    QString m_path;
    int m_maxAgeDays;
    std::function<void(const QString &)> m_warn;
    std::once_flag m_once;
    std::shared_ptr<LookupCache> m_cache;
};

} // namespace Web
