#include "web/transfer.h"

#include "config/settings.h"
#include "web/cancel.h"
#include "web/network.h"

#include <QIODevice>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>
#include <algorithm>
#include <optional>

namespace Web {

namespace {

bool isStatusError(QNetworkReply::NetworkError error)
{
    // Qt turns 4xx and 5xx answers into these; the answer itself still arrived.
    return (error >= QNetworkReply::ContentAccessDenied && error <= QNetworkReply::UnknownContentError) ||
           (error >= QNetworkReply::InternalServerError && error <= QNetworkReply::UnknownServerError);
}

} // namespace

struct Transfer::Private
{
    Transfer *q = nullptr;
    FetchOptions options;
    qint64 cap = 0;
    int limitMs = 0;
    std::unique_ptr<QNetworkReply> reply;
    FetchResult result;
    qint64 received = 0;
    int knownStatus = 0;
    bool tooLarge = false;
    bool overTime = false;
    bool cancelled = false;
    bool done = false;
    QString sinkError;
    QTimer deadline;
    std::optional<CancelScope> cancelScope; // last: gone first, so no wake-up reaches what is gone

    void start(const QString &url);
    void failAtOnce(FetchError error, const QString &reason);
    // A reply that has failed already is on its way to its end: aborting it again only makes Qt
    // warn (on standard error, where zavlen-get's own messages go).
    void abortIfRunning()
    {
        if (reply && !reply->isFinished() && reply->error() == QNetworkReply::NoError)
            reply->abort();
    }
    void stop(bool overCap)
    {
        tooLarge = tooLarge || overCap;
        abortIfRunning();
    }
    void onHeaders();
    void drain();
    void finish();
    void classify();
};

void Transfer::Private::failAtOnce(FetchError error, const QString &reason)
{
    done = true;
    result.error = error;
    result.errorString = reason;
    QTimer::singleShot(0, q, &Transfer::finished);
}

void Transfer::Private::start(const QString &url)
{
    const QUrl address(url, QUrl::TolerantMode);
    if (!NetworkAccess::isFetchable(address))
        return failAtOnce(FetchError::BadScheme, QStringLiteral("Not an http or https address: \"%1\"").arg(url));
    if (options.cancel && options.cancel->isCancelled())
        return failAtOnce(FetchError::Cancelled, QStringLiteral("Cancelled"));

    NetworkAccess &access = NetworkAccess::forThread();
    // The limits of this request, taken once: a change of settings meanwhile applies to the next.
    const Config::Network &limits = access.network();
    cap = limits.maxBodyBytes;
    limitMs = options.timeoutMs > 0 ? options.timeoutMs : qMax(1, limits.timeoutSeconds) * 1000;

    QNetworkRequest request(address);
    for (const auto &[name, value] : options.headers)
        request.setRawHeader(name, value);
    if (!options.followRedirects)
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
    if (options.timeoutMs > 0)
        request.setTransferTimeout(options.timeoutMs);
    reply.reset(access.get(request));

    // The transfer timeout only notices silence; a server that trickles a byte now and then
    // would keep us waiting for ever without this limit on the whole request.
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, q, [this] {
        overTime = true;
        stop(false);
    });
    deadline.start(std::chrono::milliseconds(limitMs));
    QObject::connect(reply.get(), &QNetworkReply::metaDataChanged, q, [this] { onHeaders(); });
    QObject::connect(reply.get(), &QNetworkReply::readyRead, q, [this] { drain(); });
    QObject::connect(reply.get(), &QNetworkReply::finished, q, [this] { finish(); });
    cancelScope.emplace(options.cancel, [this] {
        QMetaObject::invokeMethod(q, [this] {
            cancelled = true;
            stop(false);
        }, Qt::QueuedConnection);
    });
}

void Transfer::Private::onHeaders()
{
    if (options.statusOnly) {
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        if (status > 0 && !isFollowedRedirect(*reply, status) && knownStatus == 0) {
            // Not aborted from inside its own notification, which upsets the reply: that waits
            // for the transfer to go.
            knownStatus = status;
            finish();
        }
        return;
    }
    const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
    if (length.isValid() && length.toLongLong() > cap)
        stop(true);
    else if (length.isValid() && length.toLongLong() > 0 && !options.sink && result.body.isEmpty())
        result.body.reserve(qsizetype(length.toLongLong()));
}

void Transfer::Private::drain()
{
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
}

void Transfer::Private::finish()
{
    if (done)
        return;
    done = true;
    deadline.stop();
    cancelScope.reset();
    drain();
    classify();
    QObject::disconnect(reply.get(), nullptr, q, nullptr);
    emit q->finished();
}

void Transfer::Private::classify()
{
    result.httpStatus = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    result.contentType = reply->rawHeader("Content-Type");
    result.location = reply->rawHeader("Location");
    result.retryAfter = reply->rawHeader("Retry-After");
    if (const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader); length.isValid())
        result.contentLength = length.toLongLong();
    bool stated = false;
    const qint64 original = reply->rawHeader("X-Archive-Orig-Content-Length").trimmed().toLongLong(&stated);
    if (stated && original >= 0)
        result.originalLength = original;
    if (knownStatus > 0) {
        result.httpStatus = knownStatus;
        result.body.clear();
        return;
    }
    const QNetworkReply::NetworkError error = reply->error();
    if (redirectRefusal(*reply) != RedirectRefusal::None) {
        result.error = FetchError::Refused;
        result.errorString = redirectRefusalText(*reply);
    } else if (cancelled) {
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
}

Transfer::Transfer(const QString &url, const FetchOptions &options, QObject *parent)
    : QObject(parent), d(std::make_unique<Private>())
{
    d->q = this;
    d->options = options;
    d->start(url);
}

Transfer::~Transfer()
{
    d->cancelScope.reset();
    if (d->reply) {
        QObject::disconnect(d->reply.get(), nullptr, this, nullptr);
        d->abortIfRunning();
    }
}


bool Transfer::isFinished() const
{
    return d->done;
}

const FetchResult &Transfer::result() const
{
    return d->result;
}

} // namespace Web
