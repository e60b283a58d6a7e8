#include "web/getbody.h"

#include "web/decode.h"
#include "web/transfer.h"

#include <QEventLoop>

namespace Web {

FetchResult fetch(const QString &url, const FetchOptions &options)
{
    Transfer transfer(url, options);
    if (!transfer.isFinished()) {
        QEventLoop loop;
        QObject::connect(&transfer, &Transfer::finished, &loop, &QEventLoop::quit);
        loop.exec();
    }
    return transfer.result();
}

QList<QPair<QByteArray, QByteArray>> pageHeaders()
{
    return {{QByteArrayLiteral("If-Modified-Since"), QByteArrayLiteral("0")}};
}

std::optional<QString> bodyText(const FetchResult &r)
{
    if (!r.ok())
        return std::nullopt;
    return decodeBody(r.body, r.contentType);
}

BodyResult GetBody(const QString &url, const QList<QPair<QByteArray, QByteArray>> &headers)
{
    BodyResult out;
    FetchOptions options;
    options.headers = headers + pageHeaders();
    out.raw = fetch(url, options);
    out.text = bodyText(out.raw);
    return out;
}


} // namespace Web
