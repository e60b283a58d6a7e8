#include "extract/kuaishoulater.h"

#include "config/settings.h"
#include "extract/markup.h"
#include "extract/pagedate.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QTimeZone>
#include <QUrl>

// Kuaishou's address forms after its first site, its generations, and the pages read without a
// state: the 2016-2018 photo pages and the 2018-2019 mobile player.
namespace Extract::Kuaishou {

namespace {

QString gifshowDomain(const Config::Settings &cfg)
{
    const QString host = cfg.services.kuaishou.host.toLower();
    return host.startsWith(QLatin1String("www.")) ? host.mid(4) : host;
}

QString captured(const QRegularExpression &pattern, const QString &text)
{
    const QRegularExpressionMatch m = pattern.match(text);
    return m.hasMatch() ? m.captured(1) : QString();
}

bool takes(Form form, const QString &address, const Config::Settings &cfg)
{
    return addressOf(address, cfg).form == form;
}

bool takesPhoto(const QString &a, const Config::Settings &cfg) { return takes(Form::Photo, a, cfg); }
bool takesLive(const QString &a, const Config::Settings &cfg) { return takes(Form::Live, a, cfg); }
bool takesVision(const QString &a, const Config::Settings &cfg) { return takes(Form::Vision, a, cfg); }
bool takesMobile(const QString &a, const Config::Settings &cfg) { return takes(Form::Mobile, a, cfg); }
bool takesLong(const QString &a, const Config::Settings &cfg) { return takes(Form::Long, a, cfg); }
bool takesShare(const QString &a, const Config::Settings &cfg) { return takes(Form::Share, a, cfg); }

QString idOf(const QString &address, const Config::Settings &cfg)
{
    return addressOf(address, cfg).id;
}

QString photoPageOfLong(const QString &address, const Config::Settings &)
{
    QUrl url(address, QUrl::TolerantMode);
    url.setPath(url.path().replace(QLatin1String("/fw/long-video/"), QLatin1String("/fw/photo/")));
    return url.toString(QUrl::FullyEncoded);
}

bool recognisesVue(const Slots &s, const QString &, const Config::Settings &)
{
    return s.contains(0, u"VUE_MODEL_INIT_STATE");
}

bool recognisesApollo(const Slots &s, const QString &, const Config::Settings &)
{
    return s.contains(0, u"__APOLLO_STATE__");
}

bool recognisesInitState(const Slots &s, const QString &, const Config::Settings &)
{
    return s.contains(0, u"window.INIT_STATE");
}

const Generation generations[] = {
    {.name = QLatin1String("2016-2018 photo page"), .takes = takesPhoto, .recognises = nullptr,
     .read = readPhotoPage, .pageId = idOf},
    {.name = QLatin1String("2018-2019 live site, Vue state"), .takes = takesLive, .recognises = recognisesVue,
     .read = readVueState, .pageId = idOf},
    {.name = QLatin1String("2019-2021 live site, Apollo state"), .takes = takesLive, .recognises = recognisesApollo,
     .read = readApolloState, .pageId = idOf},
    {.name = QLatin1String("2018-2019 live site, mobile player"), .takes = takesLive, .recognises = nullptr,
     .read = readVideoTag, .pageId = idOf},
    {.name = QLatin1String("2021-2025 vision site, Apollo state"), .takes = takesVision, .recognises = nullptr,
     .read = readApolloState, .pageId = idOf},
    {.name = QLatin1String("2024-2026 mobile page, window.INIT_STATE"), .takes = takesMobile,
     .recognises = recognisesInitState, .read = readInitState, .pageId = idOf},
    {.name = QLatin1String("2020-2022 mobile share page, window.pageData"), .takes = takesMobile,
     .recognises = nullptr, .read = readPageData, .pageId = idOf},
    {.name = QLatin1String("long video, read as its photo page"), .takes = takesLong, .recognises = nullptr,
     .read = nullptr, .pageId = idOf, .pageAt = photoPageOfLong},
    {.name = QLatin1String("share links"), .takes = takesShare, .recognises = nullptr, .read = nullptr,
     .pageId = idOf, .redirects = true},
};

} // namespace

Address addressOf(const QString &address, const Config::Settings &cfg)
{
    const QUrl url(address, QUrl::TolerantMode);
    if (url.scheme() != u"http" && url.scheme() != u"https")
        return {};
    const QString host = url.host().toLower();
    const QString path = url.path();
    const QString gifshow = gifshowDomain(cfg);
    static const QRegularExpression photo(QStringLiteral("^/photo/\\d{1,20}/(\\d{1,20})/?$"));
    static const QRegularExpression live(QStringLiteral("^/u/[A-Za-z0-9_.-]{1,64}/([A-Za-z0-9_-]{4,64})/?$"));
    static const QRegularExpression vision(QStringLiteral("^/short-video/([A-Za-z0-9_-]{4,64})/?$"));
    static const QRegularExpression video(QStringLiteral("^/video/([A-Za-z0-9_-]{4,64})/?$"));
    static const QRegularExpression mobile(QStringLiteral("^/fw/photo/([A-Za-z0-9_-]{4,64})/?$"));
    static const QRegularExpression longVideo(QStringLiteral("^/fw/long-video/([A-Za-z0-9_-]{4,64})/?$"));
    static const QRegularExpression code(QStringLiteral("^/([A-Za-z0-9_-]{3,40})/?$"));
    static const QRegularExpression shared(QStringLiteral("^/s/([A-Za-z0-9_-]{3,40})/?$"));
    static const QRegularExpression folded(QStringLiteral("^/f/([A-Za-z0-9_-]{3,40})/?$"));
    const bool site = host == u"www.kuaishou.com" || host == u"kuaishou.com";
    const bool mobileHost = host == u"v.m.chenzhongtech.com" || host == u"c.kuaishou.com" || host == QLatin1String("m.") + gifshow;
    const QList<std::tuple<bool, const QRegularExpression &, Form>> forms{
        {site, photo, Form::Photo},
        {host == u"live.kuaishou.com", live, Form::Live},
        {site, vision, Form::Vision},
        {host == u"video.kuaishou.com", video, Form::Vision},
        {mobileHost, mobile, Form::Mobile},
        {mobileHost, longVideo, Form::Long},
        {host == u"v.kuaishou.com", code, Form::Share},
        {host == gifshow || host == QLatin1String("www.") + gifshow || host == QLatin1String("m.") + gifshow
             || host == u"v.kuaishouapp.com",
         shared, Form::Share},
        {site, folded, Form::Share},
    };
    for (const auto &[here, pattern, form] : forms) {
        if (!here)
            continue;
        if (const QString id = captured(pattern, path); !id.isEmpty())
            return {form, id};
    }
    return {};
}

void putFound(Reading &r, Found found)
{
    if (!found.video.isEmpty() && found.date.isEmpty()) {
        found.date = upicTime(found.video);
        if (found.date.isEmpty())
            found.date = upicTime(found.cover);
        r.dateFromFileName = !found.date.isEmpty();
    }
    put(r, row.fields, found);
}

QString upicTime(const QString &address)
{
    const QString path = QUrl(address, QUrl::TolerantMode).path();
    if (!path.contains(QLatin1String("/upic/")))
        return QString();
    const QString name = path.mid(path.lastIndexOf(u'/') + 1);
    // Twenty characters of base64 are the fifteen bytes "yyyyMMddHHmmss_".
    if (name.size() < 21 || name.at(0) != u'B')
        return QString();
    const QByteArray::FromBase64Result decoded =
        QByteArray::fromBase64Encoding(name.mid(1, 20).toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded || decoded.decoded.size() != 15 || decoded.decoded.at(14) != '_')
        return QString();
    QDateTime when = QDateTime::fromString(QString::fromLatin1(decoded.decoded.left(14)), QStringLiteral("yyyyMMddHHmmss"));
    when.setTimeZone(QTimeZone(8 * 3600));
    return when.isValid() && isPlausibleMoment(when.toSecsSinceEpoch()) ? chinaTime(when.toSecsSinceEpoch()) : QString();
}

QStringView videoTag(QStringView page)
{
    const QStringView player = tagAround(page, u"id=\"video-player\"");
    return player.startsWith(u"<video") ? player : tagAround(page, u"<video");
}

void readPhotoPage(Reading &r)
{
    const QStringView page = r.s[0];
    const QStringView tag = videoTag(page);
    Found f;
    // An image post has og:image and no video: it is not taken for one.
    f.video = metaContent(page, u"og:video:url");
    if (f.video.isEmpty())
        f.video = attributeOf(tag, u"src").value_or(QString());
    f.cover = metaContent(page, u"og:image");
    if (f.cover.isEmpty())
        f.cover = attributeOf(tag, u"poster").value_or(QString());
    f.description = elementText(page, tagAround(page, u"<title>"));
    putFound(r, f);
}

void readVideoTag(Reading &r)
{
    const QStringView tag = videoTag(r.s[0]);
    Found f;
    f.video = attributeOf(tag, u"src").value_or(QString());
    f.cover = attributeOf(tag, u"poster").value_or(QString());
    f.description = elementText(r.s[0], tagAround(r.s[0], u"<title>"));
    putFound(r, f);
}

std::span<const Generation> laterGenerations()
{
    return generations;
}

} // namespace Extract::Kuaishou
