#include "extract/sharelink.h"

#include "web/getbody.h"

#include <QUrl>

namespace Extract {

namespace {

bool isRedirect(int status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

} // namespace

bool isAllowedHop(const QUrl &from, const QUrl &to, const Config::Settings &cfg)
{
    return isSafePageAddress(to.toString(QUrl::FullyEncoded), cfg)
           && !(from.scheme() == u"https" && to.scheme() == u"http");
}

Followed followLink(const QString &link, const Config::Settings &cfg, const Web::FetchFunction &fetch,
                    const Web::CancelToken *cancel)
{
    Followed out;
    QUrl at(link, QUrl::TolerantMode);
    if (!isSafePageAddress(link, cfg)) {
        out.refused = true;
        return out;
    }
    Web::FetchOptions options;
    options.headers = Web::pageHeaders();
    options.followRedirects = false;
    options.cancel = cancel;
    for (int hops = 0;; ++hops) {
        out.answer = fetch(at.toString(QUrl::FullyEncoded), options);
        const Web::FetchResult &r = out.answer;
        if (!r.ok() || !isRedirect(r.httpStatus) || r.location.isEmpty()) {
            out.page = at.toString(QUrl::FullyEncoded);
            return out;
        }
        const QUrl next = at.resolved(QUrl(QString::fromUtf8(r.location), QUrl::TolerantMode));
        // Too many hops lead nowhere; a hop the rules forbid is refused.
        if (hops == maxShareHops)
            return out;
        if (!isAllowedHop(at, next, cfg)) {
            out.refused = true;
            return out;
        }
        at = next;
    }
}

} // namespace Extract
