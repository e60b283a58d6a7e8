#include "config/settings.h"
#include "extract/service.h"
#include "extract/textops.h"

#include <QUrl>
#include <QUrlQuery>

namespace Extract::Kuaishou {

namespace {

const QString ellipsisMarker = QStringLiteral("text-overflow: ellipsis;\">");
const QString middleMarker = QStringLiteral("vertical-align:middle;\">");
const QString nowrapMarker = QStringLiteral("white-space:nowrap;\">");
const QString imageMarker = QStringLiteral("<img src=\"");
const QString posterMarker = QStringLiteral("poster=\"");
const QString sourceMarker = QStringLiteral("src=\"");


} // namespace

std::optional<QString> check(const QString &address, const Config::Settings &cfg)
{
    if (auto m = commonRungs(address, QStringLiteral("请您输入快手网页版地址..")))
        return m;
    const Base base = baseOf(cfg.services.kuaishou.host + QLatin1String("/i"));
    if (!base.foundIn(address))
        return addressWrong;
    if (base.removedFrom(address).isEmpty())
        return QStringLiteral("请输入正确的快手地址..");
    return std::nullopt;
}

void cut(Slots &s, const FetchFn &, const Config::Settings &)
{
    s.setElement(1, 0, ellipsisMarker);
    s[12] = s.textBefore(1, u':').remove(QLatin1String("<span>")).remove(QLatin1String("\r\n"));
    s[12] = s.textBefore(12, u'<');

    s.setElement(9, 1, middleMarker, 2);
    s[10] = trimSpaces(s.textThrough(9, u"</span>").remove(u'<').remove(u':'));

    s.setElement(5, 0, nowrapMarker);
    s[6] = trimSpaces(s.textBefore(5, u'<'));

    s.setElement(7, 1, imageMarker);
    s[8] = addressPart(s.textBefore(7, u'>').remove(u'"'));

    s.setElement(3, 0, posterMarker);
    s[4] = s.textBefore(3, u'"');
    s.setElement(11, 3, sourceMarker);
    s[2] = s.textBefore(11, u'"');
}

Display display(const Slots &s, const Config::Settings &)
{
    Display d;
    d.date = s[6];
    d.author = authorShown(s[12], 8);
    d.description = descriptionShown(s[10]);
    d.coverAddress = s[4];
    d.avatarAddress = s[8];
    d.avatarInAlpha = true;
    return d;
}

QString pageId(const QString &address, const Config::Settings &)
{
    const QUrl url(address, QUrl::TolerantMode);
    const QString photo = QUrlQuery(url).queryItemValue(QStringLiteral("photoId"));
    if (!photo.isEmpty())
        return identifierAt(photo);
    const QString path = url.path();
    return identifierAt(QStringView(path).sliced(path.lastIndexOf(u'/') + 1));
}

const ServiceRow row{Service::Kuaishou, QLatin1String("kuaishou"), check, nullptr, cut, display, {8, 12, 10, 6}, pageId, laterGenerations};

} // namespace Extract::Kuaishou
