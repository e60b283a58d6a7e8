#include "web/lookupcache.h"
#include "os/files.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QThreadStorage>
#include <QUuid>
#include <QVariant>

#include <map>

namespace Web {

namespace {

// Other jobs and processes write the same file: a writer waits this long for its turn. Past it
// the cache is left alone: a lookup, or a download, goes on without it.
constexpr int busyMs = 2000;

qint64 now()
{
    return QDateTime::currentSecsSinceEpoch();
}

QString rowsText(const QList<Capture> &captures)
{
    QJsonArray rows;
    for (const Capture &c : captures)
        rows.append(QJsonArray{c.timestamp, c.original, c.digest});
    return QString::fromUtf8(QJsonDocument(rows).toJson(QJsonDocument::Compact));
}

std::optional<QList<Capture>> rowsFrom(const QString &text)
{
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(text.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !doc.isArray())
        return std::nullopt;
    QList<Capture> out;
    for (const QJsonValue &row : doc.array()) {
        const QJsonArray r = row.toArray();
        out.append({r.at(0).toString(), r.at(1).toString(), r.at(2).toString()});
    }
    return out;
}

QString outcomeText(LookupCache::Replay outcome)
{
    return outcome == LookupCache::Replay::Useful ? QStringLiteral("useful") : QStringLiteral("useless");
}

bool busy(const QSqlError &error)
{
    // SQLITE_BUSY and SQLITE_LOCKED, with or without their extended codes.
    const int code = error.nativeErrorCode().toInt();
    return (code & 0xff) == 5 || (code & 0xff) == 6;
}

// SQLITE_CORRUPT and SQLITE_NOTADB: the only reasons to put the file aside. Busy, locked, out of
// room or unreadable files are someone else's or the system's, and keep their bytes.
bool broken(const QSqlError &error)
{
    const int code = error.nativeErrorCode().toInt();
    return (code & 0xff) == 11 || (code & 0xff) == 26;
}

enum class Health { Ready, Busy, Broken, Unusable };

Health healthOf(const QSqlError &error)
{
    return busy(error) ? Health::Busy : broken(error) ? Health::Broken : Health::Unusable;
}

bool setUp(QSqlQuery &q)
{
    // Switching to WAL takes the whole file; a file already in WAL needs no switch.
    const bool wal = q.exec(QStringLiteral("PRAGMA journal_mode")) && q.next()
                     && q.value(0).toString().compare(u"wal", Qt::CaseInsensitive) == 0;
    q.finish();
    return (wal || q.exec(QStringLiteral("PRAGMA journal_mode=WAL")))
           && q.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS lookups (key TEXT PRIMARY KEY, asked INTEGER, "
                                    "kind TEXT, rows TEXT)"))
           && q.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS replays (key TEXT, timestamp TEXT, asked INTEGER, "
                                    "outcome TEXT, video TEXT, PRIMARY KEY (key, timestamp))"))
           && q.exec(QStringLiteral("CREATE TABLE IF NOT EXISTS downloads (path TEXT PRIMARY KEY, state TEXT, "
                                    "video TEXT, validator TEXT, size INTEGER, written INTEGER)"));
}

// Whether the file reads as a sound database: quick_check answers "ok".
Health check(QSqlDatabase &db, QSqlQuery &q)
{
    if (!db.isOpen())
        return healthOf(db.lastError());
    if (!q.exec(QStringLiteral("PRAGMA quick_check")))
        return healthOf(q.lastError());
    return q.next() && q.value(0).toString() == u"ok" ? Health::Ready : Health::Broken;
}

} // namespace

// One per thread and cache: Qt's database connections belong to the thread that made them.
struct LookupCache::Connection
{
    QString name;
    QSqlDatabase db;

    ~Connection()
    {
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(name);
    }
};

namespace {

struct Connections
{
    std::map<QString, std::unique_ptr<LookupCache::Connection>> byCache;
};

// Not thread_local: a thread's C++ thread_local objects die after QThread::wait() has returned,
// when the process may already be tearing Qt SQL down; QThreadStorage cleans up inside the thread
// before it counts as finished (and the main thread's with the application object).
QThreadStorage<Connections *> connections;

std::map<QString, std::unique_ptr<LookupCache::Connection>> &ours()
{
    if (!connections.hasLocalData())
        connections.setLocalData(new Connections);
    return connections.localData()->byCache;
}

} // namespace

LookupCache::LookupCache(const QString &path, int maxAgeDays, Warn warn)
    : m_path(path), m_maxAgeSeconds(qint64(maxAgeDays) * 86400),
      m_id(QStringLiteral("zavlen-lookups-") + QUuid::createUuid().toString(QUuid::WithoutBraces)),
      m_warn(std::move(warn))
{
}

LookupCache::~LookupCache()
{
    if (connections.hasLocalData())
        connections.localData()->byCache.erase(m_id);
}

LookupCache::Connection &LookupCache::connection()
{
    std::unique_ptr<Connection> &c = ours()[m_id];
    if (!c) {
        c = std::make_unique<Connection>();
        c->name = m_id + QStringLiteral("-") + QString::number(quintptr(&c), 16);
        c->db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), c->name);
        c->db.setDatabaseName(m_path);
        c->db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=%1").arg(busyMs));
        if (c->db.open()) {
            QSqlQuery q(c->db);
            q.exec(QStringLiteral("PRAGMA synchronous=NORMAL"));
        }
    }
    return *c;
}

QSqlDatabase LookupCache::database()
{
    return connection().db;
}

QString LookupCache::defaultPath()
{
    return Os::cacheFolder() + QStringLiteral("/zavlen-video/lookups.sqlite");
}

LookupCache::Opened LookupCache::open(const QString &path, int maxAgeDays, Warn warn)
{
    Opened out;
    const QFileInfo file(path);
    const QString folder = file.absolutePath();
    const QString shown = QDir::toNativeSeparators(path);
    if (!QDir().mkpath(folder) || !QFileInfo(folder).isWritable() || (file.exists() && !file.isWritable())) {
        out.warning = QStringLiteral("cannot write the lookup cache %1; going on without it").arg(shown);
        return out;
    }
    QDeadlineTimer patience(busyMs);
    bool movedAside = false;
    for (;;) {
        std::shared_ptr<LookupCache> cache(new LookupCache(path, maxAgeDays, warn));
        Health health = Health::Unusable;
        QSqlError error;
        {
            // Gone before the cache that owns the connection may be.
            QSqlDatabase db = cache->connection().db;
            QSqlQuery q(db);
            health = check(db, q);
            error = db.isOpen() ? q.lastError() : db.lastError();
            q.finish();
            if (health == Health::Ready && !setUp(q)) {
                error = q.lastError();
                health = healthOf(error);
            }
        }
        if (health == Health::Ready) {
            out.cache = std::move(cache);
            return out;
        }
        // Another process making or converting the same file holds it for a moment; that is no
        // reason to call the file broken, nor to give up at once.
        if (health == Health::Busy && !patience.hasExpired()) {
            cache.reset();
            QThread::msleep(20);
            continue;
        }
        if (health == Health::Busy) {
            out.warning = QStringLiteral("the lookup cache %1 is held by another program; going on without it")
                              .arg(shown);
            return out;
        }
        if (health == Health::Unusable || movedAside) {
            out.warning = QStringLiteral("cannot use the lookup cache %1 (%2); going on without it")
                              .arg(shown, error.text());
            return out;
        }
        // Not a database we can read: kept aside for whoever wants to look, and a fresh one made.
        movedAside = true;
        cache.reset();
        const QString aside =
            path + QStringLiteral(".broken-") + QDateTime::currentDateTimeUtc().toString(QStringLiteral("yyyyMMdd-HHmmss"));
        if (!QFile::rename(path, aside)) {
            out.warning = QStringLiteral("cannot read the lookup cache %1 nor move it aside; going on without it")
                              .arg(shown);
            return out;
        }
        for (const char *journal : {"-wal", "-shm", "-journal"})
            QFile::remove(path + QLatin1String(journal));
        out.warning = QStringLiteral("the lookup cache %1 could not be read; it was moved aside as %2 and a new "
                                     "one started")
                          .arg(shown, QDir::toNativeSeparators(aside));
    }
}

bool LookupCache::run(QSqlQuery &query)
{
    if (m_quiet.load())
        return false;
    if (query.exec())
        return true;
    if (busy(query.lastError()) && !m_quiet.exchange(true) && m_warn)
        m_warn(QStringLiteral("the lookup cache %1 is held by another program; going on without it for the rest "
                              "of this run")
                   .arg(QDir::toNativeSeparators(m_path)));
    return false;
}

std::optional<QList<Capture>> LookupCache::rows(const QString &key)
{
    QSqlQuery q(connection().db);
    q.prepare(QStringLiteral("SELECT rows FROM lookups WHERE key = ? AND kind = 'rows' AND asked >= ?"));
    q.addBindValue(key);
    q.addBindValue(now() - m_maxAgeSeconds);
    if (!run(q) || !q.next())
        return std::nullopt;
    return rowsFrom(q.value(0).toString());
}

void LookupCache::storeRows(const QString &key, const QList<Capture> &captures)
{
    QSqlQuery q(connection().db);
    q.prepare(QStringLiteral("INSERT OR REPLACE INTO lookups (key, asked, kind, rows) VALUES (?, ?, 'rows', ?)"));
    q.addBindValue(key);
    q.addBindValue(now());
    q.addBindValue(rowsText(captures));
    run(q);
}

std::optional<QList<Capture>> LookupCache::captures(const QString &address)
{
    return rows(archiveKey(address));
}

void LookupCache::storeCaptures(const QString &address, const QList<Capture> &captures)
{
    storeRows(archiveKey(address), captures);
}

// An address's key never holds a space: a lookup by path cannot meet one.
std::optional<QList<Capture>> LookupCache::captures(const PathLookup &lookup)
{
    return rows(lookup.cacheKey());
}

void LookupCache::storeCaptures(const PathLookup &lookup, const QList<Capture> &captures)
{
    storeRows(lookup.cacheKey(), captures);
}

void LookupCache::forget(const PathLookup &lookup)
{
    QSqlQuery q(connection().db);
    q.prepare(QStringLiteral("DELETE FROM lookups WHERE key = ?"));
    q.addBindValue(lookup.cacheKey());
    run(q);
}

LookupCache::ReplayEntry LookupCache::replay(const QString &address, const QString &timestamp)
{
    ReplayEntry entry;
    QSqlQuery q(connection().db);
    q.prepare(QStringLiteral("SELECT outcome, video FROM replays WHERE key = ? AND timestamp = ? AND asked >= ?"));
    q.addBindValue(archiveKey(address));
    q.addBindValue(timestamp);
    q.addBindValue(now() - m_maxAgeSeconds);
    if (!run(q) || !q.next())
        return entry;
    entry.outcome = q.value(0).toString() == u"useful" ? Replay::Useful : Replay::Useless;
    if (!q.value(1).isNull())
        entry.video = q.value(1).toString();
    return entry;
}

void LookupCache::storeReplay(const QString &address, const QString &timestamp, Replay outcome,
                              const std::optional<QString> &video)
{
    QSqlQuery q(connection().db);
    q.prepare(QStringLiteral("INSERT OR REPLACE INTO replays (key, timestamp, asked, outcome, video) "
                             "VALUES (?, ?, ?, ?, ?)"));
    q.addBindValue(archiveKey(address));
    q.addBindValue(timestamp);
    q.addBindValue(now());
    q.addBindValue(outcomeText(outcome));
    // A null string would be bound as NULL, which means "not asked"; "" is "asked, none held".
    q.addBindValue(video ? QVariant(video->isNull() ? QStringLiteral("") : *video)
                         : QVariant(QMetaType(QMetaType::QString)));
    run(q);
}

void LookupCache::forget(const QString &address)
{
    QSqlQuery q(connection().db);
    for (const QString &table : {QStringLiteral("lookups"), QStringLiteral("replays")}) {
        q.prepare(QStringLiteral("DELETE FROM %1 WHERE key = ?").arg(table));
        q.addBindValue(archiveKey(address));
        run(q);
    }
}

DeferredLookupCache::DeferredLookupCache(QString path, int maxAgeDays,
                                         std::function<void(const QString &warning)> warn)
    : m_path(std::move(path)), m_maxAgeDays(maxAgeDays), m_warn(std::move(warn))
{
}

LookupCache *DeferredLookupCache::get()
{
    std::call_once(m_once, [this] {
        LookupCache::Opened opened = LookupCache::open(m_path, m_maxAgeDays, m_warn);
        m_cache = std::move(opened.cache);
        if (!opened.warning.isEmpty() && m_warn)
            m_warn(opened.warning);
    });
    return m_cache.get();
}

} // namespace Web
