#include "config/settings.h"
#include "extract/service.h"
#include "extract/textops.h"

namespace Extract::Meipai {

namespace {

const QString videoMarker = QStringLiteral("data-video=");
const QString coverTag = QStringLiteral("<img src=\"");
const QString titleMarker = QStringLiteral("<title>");
const QString dataTitleMarker = QStringLiteral("data-title=\"");
const QString dateMarker = QStringLiteral("class=\"date\">");
const QString badgeText = QStringLiteral("vip.png");

Base mediaBase(const Config::Settings &cfg)
{
    return baseOf(cfg.services.meipai.host + QLatin1String("/media/"));
}


} // namespace

std::optional<QString> check(const QString &address, const Config::Settings &cfg)
{
    if (auto m = commonRungs(address, QStringLiteral("请您输入美拍网页版地址..")))
        return m;
    const Base base = mediaBase(cfg);
    if (!base.foundIn(address))
        return addressWrong;
    if (base.removedFrom(address).isEmpty())
        return QStringLiteral("请输入正确的美拍地址..");
    return std::nullopt;
}

void cut(Slots &s, const FetchFn &, const Config::Settings &cfg)
{
    const QString coverPrefix = QLatin1String("http://") + cfg.services.meipai.pictureStem;
    const QString avatarPrefix = QLatin1String("http://") + cfg.services.meipai.avatarStem;

    s.setElement(1, 0, videoMarker);
    s[2] = addressPart(s.textBefore(1, u'>').remove(u'"'));

    s.setElement(3, 0, QString(coverTag + coverPrefix));
    s[4] = coverPrefix + s.textBefore(3, u'"');

    s.setElement(5, 0, avatarPrefix);
    s[6] = avatarPrefix + s.textBefore(5, u'"');

    s.setElement(7, 0, titleMarker);
    s[8] = s.textBefore(7, u'的');

    s.setElement(9, 0, dataTitleMarker);
    // The description comes from the title again: its first word with the space after it.
    s[10] = s.textThrough(7, u" ");

    s.setElement(11, 0, dateMarker);
    s[12] = s.textBefore(11, u'<');
}

Display display(const Slots &s, const Config::Settings &)
{
    Display d = commonDisplay(s, 8);
    if (s.contains(0, badgeText))
        d.badge = 2;
    d.badgeGap = 5;
    // A short description loses its "??" pairs; a long one is only cut.
    const QString &text = s[10];
    if (!text.isEmpty() && text.size() <= 20)
        d.description = QString(text).remove(QLatin1String("??"));
    return d;
}

QString pageId(const QString &address, const Config::Settings &cfg)
{
    const Base base = mediaBase(cfg);
    for (const QString &start : {base.http, base.https}) {
        if (const qsizetype at = address.indexOf(start); at >= 0)
            return identifierAt(QStringView(address).sliced(at + start.size()));
    }
    return QString();
}

const ServiceRow row{Service::Meipai, QLatin1String("meipai"), check, nullptr, cut, display, {6, 8, 10, 12}, pageId, laterGenerations};

} // namespace Extract::Meipai
