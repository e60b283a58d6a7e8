#include "download/records.h"

#include "web/lookupcache.h"

#include <QDir>
#include <QFileInfo>
#include <QUrl>

namespace Download {

using Web::DownloadRecord;

Records::Records(std::shared_ptr<Web::DeferredLookupCache> store) : m_store(std::move(store)) {}

QString Records::key(const QString &path)
{
    return QDir::cleanPath(QFileInfo(path).absoluteFilePath());
}

QString Records::videoKey(const QString &video)
{
    return QUrl(video, QUrl::TolerantMode).toString(QUrl::FullyEncoded);
}

bool Records::isFinished(const QString &path, const QString &video)
{
    Web::LookupCache *cache = m_store ? m_store->get() : nullptr;
    if (!cache)
        return false;
    const QFileInfo file(path);
    const std::optional<DownloadRecord> record = cache->downloadRecord(key(path));
    return record && record->state == DownloadRecord::State::Done && record->video == videoKey(video)
           && file.isFile() && !file.isSymLink() && file.size() == record->size;
}

std::optional<QString> Records::partOf(const QString &target, const QString &video)
{
    Web::LookupCache *cache = m_store ? m_store->get() : nullptr;
    if (!cache)
        return std::nullopt;
    const std::optional<DownloadRecord> record = cache->downloadRecord(key(target));
    if (!record || record->state != DownloadRecord::State::Part || record->video != videoKey(video))
        return std::nullopt;
    return record->validator;
}

bool Records::isSideOf(const QString &path, const QString &video)
{
    Web::LookupCache *cache = m_store ? m_store->get() : nullptr;
    if (!cache)
        return false;
    const std::optional<DownloadRecord> record = cache->downloadRecord(key(path));
    return record && record->state == DownloadRecord::State::Side && record->video == videoKey(video);
}

bool Records::startedPart(const QString &target, const QString &video, const QString &validator)
{
    Web::LookupCache *cache = m_store ? m_store->get() : nullptr;
    return cache && cache->storeDownloadRecord(key(target), {DownloadRecord::State::Part, videoKey(video), validator, -1});
}

void Records::finished(const QString &path, const QString &target, const QString &video)
{
    Web::LookupCache *cache = m_store ? m_store->get() : nullptr;
    if (!cache)
        return;
    cache->storeDownloadRecord(key(path), {DownloadRecord::State::Done, videoKey(video), QString(), QFileInfo(path).size()});
    // The ".part" it was started under is gone; its name tells nothing more.
    if (key(target) != key(path))
        cache->forgetDownloadRecord(key(target));
}

void Records::wroteSide(const QString &path, const QString &video)
{
    if (Web::LookupCache *cache = m_store ? m_store->get() : nullptr)
        cache->storeDownloadRecord(key(path), {DownloadRecord::State::Side, videoKey(video), QString(), -1});
}

} // namespace Download
