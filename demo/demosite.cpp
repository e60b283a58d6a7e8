#include "demo/demosite.h"

#include "config/settings.h"
#include "demo/loopbacksite.h"

#include <QFile>
#include <QUrl>

namespace Demo {

namespace {

QString withoutWww(const QString &host)
{
    return host.startsWith(QLatin1String("www.")) ? host.mid(4) : host;
}

QString resourceText(const QString &name, const Config::Settings &s)
{
    QFile f(QLatin1String(":/demosite/") + name);
    if (!f.open(QIODevice::ReadOnly))
        return QString();
    QString text = QString::fromUtf8(f.readAll());
    const QList<QPair<QLatin1String, QString>> values{
        {QLatin1String("weishiDomain"), s.weishiDomain},
        {QLatin1String("weishiPictureHost"), s.weishiPictureHost},
        {QLatin1String("weishiFileHost"), s.weishiFileHost},
        {QLatin1String("meipaiDomain"), withoutWww(s.meipaiHost)},
        {QLatin1String("meipaiPictureStem"), s.meipaiPictureStem},
        {QLatin1String("meipaiAvatarStem"), s.meipaiAvatarStem},
        {QLatin1String("kuaishouDomain"), withoutWww(s.kuaishouHost)},
        {QLatin1String("miaopaiHost"), s.miaopaiHost},
        {QLatin1String("miaopaiDomain"), withoutWww(s.miaopaiHost)},
        {QLatin1String("miaopaiAvatarStem"), s.miaopaiAvatarStem},
        {QLatin1String("verifiedAuthor"), s.verifiedAuthor},
    };
    for (const auto &[key, value] : values)
        text.replace(QLatin1String("{{") + key + QLatin1String("}}"), value);
    return text;
}

QByteArray resourceBytes(const QString &name)
{
    QFile f(QLatin1String(":/demosite/") + name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void route(LoopbackSite &site, const QString &address, const Response &response)
{
    const QUrl url(address);
    if (!url.isValid() || url.host().isEmpty())
        return;
    const QString path = url.toString(QUrl::RemoveScheme | QUrl::RemoveAuthority | QUrl::RemoveFragment
                                      | QUrl::FullyEncoded);
    site.setRoute(url.host(), path.isEmpty() ? QStringLiteral("/") : path, response);
}

Response textResponse(const QString &text, const QByteArray &type)
{
    Response r;
    r.contentType = type;
    r.body = text.toUtf8();
    return r;
}

void media(LoopbackSite &site, const QString &address, const QString &file, const QByteArray &type)
{
    if (address.isEmpty())
        return;
    Response r;
    r.contentType = type;
    r.body = resourceBytes(file);
    if (!r.body.isEmpty())
        route(site, address, r);
}

QString pageFile(Extract::Service service)
{
    return QLatin1String("pages/") + Extract::serviceKey(service) + QLatin1String(".html");
}

} // namespace

QList<QPair<Extract::Service, QString>> demoAddresses(const Config::Settings &s)
{
    using Extract::Service;
    return {
        {Service::Weishi, QLatin1String("http://www.") + s.weishiDomain + QLatin1String("/t/2001234567890")},
        {Service::Meipai, QLatin1String("http://") + s.meipaiHost + QLatin1String("/media/642349876")},
        {Service::Kuaishou, QLatin1String("http://") + s.kuaishouHost + QLatin1String("/i/photo/lwx/12345")},
        {Service::Miaopai, QLatin1String("http://") + s.miaopaiHost + QLatin1String("/show/abcDEF123~xyz.htm")},
    };
}

void addDemoSite(LoopbackSite &site, const Config::Settings &s)
{
    route(site, s.versionRecordUrl, textResponse(QStringLiteral("appsp:V1.6.0|"), "text/plain; charset=utf-8"));

    const QString answer = resourceText(QStringLiteral("pages/weishi-answer.txt"), s);
    const auto pages = demoAddresses(s);
    for (const auto &[service, address] : pages) {
        const QString page = resourceText(pageFile(service), s);
        route(site, address, textResponse(page, "text/html; charset=utf-8"));

        // Every address the page leads to is served, so the demonstration works whatever the host names.
        const Extract::FetchFn endpoint = [&](const QString &url) {
            route(site, url, textResponse(answer, "text/plain; charset=utf-8"));
            return std::optional<QString>(answer);
        };
        const Extract::Result r = Extract::extract(service, address, page, endpoint, s);
        media(site, r.video(), QStringLiteral("media/sample.mp4"), "video/mp4");
        media(site, r.display.coverAddress, QStringLiteral("media/cover.jpg"), "image/jpeg");
        media(site, r.display.avatarAddress, QStringLiteral("media/avatar.png"), "image/png");
    }
}

} // namespace Demo
