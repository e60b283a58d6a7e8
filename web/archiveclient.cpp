#include "web/archiveclient.h"

#include "config/settings.h"
#include "web/cancel.h"

#include <QUrl>

namespace Web {

namespace {

using std::chrono::milliseconds;

bool isSuccess(int status)
{
    return status >= 200 && status < 300;
}

bool isRedirect(int status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

} // namespace

FetchFunction networkFetch()
{
    return [](const QString &url, const FetchOptions &options) { return fetch(url, options); };
}

ArchiveClient::ArchiveClient(const Config::Settings &cfg, FetchFunction fetch, const CancelToken *cancel)
    : m_cfg(cfg), m_fetch(std::move(fetch)), m_cancel(cancel)
{
    m_clock.start();
}

milliseconds ArchiveClient::budgetLeft() const
{
    return milliseconds(qint64(m_cfg.archive.budgetSeconds) * 1000 - (m_clock.elapsed() - m_paced.count()));
}

ArchiveClient::Sent ArchiveClient::send(ArchivePacer::Lane lane, const QString &url, FetchOptions options)
{
    Sent out;
    if (m_cancel && m_cancel->isCancelled()) {
        out.problem = ArchiveProblem::Cancelled;
        return out;
    }
    const int perMinute = lane == ArchivePacer::Lane::Index ? m_cfg.archive.indexPerMinute : m_cfg.archive.replayPerMinute;
    // A hold is waited out only when the budget keeps a whole request's time limit after it.
    const milliseconds canWait = budgetLeft() - milliseconds(qint64(m_cfg.network.timeoutSeconds) * 1000);
    const ArchivePacer::Turn turn =
        ArchivePacer::instance().awaitTurn(lane, perMinute, std::max(canWait, milliseconds(0)), m_cancel);
    m_paced += turn.paced;
    if (turn.kind != ArchivePacer::Turn::Kind::Go) {
        out.problem = turn.kind == ArchivePacer::Turn::Kind::Held ? ArchiveProblem::Busy : ArchiveProblem::Cancelled;
        return out;
    }
    const milliseconds left = budgetLeft();
    if (left.count() <= 0) {
        out.problem = ArchiveProblem::TooSlow;
        return out;
    }
    const qint64 limit = qint64(m_cfg.network.timeoutSeconds) * 1000;
    // A request cut short by what is left of the budget leaves nothing for the next one.
    const bool lastChance = left.count() <= limit;
    options.timeoutMs = int(std::min(limit, qint64(left.count())));
    options.cancel = m_cancel;
    options.followRedirects = false;
    out.result = m_fetch(url, options);
    const int status = out.result.httpStatus;
    if (out.result.error == FetchError::Cancelled) {
        out.problem = ArchiveProblem::Cancelled;
    } else if (status == 429 || status == 503) {
        ArchivePacer::instance().holdOff(retryAfter(out.result.retryAfter, ArchivePacer::defaultHold));
        out.problem = ArchiveProblem::Busy;
    } else if (out.result.error == FetchError::Timeout && lastChance) {
        out.problem = ArchiveProblem::TooSlow;
    }
    return out;
}

ArchiveClient::Index ArchiveClient::askIndex(const QString &query, const CaptureFilter &filter)
{
    Index out;
    const Sent sent = send(ArchivePacer::Lane::Index, query, {});
    const FetchResult &r = sent.result;
    // An index that cannot answer now is not an index without captures.
    if (sent.problem != ArchiveProblem::None) {
        out.problem = sent.problem == ArchiveProblem::Busy && r.httpStatus == 503 ? ArchiveProblem::Unavailable
                                                                                 : sent.problem;
        return out;
    }
    // An index that does not know the address at all has no capture of it.
    if (r.ok() && (r.httpStatus == 404 || r.httpStatus == 410))
        return out;
    const std::optional<QList<Capture>> rows =
        r.ok() && isSuccess(r.httpStatus) ? parseCaptures(r.body, filter) : std::nullopt;
    if (!rows)
        out.problem = ArchiveProblem::Unavailable;
    else
        out.captures = *rows;
    return out;
}

ArchiveClient::Index ArchiveClient::captures(const QString &address)
{
    Index out = askIndex(captureQuery(m_cfg.archive.indexUrl, address),
                         {archiveKey(address), latestCaptureTime(), indexRowLimit, nullptr});
    out.captures = nearestCaptures(out.captures, m_cfg.archive.around, m_cfg.archive.tries);
    return out;
}

ArchiveClient::Index ArchiveClient::captures(const PathLookup &lookup)
{
    return askIndex(prefixQuery(m_cfg.archive.indexUrl, lookup), {QString(), latestCaptureTime(), indexRowLimit, &lookup});
}

ArchiveClient::Replay ArchiveClient::replay(const QString &timestamp, const QString &original, bool statusOnly)
{
    Replay out;
    out.address = replayAddress(timestamp, original);
    QUrl at(out.address, QUrl::TolerantMode);
    FetchOptions options;
    options.statusOnly = statusOnly;
    for (int redirects = 0;; ++redirects) {
        Sent sent = send(ArchivePacer::Lane::Replay, at.toString(QUrl::FullyEncoded), options);
        if (sent.problem != ArchiveProblem::None) {
            out.problem = sent.problem;
            return out;
        }
        const FetchResult &r = sent.result;
        if (!r.ok())
            return out;
        out.answered = true;
        if (isRedirect(r.httpStatus)) {
            // The nearest capture is another moment of the same archive, never another site.
            const QUrl next = at.resolved(QUrl(QString::fromUtf8(r.location), QUrl::TolerantMode));
            if (redirects == maxReplayRedirects || r.location.isEmpty()
                || !isReplayRedirect(m_cfg.archive.replayUrl, at, next))
                return out;
            at = next;
            continue;
        }
        out.found = isSuccess(r.httpStatus);
        out.status = r.httpStatus;
        out.length = r.contentLength;
        out.originalLength = r.originalLength;
        if (out.found) {
            out.body = std::move(sent.result.body);
            out.contentType = sent.result.contentType;
        }
        return out;
    }
}

ArchiveClient::Hop ArchiveClient::redirectOf(const QString &timestamp, const QString &original)
{
    Hop out;
    out.timestamp = timestamp;
    QUrl at(replayAddress(timestamp, original), QUrl::TolerantMode);
    FetchOptions options;
    options.statusOnly = true;
    for (int redirects = 0; redirects <= maxReplayRedirects; ++redirects) {
        const Sent sent = send(ArchivePacer::Lane::Replay, at.toString(QUrl::FullyEncoded), options);
        out.problem = sent.problem;
        const FetchResult &r = sent.result;
        if (sent.problem != ArchiveProblem::None || !r.ok())
            return out;
        out.answered = true;
        if (!isRedirect(r.httpStatus) || r.location.isEmpty())
            return out;
        const QUrl location(QString::fromUtf8(r.location), QUrl::TolerantMode);
        const QUrl next = at.resolved(location);
        const std::optional<Replayed> replayed = replayedCapture(m_cfg.archive.replayUrl, next);
        if (!replayed) {
            // The target as the link named it, not rewritten into the archive.
            out.target = QUrl(original, QUrl::TolerantMode).resolved(location).toString(QUrl::FullyEncoded);
            return out;
        }
        // Another moment of the link itself: the archive's way to its nearest capture.
        if (archiveKey(replayed->original) == archiveKey(original)) {
            if (!isReplayRedirect(m_cfg.archive.replayUrl, at, next))
                return out;
            at = next;
            out.timestamp = replayed->timestamp;
            continue;
        }
        out.target = replayed->original;
        return out;
    }
    return out;
}

bool ArchiveClient::Replay::whole() const
{
    const QByteArray type = contentType.split(';').first().trimmed().toLower();
    return found && (status == 200 || status == 203) && type != "text/html" && type != "application/xhtml+xml"
           && (length < 0 || originalLength < 0 || length == originalLength);
}

QString ArchiveClient::replayAddress(const QString &timestamp, const QString &original) const
{
    return Web::replayAddress(m_cfg.archive.replayUrl, timestamp, original);
}

} // namespace Web
