#include "config/settings.h"
#include "extract/jsonstate.h"
#include "extract/markup.h"
#include "extract/pagedate.h"
#include "extract/service.h"

#include <QRegularExpression>
#include <QUrl>
#include <QUrlQuery>

// Weishi after it came back in 2018: the h5.weishi.qq.com feed pages, the isee share pages whose
// data live only in the play-page answer their script asks for, the pages carrying
// window.Vise.initState, and the video.weishi.qq.com share links that lead to them. Every answer
// and state lists feeds; only the one the address names is the page's.
namespace Extract::Weishi {

namespace {

enum class Form { None, Feed, Share };

struct Address
{
    Form form = Form::None;
    QString id; // the feed's, or the share code
};

Address addressOf(const QString &address)
{
    const QUrl url(address, QUrl::TolerantMode);
    if (url.scheme() != u"http" && url.scheme() != u"https")
        return {};
    const QString host = url.host().toLower();
    const QString path = url.path();
    static const QRegularExpression feedId(QStringLiteral("^[A-Za-z0-9_-]{8,40}$"));
    static const QRegularExpression feedPath(QStringLiteral("^/weishi/feed/([A-Za-z0-9_-]{8,40})(?:/[^/]*)?/?$"));
    static const QRegularExpression code(QStringLiteral("^/([A-Za-z0-9_-]{3,40})/?$"));
    const QString named = QUrlQuery(url).queryItemValue(QStringLiteral("id"));
    const auto feed = [&](const QString &id) { return feedId.match(id).hasMatch() ? Address{Form::Feed, id} : Address{}; };
    if (host == u"h5.weishi.qq.com") {
        const QRegularExpressionMatch m = feedPath.match(path);
        return m.hasMatch() ? feed(m.captured(1)) : Address{};
    }
    if ((host == u"isee.weishi.qq.com" && path == u"/ws/app-pages/share/index.html")
        || (host == u"m.weishi.qq.com" && path == u"/vise/share/index.html"))
        return feed(named);
    if (host == u"video.weishi.qq.com") {
        const QRegularExpressionMatch m = code.match(path);
        return m.hasMatch() ? Address{Form::Share, m.captured(1)} : Address{};
    }
    return {};
}

bool takesFeed(const QString &address, const Config::Settings &)
{
    return addressOf(address).form == Form::Feed;
}

bool takesShare(const QString &address, const Config::Settings &)
{
    return addressOf(address).form == Form::Share;
}

QString idOf(const QString &address, const Config::Settings &)
{
    return addressOf(address).id;
}

// A feed as the play-page answers write it (feed_desc_withat), or the Vise states (camelCase).
Found feedFound(const QJsonValue &feed, bool camel)
{
    Found f;
    f.video = textAt(feed, camel ? u"videoUrl" : u"video_url");
    if (f.video.isEmpty())
        f.video = textAt(feed, camel ? u"videoSpecUrls.0.url" : u"video_spec_urls.0.url");
    f.cover = textAt(feed, camel ? u"videoCover" : u"images[0].url");
    if (f.cover.isEmpty())
        f.cover = textAt(feed, u"images[0].url");
    f.author = textAt(feed, u"poster.nick");
    f.avatar = textAt(feed, u"poster.avatar");
    f.description = textAt(feed, camel ? u"feedDesc" : u"feed_desc_withat");
    if (f.description.isEmpty())
        f.description = textAt(feed, u"feed_desc");
    // The feed's own time: the poster's createtime is when the account was made.
    QString stamp = textAt(feed, u"createtime");
    if (stamp.isEmpty() && camel)
        stamp = textAt(feed, u"createTime");
    f.date = chinaTimeOfNumber(stamp);
    return f;
}

bool recognisesVise(const Slots &s, const QString &, const Config::Settings &)
{
    return s.contains(0, u"Vise.initState");
}

void readVise(Reading &r)
{
    const State state = stateAfter(r.s[0], u"window.Vise.initState");
    if (!state.ok()) {
        r.unreadable = state.problem != StateProblem::Missing;
        return;
    }
    const QJsonValue feed = ownEntry(valueAt(state.value, u"feedsList"), {QStringLiteral("id")}, addressOf(r.address).id);
    if (feed.isObject())
        put(r, row.fields, feedFound(feed, true));
}

// The play page's answer, asked as the page's own script asks it, in the page's scheme.
QString answerAddress(const QString &page, const QString &id)
{
    const QString scheme = QUrl(page, QUrl::TolerantMode).scheme() == u"http" ? QStringLiteral("http") : QStringLiteral("https");
    return scheme + QLatin1String("://h5.weishi.qq.com/webapp/json/weishi/WSH5GetPlayPage?feedid=") + id;
}

// The feed pages wrote their video with its host twice ("v.weishi.qq.com/v.weishi.qq.com/…"),
// an address that works as it is; the rest of the feed is in the play page's answer.
void readFeedPage(Reading &r)
{
    static const QRegularExpression doubled(
        QStringLiteral("https?://v\\.weishi\\.qq\\.com/v\\.weishi\\.qq\\.com/[^\"'\\s<>\\\\]+?\\.mp4[^\"'\\s<>\\\\]*"));
    const QString inPage = decodeEntities(doubled.match(r.s[0]).captured(0));
    const QString id = addressOf(r.address).id;
    Found f;
    if (const std::optional<QString> answer = r.fetch ? r.fetch(answerAddress(r.address, id)) : std::nullopt) {
        const State state = stateAt(*answer, answer->indexOf(u'{'));
        if (state.ok())
            f = feedFound(ownEntry(valueAt(state.value, u"data.feeds"), {QStringLiteral("id")}, id), false);
        else if (inPage.isEmpty())
            r.unreadable = state.problem != StateProblem::Missing;
    }
    if (!inPage.isEmpty())
        f.video = inPage;
    put(r, row.fields, f);
}

const Generation generations[] = {
    {.name = QLatin1String("2022-2026 share page, window.Vise.initState"), .takes = takesFeed,
     .recognises = recognisesVise, .read = readVise, .pageId = idOf, .pageParameters = {QStringLiteral("id")}},
    {.name = QLatin1String("2018-2023 feed page and its play-page answer"), .takes = takesFeed, .recognises = nullptr,
     .read = readFeedPage, .pageId = idOf, .pageParameters = {QStringLiteral("id")}},
    {.name = QLatin1String("share links"), .takes = takesShare, .recognises = nullptr, .read = nullptr,
     .pageId = idOf, .redirects = true},
};

} // namespace

std::span<const Generation> laterGenerations()
{
    return generations;
}

} // namespace Extract::Weishi
