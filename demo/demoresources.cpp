#include "demo/demoresources.h"

#include "config/settings.h"

#include <QFile>
#include <QResource>
#include <QUrl>

namespace Demo {

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
        {QLatin1String("weishiDomain"), s.services.weishi.domain},
        {QLatin1String("weishiPictureHost"), s.services.weishi.pictureHost},
        {QLatin1String("weishiFileHost"), s.services.weishi.fileHost},
        {QLatin1String("meipaiDomain"), withoutWww(s.services.meipai.host)},
        {QLatin1String("meipaiPictureStem"), s.services.meipai.pictureStem},
        {QLatin1String("meipaiAvatarStem"), s.services.meipai.avatarStem},
        {QLatin1String("kuaishouDomain"), withoutWww(s.services.kuaishou.host)},
        {QLatin1String("miaopaiHost"), s.services.miaopai.host},
        {QLatin1String("miaopaiDomain"), withoutWww(s.services.miaopai.host)},
        {QLatin1String("miaopaiAvatarStem"), s.services.miaopai.avatarStem},
        {QLatin1String("verifiedAuthor"), s.maker.verifiedAuthor},
    };
    for (const auto &[key, value] : values)
        text.replace(QLatin1String("{{") + key + QLatin1String("}}"), value);
    return text;
}

QByteArray resourceBytes(const QString &name)
{
    const QString path = QLatin1String(":/demosite/") + name;
    // The media are served several times each and stored as they are: their bytes stay where the
    // program keeps them instead of a fresh copy per address, which the start-up paid for.
    const QResource resource(path);
    if (resource.isValid() && resource.compressionAlgorithm() == QResource::NoCompression && resource.size() > 0)
        return QByteArray::fromRawData(reinterpret_cast<const char *>(resource.data()), qsizetype(resource.size()));
    QFile f(path);
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

Response bytesResponse(const QString &file, const QByteArray &type)
{
    Response r;
    r.contentType = type;
    r.body = resourceBytes(file);
    return r;
}

} // namespace Demo
