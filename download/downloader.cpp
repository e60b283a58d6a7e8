#include "download/downloader.h"

#include "config/settings.h"
#include "download/downloadtext.h"
#include "download/httpanswer.h"
#include "download/targets.h"
#include "web/network.h"

#include <QDir>
#include <QFileInfo>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QStorageInfo>
#include <QTimer>
#include <cerrno>
#include <optional>

namespace Download {

namespace {

constexpr qint64 progressIntervalMs = 100;

QString partPathOf(const QString &target)
{
    return target + partSuffix;
}

DownloadResult failed(DownloadResult::Status status, const QString &text)
{
    DownloadResult result;
    result.status = status;
    result.error = text;
    return result;
}

} // namespace

struct Downloader::Private
{
    Downloader *q = nullptr;
    QPointer<QNetworkReply> reply;
    QFile file;
    QUrl url;
    QString target;
    QString key;
    bool running = false;

    qint64 offset = 0;   // bytes already in the ".part" before this answer's body
    qint64 received = 0; // body bytes of this answer written
    qint64 total = -1;
    bool resumed = false;
    bool headersSeen = false;
    bool alreadyComplete = false; // the ".part" already holds the whole file
    bool cancelled = false;
    bool restarted = false;
    bool restartPending = false;
    bool ownsPart = false; // this download opened the ".part"
    bool stalled = false;  // an incomplete transfer went quiet rather than being cut off
    std::optional<DownloadResult> failure;
    std::function<QString(const QString &)> beforeRename;

    QElapsedTimer clock;
    QElapsedTimer lastProgress;

    void issue(bool useRange);
    void onHeaders();
    void onReadyRead();
    void onFinished();
    bool roomFor(qint64 bytes);
    void restartFromZero();
    void fail(DownloadResult::Status status, const QString &text);
    void emitProgress(bool force);
    void finish(DownloadResult result);
    void finishLater(DownloadResult::Status status, const QString &text);
    void dropReply();
};

void Downloader::Private::issue(bool useRange)
{
    QNetworkRequest request(url);
    // A compressed answer would be unpacked by Qt and no longer match byte offsets.
    request.setRawHeader("Accept-Encoding", "identity");
    if (useRange)
        request.setRawHeader("Range", "bytes=" + QByteArray::number(offset) + '-');
    Web::NetworkAccess &access = Web::NetworkAccess::forThread();
    // Inactivity limit, not a limit on the whole transfer: big files may take long.
    request.setTransferTimeout(qMax(1, access.network().timeoutSeconds) * 1000);

    headersSeen = false;
    received = 0;
    total = -1;
    resumed = useRange;
    reply = access.get(request);
    // The network can run ahead of the disk: a bounded buffer keeps memory flat for any file size.
    reply->setReadBufferSize(1 << 20);
    QNetworkReply *r = reply;
    QObject::connect(r, &QNetworkReply::metaDataChanged, q, [this, r] {
        if (r == reply)
            onHeaders();
    });
    QObject::connect(r, &QIODevice::readyRead, q, [this, r] {
        if (r == reply)
            onReadyRead();
    });
    QObject::connect(r, &QNetworkReply::finished, q, [this, r] {
        if (r == reply)
            onFinished();
    });
}

void Downloader::Private::onHeaders()
{
    const QVariant statusAttr = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute);
    if (!statusAttr.isValid())
        return;
    const int status = statusAttr.toInt();
    // The final answer comes later, from wherever the redirects lead.
    if (Web::isFollowedRedirect(*reply, status))
        return;
    if (headersSeen)
        return;
    headersSeen = true;

    const QVariant lengthAttr = reply->header(QNetworkRequest::ContentLengthHeader);
    const qint64 length = lengthAttr.isValid() ? lengthAttr.toLongLong() : -1;

    if (status == 416 && offset > 0) {
        const ContentRange range = parseContentRange(reply->rawHeader("Content-Range"));
        if (range.total == offset)
            alreadyComplete = true;
        else
            restartFromZero();
        return;
    }
    if (status < 200 || status >= 300) {
        fail(DownloadResult::Status::HttpError, httpErrorText(status));
        return;
    }
    if (status == 206) {
        const ContentRange range = parseContentRange(reply->rawHeader("Content-Range"));
        if (range.first != offset) {
            restartFromZero();
            return;
        }
        resumed = true;
        total = range.total >= 0 ? range.total : (length >= 0 ? offset + length : -1);
        roomFor(total >= 0 ? total - offset : -1);
        return;
    }
    // A full answer: whatever the ".part" held is superseded.
    if (offset > 0) {
        if (!file.resize(0) || !file.seek(0)) {
            fail(DownloadResult::Status::FileError, writeErrorText(file.fileName()));
            return;
        }
        offset = 0;
    }
    resumed = false;
    total = length;
    roomFor(length);
}

bool Downloader::Private::roomFor(qint64 bytes)
{
    // Known before the first byte is written: a file that cannot fit never fills the disk.
    if (bytes <= 0)
        return true;
    const QStorageInfo storage(QFileInfo(target).absolutePath());
    const qint64 available = storage.isValid() ? storage.bytesAvailable() : -1;
    if (available < 0 || bytes <= available)
        return true;
    fail(DownloadResult::Status::FileError, diskFullText(target, bytes, available));
    return false;
}

void Downloader::Private::onReadyRead()
{
    if (!headersSeen)
        onHeaders();
    if (!reply)
        return;
    const QByteArray chunk = reply->readAll();
    if (!headersSeen || failure || alreadyComplete || restartPending || chunk.isEmpty())
        return;
    if (file.write(chunk) != chunk.size()) {
        fail(DownloadResult::Status::FileError, writeErrorText(file.fileName()));
        return;
    }
    received += chunk.size();
    emitProgress(false);
}

void Downloader::Private::onFinished()
{
    if (!headersSeen && !failure && !cancelled)
        onHeaders();
    if (!reply || restartPending)
        return; // the next request takes over
    if (!failure && !cancelled && !alreadyComplete && reply->bytesAvailable() > 0)
        onReadyRead();

    const QNetworkReply::NetworkError error = reply->error();
    const QString detail = reply->errorString();
    const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    dropReply();

    DownloadResult result;
    if (cancelled) {
        result.status = DownloadResult::Status::Cancelled;
    } else if (failure) {
        result = *failure;
    } else if (alreadyComplete) {
        result.status = DownloadResult::Status::Ok;
    } else if (!headersSeen) {
        result.status = error == QNetworkReply::NoError || isRefusedRedirect(error)
                            ? DownloadResult::Status::HttpError
                            : DownloadResult::Status::NetworkError;
        result.error = error == QNetworkReply::NoError
                           ? httpErrorText(status)
                           : networkErrorText(error, detail);
    } else if (error != QNetworkReply::NoError || (total >= 0 && offset + received != total)) {
        stalled = error == QNetworkReply::OperationCanceledError || error == QNetworkReply::TimeoutError;
        result.status = DownloadResult::Status::Incomplete;
    }
    finish(result);
}

void Downloader::Private::restartFromZero()
{
    if (restarted) {
        fail(DownloadResult::Status::HttpError, QStringLiteral("下载失败: 服务器不支持续传"));
        return;
    }
    restarted = true;
    restartPending = true;
    // Not from inside the old reply's own signal.
    QTimer::singleShot(0, q, [this] {
        restartPending = false;
        if (!running || cancelled)
            return;
        dropReply();
        if (!file.resize(0) || !file.seek(0)) {
            finish(failed(DownloadResult::Status::FileError, writeErrorText(file.fileName())));
            return;
        }
        offset = 0;
        issue(false);
    });
}

void Downloader::Private::fail(DownloadResult::Status status, const QString &text)
{
    if (failure)
        return;
    failure = failed(status, text);
    // Aborting from inside the reply's own notification upsets QNetworkReply; the rest of the
    // answer is thrown away meanwhile.
    QTimer::singleShot(0, q, [r = reply] {
        if (r && r->isRunning())
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
        const QString written = renameToFreeName(part, target, error);
        if (!written.isEmpty()) {
            result.path = written;
            result.bytes = QFileInfo(written).size();
        } else {
            result.status = DownloadResult::Status::FileError;
            result.error = saveErrorText(target);
        }
    }
    if (!result.ok()) {
        const QFileInfo info(part);
        // An empty ".part" holds nothing worth resuming.
        if (ownsPart && info.isFile() && info.size() == 0)
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
    const QString key = QDir::cleanPath(QFileInfo(targetPath).absoluteFilePath());
    if (!claimTarget(key))
        return false;

    d->key = key;
    d->target = key;
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
    d->stalled = false;
    d->clock.start();
    d->lastProgress.invalidate();

    if (!url.isValid() || !Web::NetworkAccess::isFetchable(url)) {
        d->finishLater(DownloadResult::Status::BadAddress, QStringLiteral("下载失败: 不是有效的视频地址"));
        return true;
    }
    const QString name = QFileInfo(key).fileName();
    if (finalFileName(name) != name) {
        d->finishLater(DownloadResult::Status::FileError,
                       QStringLiteral("下载失败: 文件名不能以 .part 结尾, 它是未完成下载的名字"));
        return true;
    }
    d->file.setFileName(partPathOf(key));
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
