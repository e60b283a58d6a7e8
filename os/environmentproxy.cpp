#include "os/environmentproxy.h"

#include <QNetworkProxyQuery>
#include <QStringList>
#include <QUrl>

namespace Os {

namespace {

QString firstSet(const std::function<QString(const char *)> &variable, std::initializer_list<const char *> names)
{
    for (const char *name : names) {
        const QString value = variable(name).trimmed();
        if (!value.isEmpty())
            return value;
    }
    return {};
}

bool bypassed(const QString &host, const QString &noProxy)
{
    const QString name = host.toLower();
    for (QString entry : noProxy.split(u',', Qt::SkipEmptyParts)) {
        entry = entry.trimmed().toLower();
        if (entry.isEmpty())
            continue;
        if (entry == u"*")
            return true;
        if (entry.startsWith(u'.'))
            entry.remove(0, 1);
        // A port in the entry says nothing of the host.
        if (const qsizetype colon = entry.lastIndexOf(u':'); colon > 0 && !entry.contains(u']'))
            entry.truncate(colon);
        if (name == entry || name.endsWith(u'.' + entry))
            return true;
    }
    return false;
}

} // namespace

std::optional<QNetworkProxy> proxyFromEnvironment(const QNetworkProxyQuery &query,
                                                  const std::function<QString(const char *name)> &variable)
{
    const QString scheme = query.protocolTag().toLower();
    QString value = scheme == u"https" ? firstSet(variable, {"https_proxy", "HTTPS_PROXY"})
                                       : firstSet(variable, {"http_proxy", "HTTP_PROXY"});
    if (value.isEmpty())
        value = firstSet(variable, {"all_proxy", "ALL_PROXY"});
    if (value.isEmpty())
        return std::nullopt;
    if (bypassed(query.peerHostName(), firstSet(variable, {"no_proxy", "NO_PROXY"})))
        return QNetworkProxy(QNetworkProxy::NoProxy);
    if (!value.contains(QLatin1String("://")))
        value.prepend(QLatin1String("http://"));
    const QUrl url(value, QUrl::TolerantMode);
    if (!url.isValid() || url.host().isEmpty())
        return std::nullopt;
    const bool socks = url.scheme().startsWith(QLatin1String("socks"));
    return QNetworkProxy(socks ? QNetworkProxy::Socks5Proxy : QNetworkProxy::HttpProxy, url.host(),
                         quint16(url.port(socks ? 1080 : 8080)), url.userName(), url.password());
}

} // namespace Os
