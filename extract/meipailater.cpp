#include "config/settings.h"
#include "extract/jsonstate.h"
#include "extract/markup.h"
#include "extract/meipaicode.h"
#include "extract/pagedate.h"
#include "extract/service.h"

#include <QRegularExpression>
#include <QUrl>

// Meipai's pages from 2017 on: the video address hidden in data-video (and in the mobile page's
// state), media numbers of up to 19 digits, and /video/<category>/<number> share addresses.
namespace Extract::Meipai {

namespace {

const QString videoAttribute = QStringLiteral("data-video");
const QString stateMarker = QStringLiteral("window.PHPDATA");

QString withoutWww(const QString &host)
{
    return host.startsWith(QLatin1String("www.")) ? host.mid(4) : host;
}

// The media number in a page address of the later forms; empty when it is none of them.
QString numberIn(const QString &address, const Config::Settings &cfg)
{
    const QUrl url(address, QUrl::TolerantMode);
    if (url.scheme() != u"http" && url.scheme() != u"https")
        return QString();
    const QString host = url.host().toLower();
    const QString web = cfg.services.meipai.host.toLower();
    const bool mobile = host == QLatin1String("m.") + withoutWww(web);
    if (host != web && !mobile)
        return QString();
    static const QRegularExpression media(QStringLiteral("^/media/(\\d{1,19})/?$"));
    static const QRegularExpression video(QStringLiteral("^/video/\\d{1,6}/(\\d{1,19})/?$"));
    const QString path = url.path();
    QRegularExpressionMatch m = media.match(path);
    if (!m.hasMatch() && !mobile)
        m = video.match(path);
    return m.hasMatch() ? m.captured(1) : QString();
}

bool takes(const QString &address, const Config::Settings &cfg)
{
    return !numberIn(address, cfg).isEmpty();
}

// "!thumb480" and the like ask the picture server for a smaller copy.
QString wholePicture(const QString &address)
{
    const QString whole = wholeAddress(address);
    const qsizetype bang = whole.indexOf(u'!');
    return bang < 0 ? whole : whole.left(bang);
}

// The first data-video value that decodes, the player's own (#detailVideo) before any other.
std::optional<QString> hiddenVideo(QStringView page)
{
    if (const std::optional<QString> own = attributeOf(tagAround(page, u"id=\"detailVideo\""), videoAttribute)) {
        if (std::optional<QString> video = decodeVideo(*own))
            return video;
    }
    const QString marker = videoAttribute + u'=';
    for (qsizetype at = page.indexOf(marker); at >= 0; at = page.indexOf(marker, at + 1)) {
        const std::optional<QString> value = attributeOf(tagAround(page, marker, at), videoAttribute);
        if (std::optional<QString> video = value ? decodeVideo(*value) : std::nullopt)
            return video;
    }
    return std::nullopt;
}

// Where the page gives no date, the upload time in the file's name stands in.
void dateFromFiles(Reading &r)
{
    for (const std::size_t slot : {std::size_t(2), std::size_t(4)}) {
        if (const std::optional<qint64> seconds = fileTime(r.s[slot])) {
            r.s[12] = chinaTime(*seconds);
            r.dateFromFileName = true;
            return;
        }
    }
}

// The page's own script decodes its value; a page whose value decodes is of this generation.
bool recognisesHidden(const Slots &s, const QString &, const Config::Settings &)
{
    if (!s.contains(0, videoAttribute))
        return false;
    Slots probe = s;
    probe.setElement(1, 0, QString(videoAttribute + u'='));
    const QString value = probe.textBefore(1, u'>').remove(u'"').remove(u'\'').section(u' ', 0, 0);
    // Only a page with the player's own element is read whole to look further.
    return decodeVideo(value) || (s.contains(0, u"id=\"detailVideo\"") && hiddenVideo(s[0]));
}

void readHidden(Reading &r)
{
    const QStringView page = r.s[0];
    r.s[2] = hiddenVideo(page).value_or(QString());

    // The cover is the player's picture; the page's og:image where the player has none.
    const QStringView player = tagAround(page, u"id=\"detailVideo\"");
    const qsizetype inside = player.isEmpty() ? -1 : player.data() - page.data() + player.size();
    const QStringView picture = inside < 0 ? QStringView() : tagAround(page, u"<img", inside);
    QString cover = attributeOf(picture, u"src").value_or(QString());
    if (cover.isEmpty())
        cover = metaContent(page, u"og:image");
    r.s[4] = cover.isEmpty() ? QString() : wholePicture(cover);

    const QStringView avatar = tagWithClass(page, u"detail-avatar");
    r.s[8] = attributeOf(avatar, u"alt").value_or(QString());
    const QString face = attributeOf(avatar, u"src").value_or(QString());
    r.s[6] = face.isEmpty() ? QString() : wholeAddress(face);

    QString text = elementText(page, tagWithClass(page, u"detail-cover-title"));
    if (text.isEmpty())
        text = metaContent(page, u"description");
    r.s[10] = text;

    QString date = chinaTimeOfIso(metaContent(page, u"og:video:release_date"));
    if (date.isEmpty()) {
        date = elementText(page, tagWithClass(page, u"detail-time"));
        // "17-09-08 12:00": the century the service left out.
        static const QRegularExpression shortYear(QStringLiteral("^\\d{2}-\\d{2}-\\d{2}( \\d{2}:\\d{2})?$"));
        if (shortYear.match(date).hasMatch())
            date.prepend(QLatin1String("20"));
    }
    r.s[12] = date;
    if (date.isEmpty())
        dateFromFiles(r);
}

bool recognisesState(const Slots &s, const QString &, const Config::Settings &)
{
    return s.contains(0, stateMarker);
}

void readState(Reading &r)
{
    const State state = stateAfter(r.s[0], stateMarker);
    if (!state.ok()) {
        r.unreadable = state.problem != StateProblem::Missing;
        return;
    }
    const QJsonValue media = valueAt(state.value, u"mediaInfo");
    const QString video = textAt(media, u"video");
    r.s[2] = decodeVideo(video).value_or(isWebAddress(wholeAddress(video)) ? wholeAddress(video) : QString());
    const QString cover = textAt(media, u"cover_pic");
    r.s[4] = cover.isEmpty() ? QString() : wholePicture(cover);
    const QString face = textAt(media, u"user.avatar");
    r.s[6] = face.isEmpty() ? QString() : wholeAddress(face);
    r.s[8] = textAt(media, u"user.screen_name");
    r.s[10] = textAt(media, u"caption_origin");
    dateFromFiles(r);
}

const Generation generations[] = {
    {.name = QLatin1String("2020-2025 mobile page, window.PHPDATA"), .takes = takes, .recognises = recognisesState,
     .read = readState, .pageId = numberIn},
    {.name = QLatin1String("2017-2021 hidden data-video"), .takes = takes, .recognises = recognisesHidden,
     .read = readHidden, .pageId = numberIn},
};

} // namespace

std::span<const Generation> laterGenerations()
{
    return generations;
}

} // namespace Extract::Meipai
