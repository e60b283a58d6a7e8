#include "config/settings.h"
#include "extract/jsonstate.h"
#include "extract/markup.h"
#include "extract/pagedate.h"
#include "extract/service.h"
#include "extract/textops.h"

#include <QRandomGenerator>
#include <QRegularExpression>
#include <QUrl>

// Miaopai's pages from 2017 on: the show pages that name their video ("videoSrc") instead of
// leaving it to be built from the identifier, and the n.miaopai.com media pages of late 2018,
// whose data live only in the answer their script asks for.
namespace Extract::Miaopai {

namespace {

QString domain(const Config::Settings &cfg)
{
    const QString host = cfg.services.miaopai.host.toLower();
    return host.startsWith(QLatin1String("www.")) ? host.mid(4) : host;
}

QString mediaHost(const Config::Settings &cfg)
{
    return QLatin1String("n.") + domain(cfg);
}

bool isWeb(const QUrl &url)
{
    return url.scheme() == u"http" || url.scheme() == u"https";
}

// The media page's identifier: /media/<smid>, /media/<smid>.htm, /v2/media/<smid>.
QString smidIn(const QString &address, const Config::Settings &cfg)
{
    const QUrl url(address, QUrl::TolerantMode);
    if (!isWeb(url) || url.host().toLower() != mediaHost(cfg))
        return QString();
    static const QRegularExpression media(QStringLiteral("^(?:/v2)?/media/([A-Za-z0-9~_-]{8,64})(?:\\.htm)?/?$"));
    const QRegularExpressionMatch m = media.match(url.path());
    return m.hasMatch() ? m.captured(1) : QString();
}

// ---- 2017-2018: the show page names its video, one key a line.

bool takesShowPage(const QString &address, const Config::Settings &cfg)
{
    return !check(address, cfg);
}

bool recognisesNamedVideo(const Slots &s, const QString &, const Config::Settings &)
{
    return s.contains(0, u"\"videoSrc\"");
}

void readNamedVideo(Reading &r)
{
    const QStringView page = r.s[0];
    r.s[2] = wholeAddress(jsonStringOf(page, u"videoSrc").value_or(QString()));
    r.s[4] = wholeAddress(jsonStringOf(page, u"poster").value_or(QString()));

    // "<title>text-author的秒拍</title>": the author's name; the text is the "title" key's.
    static const QRegularExpression byline(QStringLiteral("-([^-<]*)的秒拍"));
    const QString title = elementText(page, tagAround(page, u"<title>"));
    QRegularExpressionMatch last;
    for (QRegularExpressionMatchIterator it = byline.globalMatch(title); it.hasNext();)
        last = it.next();
    r.s[8] = last.hasMatch() ? last.captured(1).trimmed() : QString();
    QString text = jsonStringOf(page, u"title").value_or(QString());
    if (const qsizetype suffix = text.lastIndexOf(u"的秒拍"); suffix > 0 && text.lastIndexOf(u'-', suffix) > 0)
        text.truncate(text.lastIndexOf(u'-', suffix));
    r.s[10] = text.trimmed();

    // The service's avatar host, as the first generation's pages have it, in either scheme.
    for (const QLatin1String scheme : {QLatin1String("https://"), QLatin1String("http://")}) {
        const QString prefix = scheme + r.cfg.services.miaopai.avatarStem;
        if (const qsizetype at = findText(page, prefix); at >= 0) {
            const qsizetype end = page.indexOf(u'"', at);
            r.s[6] = page.sliced(at, (end < 0 ? page.size() : end) - at).toString();
            break;
        }
    }

    // The first date alone in a <span> before the footer.
    const qsizetype footer = findText(page, u"<div class=\"footer\">");
    static const QRegularExpression date(QStringLiteral("<span>\\s*(\\d{4}-\\d{2}-\\d{2}(?: \\d{2}:\\d{2})?)\\s*</span>"));
    const QRegularExpressionMatch m = date.match(footer < 0 ? page : page.first(footer));
    r.s[12] = m.hasMatch() ? m.captured(1) : QString();
}

// ---- late 2018 on: n.miaopai.com/media/<smid>, read from its media answer.

bool takesMediaPage(const QString &address, const Config::Settings &cfg)
{
    return !smidIn(address, cfg).isEmpty() || takesShowPage(address, cfg);
}

// From 2019 the show pages moved to the media pages: a show address may lead to one.
QString smidInPage(QStringView page)
{
    static const QRegularExpression var(QStringLiteral("\\bsmid\\s*=\\s*['\"]([A-Za-z0-9~_-]{8,64})['\"]"));
    const QRegularExpressionMatch m = var.match(page);
    return m.hasMatch() ? m.captured(1) : QString();
}

bool recognisesMediaPage(const Slots &s, const QString &address, const Config::Settings &cfg)
{
    return !smidIn(address, cfg).isEmpty() || (s.contains(0, u"smid") && !smidInPage(s[0]).isEmpty());
}

// Asked as the page's script asks it, in the page's own scheme.
QString answerAddress(const QString &page, const QString &smid, const Config::Settings &cfg)
{
    // The page's script names its callback at random; the answer is the same whatever the name.
    QString callback = QStringLiteral("_jsonp");
    for (int i = 0; i < 9; ++i)
        callback += QLatin1Char("abcdefghijklmnopqrstuvwxyz0123456789"[QRandomGenerator::global()->bounded(36)]);
    const QString scheme = QUrl(page, QUrl::TolerantMode).scheme() == u"http" ? QStringLiteral("http") : QStringLiteral("https");
    return scheme + QLatin1String("://") + mediaHost(cfg) + QLatin1String("/api/aj_media/info.json?smid=") + smid
           + QLatin1String("&appid=530&_cb=") + callback;
}

void readMediaPage(Reading &r)
{
    QString smid = smidIn(r.address, r.cfg);
    if (smid.isEmpty())
        smid = smidInPage(r.s[0]);
    const std::optional<QString> answer = r.fetch ? r.fetch(answerAddress(r.address, smid, r.cfg)) : std::nullopt;
    if (!answer)
        return;
    // "window._jsonpX && _jsonpX({…});", or the bare object.
    const qsizetype open = answer->indexOf(u'(');
    State state = open < 0 ? State{} : stateAt(*answer, open + 1);
    if (state.problem == StateProblem::Missing)
        state = stateAt(*answer, answer->indexOf(u'{'));
    if (!state.ok()) {
        r.unreadable = state.problem != StateProblem::Missing;
        return;
    }
    const QJsonValue data = valueAt(state.value, u"data");
    // An answer about another clip is no answer about this one.
    const QString answered = textAt(data, u"smid");
    if (!answered.isEmpty() && answered != smid)
        return;
    for (const QStringView quality : {u"l", u"m", u"n"}) {
        const QString video = textAt(data, QString(QStringLiteral("meta_data[0].play_urls.") + quality));
        if (!video.isEmpty()) {
            r.s[2] = wholeAddress(video);
            break;
        }
    }
    r.s[4] = wholeAddress(textAt(data, u"meta_data[0].pics.l"));
    r.s[8] = textAt(data, u"user.nick");
    r.s[10] = textAt(data, u"description").trimmed();
    r.s[12] = chinaTimeOfNumber(textAt(data, u"created_at"));
}

bool asksMediaAnswer(const QString &url, const Config::Settings &cfg)
{
    const QUrl u(url, QUrl::TolerantMode);
    return isWeb(u) && u.host().toLower() == mediaHost(cfg) && u.path() == u"/api/aj_media/info.json";
}

QString mediaPageId(const QString &address, const Config::Settings &cfg)
{
    const QString smid = smidIn(address, cfg);
    return smid.isEmpty() ? pageId(address, cfg) : smid;
}

const Generation generations[] = {
    {.name = QLatin1String("2018- media page, its media answer"), .takes = takesMediaPage,
     .recognises = recognisesMediaPage, .read = readMediaPage, .pageId = mediaPageId, .pageParameters = {},
     .asks = asksMediaAnswer, .lastingParameters = {QStringLiteral("smid")}},
    {.name = QLatin1String("2017-2018 show page naming its video"), .takes = takesShowPage,
     .recognises = recognisesNamedVideo, .read = readNamedVideo, .pageId = pageId},
};

} // namespace

std::span<const Generation> laterGenerations()
{
    return generations;
}

} // namespace Extract::Miaopai
