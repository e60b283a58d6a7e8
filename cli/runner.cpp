#include "cli/runner.h"

#include "cli/jsonline.h"
#include "download/downloader.h"
#include "download/targetname.h"
#include "web/archive.h"

#include <QDir>
#include <QFileInfo>
#include <QUrl>

#include <utility>

namespace Cli {

namespace {

// An address on one line of plain output: a control character would split or garble the line.
QByteArray plainLine(const Record &r)
{
    if (!r.ok())
        return QByteArray("\n");
    QByteArray line = r.info.videoToFetch().toUtf8();
    QByteArray safe;
    safe.reserve(line.size() + 1);
    for (const char c : line) {
        if (static_cast<unsigned char>(c) < 0x20 || c == 0x7f)
            safe += '%' + QByteArray::number(static_cast<unsigned char>(c), 16).rightJustified(2, '0').toUpper();
        else
            safe += c;
    }
    return safe + '\n';
}

} // namespace

QString printable(const QString &address, int limit)
{
    QString s = address.size() > limit ? address.left(limit - 3) + QStringLiteral("...") : address;
    for (QChar &c : s) {
        if (c.category() == QChar::Other_Control || c.category() == QChar::Other_Format)
            c = u'?';
    }
    return s;
}

Runner::Runner(const Options &options, const Config::Settings &settings, const QStringList &addresses,
               std::FILE *out, std::FILE *err, bool drawProgress, QObject *parent)
    : QObject(parent), m_options(options), m_settings(settings), m_addresses(addresses), m_out(out),
      m_progress(drawProgress && !options.quiet && (options.download || addresses.size() > 1), err),
      m_results(size_t(addresses.size()))
{
    m_pool.setMaxThreadCount(options.jobs);
}

Runner::~Runner()
{
    m_pool.waitForDone();
}

void Runner::refuse(int index, const QString &error)
{
    m_refused.insert(index, error);
}

void Runner::start()
{
    if (m_options.download) {
        if (!QDir().mkpath(m_options.outputDir)) {
            m_progress.note(QStringLiteral("zavlen-get: cannot create the output folder %1").arg(m_options.outputDir));
            m_failed = true;
            m_options.download = false;
        }
        m_folder = QDir(m_options.outputDir).absolutePath();
    }
    showProgress(true);
    for (int i = 0; i < m_addresses.size(); ++i) {
        if (const auto refused = m_refused.constFind(i); refused != m_refused.cend()) {
            const Record record = refusedRecord(m_addresses.at(i), *refused);
            QMetaObject::invokeMethod(this, [this, i, record] { onExtracted(i, record); }, Qt::QueuedConnection);
            continue;
        }
        m_pool.start([this, i, address = m_addresses.at(i), site = m_options.site, cfg = m_settings] {
            const Record record = extractAddress(address, site, cfg);
            QMetaObject::invokeMethod(this, [this, i, record] { onExtracted(i, record); }, Qt::QueuedConnection);
        });
    }
    QMetaObject::invokeMethod(this, [this] { checkDone(); }, Qt::QueuedConnection);
}

void Runner::onExtracted(int index, const Record &record)
{
    m_results[size_t(index)] = record;
    emitReady();
    showProgress();
    checkDone();
}

void Runner::emitReady()
{
    while (m_nextToPrint < int(m_results.size()) && m_results[size_t(m_nextToPrint)]) {
        const int index = m_nextToPrint++;
        const Record record = *std::exchange(m_results[size_t(index)], std::nullopt);
        m_progress.writeAbove(m_out, m_options.json ? jsonLine(record) : plainLine(record));
        if (const auto &archived = record.info.archived; record.ok() && archived)
            info(QStringLiteral("%1: from the web archive, captured %2: %3")
                     .arg(printable(record.address), Web::captureDate(archived->timestamp), printable(archived->page)));
        if (!record.ok()) {
            m_failed = true;
            error(record.address, record.error.value_or(Extract::statusNoVideo));
        } else if (m_options.download) {
            queueDownload(index, record);
        }
    }
}

QString Runner::reserveTarget(const QString &fileName)
{
    // A target occupies its name and its ".part": either one would mix two videos' bytes.
    const QString candidate = Download::freeName(Download::finalFileName(fileName), [this](const QString &name) {
        return !m_reservedTargets.contains(name) && !m_reservedTargets.contains(name + Download::partSuffix);
    });
    m_reservedTargets.insert(candidate);
    m_reservedTargets.insert(candidate + Download::partSuffix);
    return QDir(m_folder).filePath(candidate);
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
    const QString target = reserveTarget(Download::downloadName(record.info));
    m_targetOfVideo.insert(video, target);
    // A file under the final name is only ever written complete, so an earlier run finished it.
    if (QFileInfo(target).isFile()) {
        info(QStringLiteral("%1: already downloaded, skipped: %2")
                 .arg(printable(address), QDir::toNativeSeparators(target)));
        return;
    }
    ++m_downloadsTotal;
    m_waiting.push_back({index, address, video, target});
    startDownloads();
}

void Runner::startDownloads()
{
    while (!m_waiting.empty() && m_running.size() < m_options.jobs) {
        const Job job = m_waiting.front();
        m_waiting.pop_front();
        auto *downloader = new Download::Downloader(this);
        connect(downloader, &Download::Downloader::progress, this,
                [this, downloader](qint64 received, qint64 total, double speed) {
                    onDownloadProgress(downloader, received, total, speed);
                });
        connect(downloader, &Download::Downloader::finished, this,
                [this, downloader, job](const Download::DownloadResult &result) {
                    onDownloadFinished(downloader, job, result);
                });
        m_running.insert(downloader, {});
        if (!downloader->start(QUrl(job.video), job.target)) {
            m_running.remove(downloader);
            downloader->deleteLater();
            ++m_downloadsDone;
            m_failed = true;
            error(job.address, QStringLiteral("download not started: %1 is already being written")
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
    if (result.ok()) {
        info(QStringLiteral("%1: saved %2 (%3)%4")
                 .arg(printable(job.address), QDir::toNativeSeparators(result.path), formatBytes(result.bytes),
                      result.resumed ? QStringLiteral(", resumed") : QString()));
    } else {
        m_failed = true;
        const QString where = result.path.isEmpty() ? QString()
                                                    : QStringLiteral(" [%1]").arg(QDir::toNativeSeparators(result.path));
        error(job.address, result.error + where);
    }
    startDownloads();
    checkDone();
}

void Runner::showProgress(bool force)
{
    ProgressState s;
    s.addressesTotal = int(m_addresses.size());
    s.addressesDone = m_nextToPrint;
    s.downloadsTotal = m_downloadsTotal;
    s.downloadsDone = m_downloadsDone;
    s.downloadsActive = int(m_running.size());
    s.total = 0;
    for (const Transfer &t : std::as_const(m_running)) {
        s.received += t.received;
        s.bytesPerSecond += t.bytesPerSecond;
        if (t.total < 0 || s.total < 0)
            s.total = -1;
        else
            s.total += t.total;
    }
    m_progress.update(s, force);
}

void Runner::checkDone()
{
    if (m_done || m_nextToPrint < int(m_results.size()) || !m_running.isEmpty() || !m_waiting.empty())
        return;
    m_done = true;
    m_progress.finish();
    Q_EMIT finished(m_failed ? 1 : 0);
}

void Runner::error(const QString &address, const QString &message)
{
    m_progress.note(QStringLiteral("zavlen-get: %1: %2").arg(printable(address), message));
}

void Runner::info(const QString &message)
{
    if (!m_options.quiet)
        m_progress.note(message);
}

} // namespace Cli
