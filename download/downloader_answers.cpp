// What each answer of the server means to a download: where its bytes go, whether it continues
// the ".part", and how the transfer ended.
#include "download/downloader_private.h"

#include "config/settings.h"
#include "download/downloadtext.h"
#include "download/httpanswer.h"
#include "download/partrules.h"
#include "web/network.h"

#include <QFileInfo>
#include <QNetworkRequest>
#include <QStorageInfo>
#include <QTimer>

namespace Download {

void Downloader::Private::issue(bool useRange)
{
    QNetworkRequest request(url);
    // A compressed answer would be unpacked by Qt and no longer match byte offsets.
    request.setRawHeader("Accept-Encoding", "identity");
    if (useRange) {
        request.setRawHeader("Range", "bytes=" + QByteArray::number(offset) + '-');
        // Only the version the ".part" holds may continue it; any other comes whole.
        if (!validator.isEmpty())
            request.setRawHeader("If-Range", validator.toLatin1());
    }
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
        if (range.first != offset || !sameVersion(validator, *reply)) {
            restartFromZero();
            return;
        }
        noteVersion();
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
    noteVersion();
    roomFor(length);
}

void Downloader::Private::noteVersion()
{
    const QString answered = answerValidator(*reply);
    if (answered == validator)
        return;
    validator = answered;
    records->startedPart(target, url.toString(QUrl::FullyEncoded), validator);
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
    const bool refused = Web::redirectRefusal(*reply) != Web::RedirectRefusal::None;
    const QString refusedText = refused ? refusedRedirectText(*reply) : QString();
    dropReply();

    DownloadResult result;
    if (cancelled) {
        result.status = DownloadResult::Status::Cancelled;
    } else if (failure) {
        result = *failure;
    } else if (alreadyComplete) {
        result.status = DownloadResult::Status::Ok;
    } else if (refused) {
        result.status = DownloadResult::Status::HttpError;
        result.error = refusedText;
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


} // namespace Download
