// What downloads wrote where, in the lookup cache's file: the records by which a later run tells
// its own files from anybody else's.
#include "web/lookupcache.h"

#include <QDateTime>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QVariant>

namespace Web {

std::optional<DownloadRecord> LookupCache::downloadRecord(const QString &path)
{
    QSqlQuery q(database());
    q.prepare(QStringLiteral("SELECT state, video, validator, size FROM downloads WHERE path = ?"));
    q.addBindValue(path);
    if (!run(q) || !q.next())
        return std::nullopt;
    DownloadRecord record;
    const QString state = q.value(0).toString();
    if (state == u"done")
        record.state = DownloadRecord::State::Done;
    else if (state == u"side")
        record.state = DownloadRecord::State::Side;
    else if (state != u"part")
        return std::nullopt;
    record.video = q.value(1).toString();
    record.validator = q.value(2).toString();
    record.size = q.value(3).isNull() ? -1 : q.value(3).toLongLong();
    return record;
}

bool LookupCache::storeDownloadRecord(const QString &path, const DownloadRecord &record)
{
    static const QString states[] = {QStringLiteral("part"), QStringLiteral("done"), QStringLiteral("side")};
    QSqlQuery q(database());
    q.prepare(QStringLiteral("INSERT OR REPLACE INTO downloads (path, state, video, validator, size, written) "
                             "VALUES (?, ?, ?, ?, ?, ?)"));
    q.addBindValue(path);
    q.addBindValue(states[int(record.state)]);
    q.addBindValue(record.video);
    q.addBindValue(record.validator);
    q.addBindValue(record.size);
    q.addBindValue(QDateTime::currentSecsSinceEpoch());
    return run(q);
}

void LookupCache::forgetDownloadRecord(const QString &path)
{
    QSqlQuery q(database());
    q.prepare(QStringLiteral("DELETE FROM downloads WHERE path = ?"));
    q.addBindValue(path);
    run(q);
}

} // namespace Web
