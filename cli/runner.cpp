#include "cli/runner.h"

#include "cli/jsonline.h"
#include "download/downloader.h"
#include "download/records.h"
#include "download/targetname.h"
#include "web/archive.h"
#include "web/archivepacer.h"
#include "web/cancel.h"
#include "web/lookupcache.h"

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
      m_progress(drawProgress && !options.quiet, err), m_results(size_t(addresses.size())),
      m_cancel(std::make_shared<Web::CancelToken>())
{
    m_pool.setMaxThreadCount(options.jobs);
    m_archiveTicker.setInterval(500);
    connect(&m_archiveTicker, &QTimer::timeout, this, [this] { showProgress(true); });
}

Runner::~Runner()
{
    m_cancel->cancel();
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
    // The same file keeps what downloads wrote where; --no-cache concerns the archive's answers only.
    m_archiveCache = m_settings.cache.enabled && m_settings.archive.mode != Config::ArchiveMode::Off;
    if (m_archiveCache || m_options.download) {
        m_cache = std::make_shared<Web::DeferredLookupCache>(
            Web::LookupCache::defaultPath(), m_settings.cache.maxAgeDays, [this](const QString &warning) {
                QMetaObject::invokeMethod(
                    this, [this, warning] { m_progress.note(QStringLiteral("zavlen-get: warning: %1").arg(warning)); },
                    Qt::QueuedConnection);
            });
    }
    if (m_options.download)
        m_records = std::make_shared<Download::Records>(m_cache);
    if (!m_options.downloadArchive.isEmpty()) {
        m_downloadArchive.emplace();
        if (const QString problem = m_downloadArchive->open(m_options.downloadArchive); !problem.isEmpty()) {
            m_progress.note(QStringLiteral("zavlen-get: %1").arg(problem));
            m_downloadArchive.reset();
            m_failed = true;
        } else if (const int lines = m_downloadArchive->longLines()) {
            info(QStringLiteral("zavlen-get: note: the download archive %1 has %2 line(s) over 64 KiB; they were "
                                "skipped and mean nothing")
                     .arg(m_options.downloadArchive)
                     .arg(lines));
        }
    }
    showProgress(true);
    for (int i = 0; i < m_addresses.size(); ++i)
        startExtraction(i);
    QMetaObject::invokeMethod(this, [this] { checkDone(); }, Qt::QueuedConnection);
}

void Runner::startExtraction(int i)
{
    const auto deliver = [this, i](const Record &record) {
        QMetaObject::invokeMethod(this, [this, i, record] { onExtracted(i, record); }, Qt::QueuedConnection);
    };
    const QString &address = m_addresses.at(i);
    if (const auto refused = m_refused.constFind(i); refused != m_refused.cend())
        return deliver(refusedRecord(address, *refused));
    if (m_downloadArchive && m_downloadArchive->contains(archiveKeyOf(address))) {
        Record skipped;
        skipped.address = address;
        skipped.service = Extract::checkRoad(address, m_options.site, m_settings).service;
        skipped.outcome = Extract::Outcome::Done;
        skipped.skipped = true;
        if (skipped.service)
            skipped.info.service = *skipped.service;
        return deliver(skipped);
    }
    Extract::RoadHooks hooks;
    hooks.cancel = m_cancel.get();
    hooks.cache = m_archiveCache ? m_cache.get() : nullptr;
    hooks.refreshCache = m_options.refresh;
    hooks.status = [this, i](const QString &status) {
        if (status == Extract::statusArchiveSearch)
            QMetaObject::invokeMethod(this, [this, i] { onArchiveNeeded(i); }, Qt::QueuedConnection);
    };
    // The task holds the cache and the token itself: a signal may end the run before it starts.
    m_pool.start([deliver, address, hooks, site = m_options.site, cfg = m_settings, cache = m_cache,
                  cancel = m_cancel, network = &m_network] {
        if (cancel->isCancelled()) {
            Record stopped;
            stopped.address = address;
            stopped.outcome = Extract::Outcome::Cancelled;
            return deliver(stopped);
        }
        const Web::FetchFunction fetch = [network](const QString &url, const Web::FetchOptions &options) {
            return network->fetch(url, options);
        };
        deliver(recordFromRoad(address, Extract::runRoad(address, site, cfg, fetch, hooks)));
    });
}

QString Runner::archiveKeyOf(const QString &address) const
{
    const Extract::RoadResult checked = Extract::checkRoad(address, m_options.site, m_settings);
    if (!checked.started)
        return QString();
    return DownloadArchive::keyOf(Extract::serviceKey(*checked.service),
                                  Extract::pageId(*checked.service, checked.address, m_settings));
}

void Runner::interrupt(int signal)
{
    if (m_interrupted)
        return;
    m_interrupted = signal;
    m_cancel->cancel();
    m_waiting.clear();
    for (auto it = m_running.keyBegin(); it != m_running.keyEnd(); ++it)
        (*it)->cancel();
    checkDone();
}

void Runner::onArchiveNeeded(int index)
{
    m_needArchive.insert(index);
    if (!m_archiveTicker.isActive() && m_progress.isDrawn())
        m_archiveTicker.start();
    showProgress(true);
}

void Runner::onExtracted(int index, Record record)
{
    if (m_interrupted && !record.ok()) {
        record.outcome = Extract::Outcome::Cancelled;
        record.error = errorInterrupted;
        record.info = {};
    }
    if (m_needArchive.contains(index))
        ++m_archiveDone;
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
        if (record.skipped) {
            info(QStringLiteral("%1: %2").arg(printable(record.address), noteInDownloadArchive));
        } else if (!record.ok()) {
            m_failed = true;
            error(record.address, record.error.value_or(Extract::statusNoVideo));
        } else if (m_options.download && !m_interrupted) {
            queueDownload(index, record);
        }
    }
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
    if (m_archiveDone < m_needArchive.size()) {
        auto &pacer = Web::ArchivePacer::instance();
        s.archive = ArchiveProgress{m_archiveDone, int(m_needArchive.size()),
                                    std::max(pacer.nextTurnIn(Web::ArchivePacer::Lane::Index), pacer.holdLeft()),
                                    m_settings.archive.indexPerMinute};
    } else if (m_archiveTicker.isActive()) {
        m_archiveTicker.stop();
    }
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
    if (m_done || m_nextToPrint < int(m_results.size()) || !m_running.isEmpty() || !m_waiting.empty()
        || m_sideTasks > 0)
        return;
    m_done = true;
    m_archiveTicker.stop();
    m_progress.finish();
    Q_EMIT finished(m_interrupted ? 128 + m_interrupted : m_failed ? 1 : 0);
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
