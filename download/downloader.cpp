#include "download/downloader_private.h"

#include "download/downloadtext.h"
#include "download/partrules.h"
#include "download/targets.h"
#include "web/network.h"

#include <QDir>
#include <QFileInfo>
#include <QTimer>
#include <cerrno>

namespace Download {

namespace {

constexpr qint64 progressIntervalMs = 100;

} // namespace

void Downloader::Private::fail(DownloadResult::Status status, const QString &text)
{
    if (failure)
        return;
    failure = failed(status, text);
    // Aborting from inside the reply's own notification upsets QNetworkReply; the rest of the
    // answer is thrown away meanwhile. One that failed already (an error status) is on its way to
    // its end: aborting it again only makes Qt warn, on the standard error zavlen-get writes to.
    QTimer::singleShot(0, q, [r = reply] {
        if (r && r->isRunning() && r->error() == QNetworkReply::NoError)
            r->abort();
    });
}

void Downloader::Private::emitProgress(bool force)
{
    if (!force && lastProgress.isValid() && lastProgress.elapsed() < progressIntervalMs)
        return;
    lastProgress.start();
    const qint64 ms = clock.elapsed();
    const double speed = ms > 0 ? double(received) * 1000.0 / double(ms) : 0.0;
    emit q->progress(offset + received, total, speed);
}

void Downloader::Private::finish(DownloadResult result)
{
    const QString part = partPathOf(target);
    if (file.isOpen())
        file.close();
    if (result.ok()) {
        emitProgress(true);
        if (beforeRename)
            result.note = beforeRename(part);
        // Whatever took the name meanwhile is not ours to replace.
        int error = 0;
        const QString written = renameToFreeName(part, contentTarget(target, part), error);
        if (!written.isEmpty()) {
            result.path = written;
            result.bytes = QFileInfo(written).size();
            records->finished(written, target, url.toString(QUrl::FullyEncoded));
        } else {
            result.status = DownloadResult::Status::FileError;
            result.error = saveErrorText(target);
        }
    }
    if (!result.ok()) {
        const QFileInfo info(part);
        // An empty ".part" holds nothing worth resuming, nor one no later run could tell for this
        // video's: it would only keep the name from the next try.
        if (ownsPart && info.isFile() && (info.size() == 0 || !partKnown))
            QFile::remove(part);
        const bool kept = ownsPart && QFileInfo(part).isFile();
        result.path = kept ? part : QString();
        result.bytes = kept ? QFileInfo(part).size() : 0;
        // Whether there is anything to resume is known only now.
        if (result.status == DownloadResult::Status::Cancelled)
            result.error = cancelledText(kept);
        else if (result.status == DownloadResult::Status::Incomplete)
            result.error = incompleteText(stalled, kept);
    }
    result.resumed = resumed;
    running = false;
    releaseTarget(key);
    emit q->finished(result);
}

void Downloader::Private::finishLater(DownloadResult::Status status, const QString &text)
{
    QTimer::singleShot(0, q, [this, result = failed(status, text)] {
        if (running)
            finish(result);
    });
}

void Downloader::Private::dropReply()
{
    if (!reply)
        return;
    QNetworkReply *r = reply;
    reply = nullptr;
    QObject::disconnect(r, nullptr, q, nullptr);
    if (r->isRunning())
        r->abort();
    r->deleteLater();
}

Downloader::Downloader(QObject *parent) : QObject(parent), d(new Private)
{
    d->q = this;
}

Downloader::~Downloader()
{
    d->dropReply();
    if (d->file.isOpen()) {
        d->file.close();
        if (d->file.size() == 0)
            d->file.remove();
    }
    if (d->running)
        releaseTarget(d->key);
    delete d;
}

bool Downloader::start(const QUrl &url, const QString &targetPath)
{
    if (d->running || targetPath.isEmpty())
        return false;
    const QString wanted = Records::key(targetPath);
    if (!claimTarget(wanted))
        return false;

    d->key = wanted;
    d->target = wanted;
    d->url = url;
    d->running = true;
    d->offset = 0;
    d->received = 0;
    d->total = -1;
    d->resumed = false;
    d->headersSeen = false;
    d->alreadyComplete = false;
    d->cancelled = false;
    d->restarted = false;
    d->restartPending = false;
    d->failure.reset();
    d->ownsPart = false;
    d->partKnown = false;
    d->stalled = false;
    d->validator.clear();
    d->clock.start();
    d->lastProgress.invalidate();

    if (!url.isValid() || !Web::NetworkAccess::isFetchable(url)) {
        d->finishLater(DownloadResult::Status::BadAddress, QStringLiteral("下载失败: 不是有效的视频地址"));
        return true;
    }
    const QString name = QFileInfo(wanted).fileName();
    if (finalFileName(name) != name) {
        d->finishLater(DownloadResult::Status::FileError,
                       QStringLiteral("下载失败: 文件名不能以 .part 结尾, 它是未完成下载的名字"));
        return true;
    }
    const QString video = url.toString(QUrl::FullyEncoded);
    const QString target = partTarget(wanted, url, *d->records);
    if (target.isEmpty()) {
        d->finishLater(DownloadResult::Status::FileError, noFreeNameText(wanted));
        return true;
    }
    if (target != wanted) {
        releaseTarget(wanted);
        claimTarget(target);
        d->key = d->target = target;
    }
    const QFileInfo before(target + partSuffix);
    const bool continued = before.exists() || before.isSymLink();
    // Recorded before the file exists: a run killed at any moment leaves no ".part" it cannot claim.
    if (continued) {
        d->validator = d->records->partOf(target, video).value_or(QString());
        d->partKnown = true;
    } else {
        d->partKnown = d->records->startedPart(target, video, QString());
    }
    d->file.setFileName(partPathOf(target));
    if (!d->file.open(QIODevice::ReadWrite | QIODevice::Unbuffered)) {
        const int error = errno;
        d->finishLater(DownloadResult::Status::FileError, createErrorText(d->file.fileName(), error));
        return true;
    }
    d->ownsPart = true;
    d->offset = d->file.size();
    if (!d->file.seek(d->offset)) {
        d->file.close();
        d->finishLater(DownloadResult::Status::FileError, writeErrorText(d->file.fileName()));
        return true;
    }
    d->issue(d->offset > 0);
    return true;
}

void Downloader::setRecords(std::shared_ptr<Records> records)
{
    d->records = records ? std::move(records) : std::make_shared<Records>(nullptr);
}

void Downloader::setBeforeRename(std::function<QString(const QString &partPath)> step)
{
    d->beforeRename = std::move(step);
}

void Downloader::cancel()
{
    if (!d->running || d->cancelled)
        return;
    d->cancelled = true;
    if (d->reply && d->reply->isRunning() && !d->restartPending) {
        d->reply->abort(); // its end reports the cancellation
        return;
    }
    d->dropReply();
    d->finish(failed(DownloadResult::Status::Cancelled, QString()));
}

bool Downloader::isRunning() const
{
    return d->running;
}

QString Downloader::target() const
{
    return d->target;
}

} // namespace Download
