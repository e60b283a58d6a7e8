#pragma once

#include <QByteArray>
#include <QList>
#include <QPair>
#include <QString>
#include <optional>

class QIODevice;

namespace Web {

class CancelToken;

enum class FetchError {
    None,
    BadScheme,   // only http:// and https:// are ever fetched
    Network,     // refused, unreachable, reset, DNS, TLS
    Timeout,     // transfer time limit reached
    TooLarge,    // body over the size cap
    Cancelled,   // the caller's token was cancelled
    Refused,     // a redirect led to this machine, a private network, or from https to http
};

struct FetchResult
{
    FetchError error = FetchError::None;
    QString errorString;  // human-readable reason, empty on success
    int httpStatus = 0;   // 0 when no answer arrived
    QByteArray body;      // raw bytes as received (bounded by the size cap)
    QByteArray contentType;
    QByteArray location;   // of a redirect that was not followed
    QByteArray retryAfter; // of a busy answer
    qint64 contentLength = -1; // as the answer announced it; -1 when it did not
    // A web archive's replay: the length of the answer it captured, when it says so
    // (X-Archive-Orig-Content-Length); -1 otherwise.
    qint64 originalLength = -1;

    bool ok() const { return error == FetchError::None; }
};

struct FetchOptions
{
    QList<QPair<QByteArray, QByteArray>> headers;
    // When set, the body is written here as it arrives instead of into FetchResult::body.
    QIODevice *sink = nullptr;
    // Ends the request once the final answer's status is known (redirects followed): the body
    // is never read. The result is ok with httpStatus set.
    bool statusOnly = false;
    // false: a redirect is the answer (its status and location), for callers that judge each hop.
    bool followRedirects = true;
    // Shorter than the configured time limit: what is left of a caller's own budget. 0: the limit.
    int timeoutMs = 0;
    const CancelToken *cancel = nullptr;
};
// Blocking GET through the calling thread's access point (a Transfer waited for), for threads that
// have nothing else to do meanwhile: zavlen-get's jobs, the window's road on its worker.
FetchResult fetch(const QString &url, const FetchOptions &options);

// What every page fetch sends: "If-Modified-Since: 0".
QList<QPair<QByteArray, QByteArray>> pageHeaders();
// The body of an answer decoded to text, whatever its status; nullopt when no answer arrived.
std::optional<QString> bodyText(const FetchResult &r);

// The page fetch: "If-Modified-Since: 0", the body whatever the status, decoded to text.
// A transport failure is std::nullopt, never a body.
struct BodyResult
{
    std::optional<QString> text;
    FetchResult raw;
};
BodyResult GetBody(const QString &url, const QList<QPair<QByteArray, QByteArray>> &headers = {});


} // namespace Web
