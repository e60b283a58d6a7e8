#include "config/settings.h"
#include "extract/service.h"
#include "extract/textops.h"
#include "web/preg.h"

namespace Extract::Miaopai {

namespace {

const QString contentMarker = QStringLiteral("content=\"");
const QString paragraphMarker = QStringLiteral("<p>");
const QString dateMarker = QStringLiteral("<h2><b>");
const QString anchorTags = QStringLiteral("</?a[^<>]*>");
const QString badgeText = QStringLiteral("v1.png");

Base showBase(const Config::Settings &cfg)
{
    return baseOf(cfg.services.miaopai.host + QLatin1String("/show/"));
}

QString streamBase(const Config::Settings &cfg)
{
    return QLatin1String("http://") + cfg.services.miaopai.streamHost + QLatin1String("/stream/");
}


} // namespace

std::optional<QString> check(const QString &address, const Config::Settings &cfg)
{
    if (auto m = commonRungs(address, QStringLiteral("请您输入秒拍网页版地址..")))
        return m;
    const Base base = showBase(cfg);
    if (!base.foundIn(address))
        return QStringLiteral("您输入的地址有误,请检查!如果网之前没有www，请加www");
    if (base.removedFrom(address).isEmpty())
        return QStringLiteral("请输入正确的秒拍地址..");
    return std::nullopt;
}

QString identifier(const QString &address, const Config::Settings &cfg)
{
    QString id = removeAll(showBase(cfg).removedFrom(addressIn(address)), u".htm");
    // Share links carry a query or fragment that must not end up in the built addresses.
    const qsizetype query = id.indexOf(u'?');
    const qsizetype fragment = id.indexOf(u'#');
    qsizetype end = query;
    if (end < 0 || (fragment >= 0 && fragment < end))
        end = fragment;
    if (end >= 0)
        id.truncate(end);
    return id;
}

void fromAddress(Slots &s, const QString &address, const Config::Settings &cfg)
{
    s[20] = identifier(address, cfg);
}

void cut(Slots &s, const FetchFn &, const Config::Settings &cfg)
{
    const QString avatarPrefix = QLatin1String("http://") + cfg.services.miaopai.avatarStem;

    s[2] = streamBase(cfg) + s[20] + QLatin1String(".mp4");
    s[4] = streamBase(cfg) + s[20] + QLatin1String("_m.jpg");

    s.setElement(5, 0, avatarPrefix);
    s[6] = avatarPrefix + s.textBefore(5, u'"');

    s.setElement(7, 0, contentMarker, 3);
    s[8] = s.textBefore(7, u',');

    s.setElement(9, 0, paragraphMarker);
    s[12] = trimSpaces(s.textThrough(9, u"</p>"));
    if (auto plain = Web::preg(s[12], anchorTags, QString()))
        s[10] = plain->remove(u'<');

    s.setElement(11, 0, dateMarker);
    s[12] = s.textBefore(11, u'&');
}

Display display(const Slots &s, const Config::Settings &cfg)
{
    Display d = commonDisplay(s, 20);
    if (verifiedAuthor(s, badgeText, d.author, cfg))
        d.badge = 1;
    d.badgeGap = 5;
    return d;
}

QString pageId(const QString &address, const Config::Settings &cfg)
{
    return identifierAt(identifier(address, cfg));
}

const ServiceRow row{Service::Miaopai, QLatin1String("miaopai"), check, fromAddress, cut, display, {6, 8, 10, 12}, pageId, laterGenerations};

} // namespace Extract::Miaopai
