#include "web/getbody.h"

#include "config/settings.h"
#include "web/cancel.h"
#include "web/decode.h"
#include "web/network.h"

#include <QEventLoop>
#include <QIODevice>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <memory>

namespace Web {

namespace {

bool isStatusError(QNetworkReply::NetworkError error)
{
    // Qt turns 4xx and 5xx answers into these; the answer itself still arrived.
    return (error >= QNetworkReply::ContentAccessDenied && error <= QNetworkReply::UnknownContentError) ||
           (error >= QNetworkReply::InternalServerError && error <= QNetworkReply::UnknownServerError);
}

FetchResult failure(FetchError error, const QString &reason)
{
    FetchResult r;
    r.error = error;
    r.errorString = reason;
    return r;
}

} // namespace

FetchResult fetch(const QString &url)
{
    return fetch(url, FetchOptions{});
}

FetchResult fetch(const QString &url, const FetchOptions &options)
{
    const QUrl address(url, QUrl::TolerantMode);
    if (!NetworkAccess::isFetchable(address))
        return failure(FetchError::BadScheme,
                       QStringLiteral("Not an http or https address: \"%1\"").arg(url));

    if (options.cancel && options.cancel->isCancelled())
        return failure(FetchError::Cancelled, QStringLiteral("Cancelled"));

    const qint64 cap = NetworkAccess::settings().network.maxBodyBytes;
    const int limitMs = options.timeoutMs > 0 ? options.timeoutMs
                                              : qMax(1, NetworkAccess::settings().network.timeoutSeconds) * 1000;
    QNetworkRequest request(address);
    for (const auto &[name, value] : options.headers)
        request.setRawHeader(name, value);
    if (!options.followRedirects)
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    if (options.timeoutMs > 0)
        request.setTransferTimeout(options.timeoutMs);

    std::unique_ptr<QNetworkReply> reply(NetworkAccess::forThread().get(request));
    FetchResult result;
    qint64 received = 0;
    bool tooLarge = false;
    QString sinkError;

    bool cancelled = false;
    QEventLoop loop;
    bool overTime = false;
    // A reply that has failed already is on its way to its end: aborting it again only makes Qt
    // warn (on standard error, where zavlen-get's own messages go). The events of one pass of the
    // loop are all delivered before it stops, so a failure can come after the answer we wait for.
    const auto abortIfRunning = [&] {
        if (!reply->isFinished() && reply->error() == QNetworkReply::NoError)
            reply->abort();
    };
    const auto stop = [&](bool overCap) {
        tooLarge = tooLarge || overCap;
        abortIfRunning();
    };
    // The transfer timeout only notices silence; a server that trickles a byte now and then
    // would keep us waiting for ever without this limit on the whole request.
    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, [&] {
        overTime = true;
        stop(false);
    });
    deadline.start(std::chrono::milliseconds(limitMs));
    // Declared after the loop: it is gone before the loop, so no wake-up reaches a loop that is gone.
    const CancelScope cancelScope(options.cancel, [&loop, &cancelled, &stop] {
        QMetaObject::invokeMethod(&loop, [&cancelled, &stop] {
            cancelled = true;
            stop(false);
        }, Qt::QueuedConnection);
    });
    int knownStatus = 0;
    QObject::connect(reply.get(), &QNetworkReply::metaDataChanged, &loop, [&] {
        if (options.statusOnly) {
            const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
            if (status > 0 && !isFollowedRedirect(*reply, status)) {
                // Not aborted from inside its own notification, which upsets the reply; it goes
                // when the loop ends.
                knownStatus = status;
                loop.quit();
            }
            return;
        }
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid() && length.toLongLong() > cap)
            stop(true);
        else if (length.isValid() && length.toLongLong() > 0 && !options.sink && result.body.isEmpty())
            result.body.reserve(qsizetype(length.toLongLong()));
    });
    const auto drain = [&] {
        while (knownStatus == 0 && !tooLarge && sinkError.isEmpty() && reply->bytesAvailable() > 0) {
            // At most one byte past the cap: enough to know, never more in memory.
            const qint64 want = std::min(reply->bytesAvailable(), cap - received + 1);
            if (!options.sink) {
                // Straight into the body: no chunk of its own to allocate and copy again.
                const qsizetype at = result.body.size();
                result.body.resize(at + qsizetype(want));
                const qint64 got = reply->read(result.body.data() + at, want);
                result.body.resize(at + qsizetype(std::max<qint64>(got, 0)));
                if (got <= 0)
                    break;
                if (received + got > cap) {
                    stop(true);
                    break;
                }
                received += got;
                continue;
            }
            const QByteArray chunk = reply->read(want);
            if (chunk.isEmpty())
                break;
            if (received + chunk.size() > cap) {
                stop(true);
                break;
            }
            received += chunk.size();
            if (options.sink->write(chunk) != chunk.size()) {
                sinkError = options.sink->errorString();
                stop(false);
            }
        }
    };
    QObject::connect(reply.get(), &QNetworkReply::readyRead, &loop, drain);
    QObject::connect(reply.get(), &QNetworkReply::finished, &loop, &QEventLoop::quit);
    if (!reply->isFinished())
        loop.exec();
    drain();

    result.httpStatus = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    result.contentType = reply->rawHeader("Content-Type");
    result.location = reply->rawHeader("Location");
    result.retryAfter = reply->rawHeader("Retry-After");

    const QNetworkReply::NetworkError error = reply->error();
    if (knownStatus > 0) {
        QObject::disconnect(reply.get(), nullptr, &loop, nullptr);
        abortIfRunning();
        result.httpStatus = knownStatus;
        result.body.clear();
        return result;
    }
    if (cancelled) {
        result.error = FetchError::Cancelled;
        result.errorString = QStringLiteral("Cancelled");
    } else if (tooLarge) {
        result.error = FetchError::TooLarge;
        result.errorString = QStringLiteral("The answer is larger than %1 bytes").arg(cap);
    } else if (!sinkError.isEmpty()) {
        result.error = FetchError::Network;
        result.errorString = sinkError;
    } else if (overTime || error == QNetworkReply::OperationCanceledError || error == QNetworkReply::TimeoutError) {
        result.error = FetchError::Timeout;
        result.errorString = QStringLiteral("No answer within %1 seconds").arg(double(limitMs) / 1000.0);
    } else if (error == QNetworkReply::ProtocolUnknownError) {
        result.error = FetchError::BadScheme;
        result.errorString = reply->errorString();
    } else if (error != QNetworkReply::NoError && !(isStatusError(error) && result.httpStatus > 0)) {
        result.error = FetchError::Network;
        result.errorString = reply->errorString();
    } else {
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        const bool decompressed = !reply->rawHeader("Content-Encoding").isEmpty();
        if (length.isValid() && !decompressed && received < length.toLongLong()) {
            result.error = FetchError::Network;
            result.errorString = QStringLiteral("The connection closed after %1 of %2 bytes")
                                     .arg(received)
                                     .arg(length.toLongLong());
        }
    }
    if (!result.ok())
        result.body.clear();
    return result;
}

BodyResult GetBody(const QString &url, const QList<QPair<QByteArray, QByteArray>> &headers)
{
    BodyResult out;
    FetchOptions options;
    options.headers = headers;
    options.headers.append({QByteArrayLiteral("If-Modified-Since"), QByteArrayLiteral("0")});
    out.raw = fetch(url, options);
    if (out.raw.ok())
        out.text = decodeBody(out.raw.body, out.raw.contentType);
    return out;
}

FetchResult probe(const QString &url, const QList<QPair<QByteArray, QByteArray>> &headers)
{
    FetchOptions options;
    options.headers = headers;
    options.statusOnly = true;
    return fetch(url, options);
}

} // namespace Web
