// The downloads of a run and what is kept beside each: its tags, record, cover, date and its line
// in the download archive.
#include "cli/runner.h"

#include "cli/jsonline.h"
#include "download/downloader.h"
#include "download/outputtemplate.h"
#include "download/namerules.h"
#include "download/provenance.h"
#include "download/records.h"
#include "download/targetchoice.h"
#include "download/targetname.h"

#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QUrl>

namespace Cli {

QString Runner::reserveTarget(const QString &fileName, const QString &video, bool &finished)
{
    Download::TargetWish wish;
    wish.folder = m_folder;
    wish.fileName = Download::finalFileName(fileName);
    wish.video = video;
    wish.sideSuffixes = Download::sideSuffixes(m_settings.download);
    // A target occupies its name, its ".part" and the names beside it: any of them would mix two
    // videos' files.
    wish.reserved = [this](const QString &name) {
        return m_reservedTargets.contains(name) || m_reservedTargets.contains(name + Download::partSuffix);
    };
    const Download::TargetChoice choice = Download::chooseTarget(wish, *m_records);
    finished = choice.finished;
    if (choice.path.isEmpty())
        return QString();
    const QString name = QFileInfo(choice.path).fileName();
    m_reservedTargets.insert(name);
    m_reservedTargets.insert(name + Download::partSuffix);
    for (const QString &suffix : std::as_const(wish.sideSuffixes))
        m_reservedTargets.insert(Download::sideName(name, suffix));
    return choice.path;
}

void Runner::queueDownload(int index, const Record &record)
{
    const QString &address = record.address;
    const QString video = record.info.videoToFetch();
    if (m_targetOfVideo.contains(video)) {
        info(QStringLiteral("%1: same video as an earlier address, downloaded once to %2")
                 .arg(printable(address), QDir::toNativeSeparators(m_targetOfVideo.value(video))));
        return;
    }
    const QString key = m_downloadArchive ? archiveKeyOf(address) : QString();
    const QString &nameTemplate = m_settings.download.nameTemplate;
    const QString name = nameTemplate.isEmpty()
                             ? Download::downloadName(record.info)
                             : Download::templateName(nameTemplate, record.info,
                                                      Extract::pageId(record.info.service, record.info.page, m_settings));
    bool finished = false;
    const QString target = reserveTarget(name, video, finished);
    if (target.isEmpty()) {
        m_failed = true;
        error(address, QStringLiteral("not downloaded: %1 and every numbered name up to \"(%2)\" are taken in %3")
                           .arg(name)
                           .arg(Download::maxNameNumber)
                           .arg(QDir::toNativeSeparators(m_folder)));
        return;
    }
    m_targetOfVideo.insert(video, target);
    if (finished) {
        info(QStringLiteral("%1: already downloaded, skipped: %2")
                 .arg(printable(address), QDir::toNativeSeparators(target)));
        if (m_downloadArchive)
            m_downloadArchive->add(key);
        return;
    }
    ++m_downloadsTotal;
    m_waiting.push_back({index, record, video, target, key});
    startDownloads();
}

void Runner::startDownloads()
{
    while (!m_waiting.empty() && m_running.size() < m_options.jobs) {
        const Job job = m_waiting.front();
        m_waiting.pop_front();
        auto *downloader = new Download::Downloader(this);
        downloader->setRecords(m_records);
        connect(downloader, &Download::Downloader::progress, this,
                [this, downloader](qint64 received, qint64 total, double speed) {
                    onDownloadProgress(downloader, received, total, speed);
                });
        connect(downloader, &Download::Downloader::finished, this,
                [this, downloader, job](const Download::DownloadResult &result) {
                    onDownloadFinished(downloader, job, result);
                });
        if (m_settings.download.embedMetadata) {
            downloader->setBeforeRename([info = job.record.info](const QString &part) {
                return Download::embedTags(part, info);
            });
        }
        m_running.insert(downloader, {});
        if (!downloader->start(QUrl(job.video), job.target)) {
            m_running.remove(downloader);
            downloader->deleteLater();
            ++m_downloadsDone;
            m_failed = true;
            error(job.record.address, QStringLiteral("download not started: %1 is already being written")
                                          .arg(QDir::toNativeSeparators(job.target)));
        }
    }
    showProgress(true);
}

void Runner::onDownloadProgress(Download::Downloader *downloader, qint64 received, qint64 total, double speed)
{
    auto it = m_running.find(downloader);
    if (it == m_running.end())
        return;
    *it = {received, total, speed};
    showProgress();
}

void Runner::onDownloadFinished(Download::Downloader *downloader, const Job &job, const Download::DownloadResult &result)
{
    if (!m_running.remove(downloader))
        return;
    downloader->deleteLater();
    ++m_downloadsDone;
    const QString &address = job.record.address;
    if (result.ok()) {
        info(QStringLiteral("%1: saved %2 (%3)%4")
                 .arg(printable(address), QDir::toNativeSeparators(result.path), formatBytes(result.bytes),
                      result.resumed ? QStringLiteral(", resumed") : QString()));
        keepProvenance(job, result);
    } else {
        m_failed = true;
        const QString where = result.path.isEmpty() ? QString()
                                                    : QStringLiteral(" [%1]").arg(QDir::toNativeSeparators(result.path));
        error(address, result.error + where);
    }
    startDownloads();
    checkDone();
}

void Runner::keepProvenance(const Job &job, const Download::DownloadResult &result)
{
    const Config::Download &keep = m_settings.download;
    const Extract::VideoInfo &v = job.record.info;
    const QString address = printable(job.record.address);
    // A file that could not be tagged is still the video as served: a note, not a failure.
    if (!result.note.isEmpty())
        info(QStringLiteral("%1: %2").arg(address, result.note));
    if (keep.pageDateAsMtime) {
        switch (Download::datePageFile(result.path, v.date)) {
        case Download::PageDating::Set:
            break;
        case Download::PageDating::NoMoment:
            info(QStringLiteral("%1: modification time left alone: the page's date \"%2\" is no moment")
                     .arg(address, printable(v.date)));
            break;
        case Download::PageDating::Implausible:
            info(QStringLiteral("%1: modification time left alone: the page's date \"%2\" is before 2005 or after "
                                "tomorrow")
                     .arg(address, printable(v.date)));
            break;
        case Download::PageDating::Failed:
            info(QStringLiteral("%1: modification time left alone: it could not be set").arg(address));
            break;
        }
    }
    if (keep.writeInfoJson) {
        const Download::SideOutcome json = Download::writeInfoJson(result.path, jsonLine(job.record),
                                                                   QDateTime::currentDateTimeUtc(), *m_records, job.video);
        if (json.failed) {
            m_failed = true;
            error(job.record.address, json.problem);
        } else if (!json.problem.isEmpty()) {
            info(QStringLiteral("%1: %2").arg(address, json.problem));
        }
    }
    if (keep.writeThumbnail) {
        ++m_sideTasks;
        Download::saveThumbnail(v.coverToFetch(), result.path, m_records, job.video, this,
                                [this, address](const QString &path, const QString &problem) {
            --m_sideTasks;
            if (path.isEmpty())
                info(QStringLiteral("%1: %2").arg(address, problem));
            checkDone();
        });
    }
    if (m_downloadArchive) {
        if (const QString problem = m_downloadArchive->add(job.archiveKey); !problem.isEmpty()) {
            m_failed = true;
            error(job.record.address, problem);
        }
    }
}

} // namespace Cli
