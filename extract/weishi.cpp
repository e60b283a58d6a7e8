#include "config/settings.h"
#include "extract/service.h"
#include "extract/textops.h"

namespace Extract::Weishi {

namespace {

const QString playerMarker = QStringLiteral("vBox js_player\"");
const QString idMarker = QStringLiteral("id=\"");
const QString listMarker = QStringLiteral("[\"");
const QString avatarMarker = QStringLiteral("errImgHeadLoad\"");
const QString titleMarker = QStringLiteral("<title>");
const QString messageMarker = QStringLiteral("<div id=\"message\" class=\"msgCnt\">");
const QString timeMarker = QStringLiteral("time c_tx3\">");
const QString titleEnding = QStringLiteral("的微视");
const QString badgeText = QStringLiteral("vip");

QString endpoint(const Config::Settings &cfg)
{
    return QLatin1String("http://") + cfg.services.weishi.apiHost + QLatin1String("/weishi/video/downloadVideo.php?v=p&vid=");
}


} // namespace

std::optional<QString> check(const QString &address, const Config::Settings &cfg)
{
    if (auto m = commonRungs(address, QStringLiteral("请您输入微视网页版地址..")))
        return m;
    if (cfg.services.weishi.domain.isEmpty() || !address.contains(cfg.services.weishi.domain))
        return QStringLiteral("请输入正确的微视地址..");
    return std::nullopt;
}

void cut(Slots &s, const FetchFn &fetch, const Config::Settings &cfg)
{
    s.setElement(20, 0, playerMarker);
    s.setElement(21, 20, idMarker);
    s.set(21, s.textBefore(21, u'"'));

    if (fetch) {
        if (auto answer = fetch(endpoint(cfg) + s[21] + QLatin1String("&play=2&device=2")))
            s[22] = std::move(*answer);
    }
    s.setElement(23, 22, listMarker);
    s[24] = s.textBefore(23, u'"').replace(QLatin1String("\\/"), QLatin1String("/"));
    if (auto path = elementView(s[24], cfg.services.weishi.fileHost, 1))
        s[2] = QLatin1String("http://") + cfg.services.weishi.videoHost + u'/' + cfg.services.weishi.fileHost + *path;
    s[4] = QLatin1String("http://") + cfg.services.weishi.pictureHost + QLatin1String("/weishi_pic/0/") + s[21]
         + QLatin1String("_1/480");

    s.setElement(5, 0, avatarMarker);
    QString avatar = s.textThrough(5, u"e=");
    for (const QLatin1String gone : {QLatin1String("src="), QLatin1String("\""), QLatin1String("title"),
                                     QLatin1String(" ")})
        avatar.remove(gone);
    s[6] = avatar;

    s.setElement(7, 0, titleMarker);
    s[8] = s.textBefore(7, u'<').remove(titleEnding);

    s.setElement(9, 0, messageMarker);
    s[10] = trimSpaces(s.textBefore(9, u'<')).remove(QLatin1String("\r\n")).remove(u' ');

    s.setElement(11, 0, timeMarker);
    s[12] = s.textBefore(11, u'<');
}

Display display(const Slots &s, const Config::Settings &cfg)
{
    Display d = commonDisplay(s, 20);
    if (verifiedAuthor(s, badgeText, d.author, cfg))
        d.badge = 0;
    return d;
}

QString pageId(const QString &address, const Config::Settings &)
{
    const qsizetype at = address.indexOf(QLatin1String("/t/"));
    return at < 0 ? QString() : identifierAt(QStringView(address).sliced(at + 3));
}

const ServiceRow row{Service::Weishi, QLatin1String("weishi"), check, nullptr, cut, display, {6, 8, 10, 12}, pageId, laterGenerations};

} // namespace Extract::Weishi
