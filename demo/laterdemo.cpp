#include "demo/laterdemo.h"

#include "config/settings.h"
#include "demo/demoresources.h"
#include "demo/loopbackarchive.h"
#include "demo/loopbacksite.h"

#include <QDateTime>
#include <QRegularExpression>
#include <QUrl>
#include <QUrlQuery>

#include <algorithm>

namespace Demo {

namespace {

// The Miaopai media pages' clips: the page's identifier and what the media answer says of it.
struct Clip
{
    QString smid;
    QString stream;
    QString description;
    QString nick;
    QString suid;
    QString created;
    QString ssig;
    QString stamp;
};

const Clip liveClip{QStringLiteral("Qm3xT7vK2pLw9ZrN4bHc8YdF6gJs1aEu"), QStringLiteral("Ks4vB8nQ2xR6tY0wE3uI7oP1aS5dF9gH__"),
                    QStringLiteral("秋天的第一片落叶"), QStringLiteral("落叶知秋"), QStringLiteral("6hT3kB9x"),
                    QStringLiteral("1539750000"), QStringLiteral("8f14e45fceea167a5a36dedd4bea2543"),
                    QStringLiteral("1539753600000")};
const Clip archivedClip{QStringLiteral("Vn5cX2kR8tLq4WmZ7pHd3BfJ9gYs6aUe"), QStringLiteral("Jp2mC6vN0bX4zL8kH3gF7dS1aQ5wE9rT__"),
                        QStringLiteral("初雪落在故宫的红墙上"), QStringLiteral("北平的冬天"), QStringLiteral("2kP7nV4c"),
                        QStringLiteral("1540621331"), QStringLiteral("c9f0f895fb98ab9159f51fd0297e236d"),
                        QStringLiteral("1540621331000")};

// The capture time `seconds` after `timestamp`.
QString after(const QString &timestamp, int seconds)
{
    const QString format = QStringLiteral("yyyyMMddHHmmss");
    return QDateTime::fromString(timestamp, format).addSecs(seconds).toString(format);
}

QString meipaiWeb(const Config::Settings &s)
{
    return QLatin1String("http://") + s.services.meipai.host;
}

QString mediaHost(const Config::Settings &s)
{
    return QLatin1String("n.") + withoutWww(s.services.miaopai.host);
}

QString hiddenFilled(QString text)
{
    static const QRegularExpression hidden(QStringLiteral("\\{\\{hidden:([^}]*)\\}\\}"));
    for (QRegularExpressionMatch m = hidden.match(text); m.hasMatch(); m = hidden.match(text))
        text.replace(m.capturedStart(), m.capturedLength(), hideMeipaiVideo(m.captured(1), 4497, u"Bl1QBt1J9lz"));
    return text;
}

QString page(const QString &file, const Config::Settings &s)
{
    return hiddenFilled(resourceText(QLatin1String("pages/later/") + file, s));
}

QString clipText(const QString &file, const Clip &clip, const QString &callback, const Config::Settings &s)
{
    QString text = page(file, s);
    const QList<QPair<QLatin1String, QString>> values{
        {QLatin1String("smid"), clip.smid},       {QLatin1String("stream"), clip.stream},
        {QLatin1String("description"), clip.description}, {QLatin1String("nick"), clip.nick},
        {QLatin1String("suid"), clip.suid},       {QLatin1String("created"), clip.created},
        {QLatin1String("ssig"), clip.ssig},       {QLatin1String("stamp"), clip.stamp},
        {QLatin1String("callback"), callback}};
    for (const auto &[key, value] : values)
        text.replace(QLatin1String("{{") + key + QLatin1String("}}"), value);
    return text;
}

// A signed address as the archive caught it on another visit: the same file, another signature.
QString signedOtherwise(const QString &address)
{
    QUrl url(address);
    QUrlQuery query(url);
    for (const char *name : {"k", "ssig", "pkey", "dis_k"}) {
        const QString key = QString::fromLatin1(name);
        if (query.hasQueryItem(key)) {
            QString value = query.queryItemValue(key);
            std::reverse(value.begin(), value.end());
            query.removeQueryItem(key);
            query.addQueryItem(key, value);
        }
    }
    url.setQuery(query);
    return url.toString(QUrl::FullyEncoded);
}

struct Served
{
    Extract::Service service;
    QString address;     // as the sample lists it
    QString captured;    // the page as the archive caught it; empty: live
    QString timestamp;
    QString text;
    QString page = {};   // where the listed share link leads; empty: the page is at the address
    QString answer = {}; // what the page's further request gets, when it is not Miaopai's clip
};

QList<Served> served(const Config::Settings &s)
{
    using Extract::Service;
    const QString show = QLatin1String("http://") + s.services.miaopai.host
                         + QLatin1String("/show/yBk8SZK3m1a5QG0JQk6d0vOAbZaUTh0ymcnWPA__.htm");
    const QString liveMedia = QLatin1String("http://") + mediaHost(s) + QLatin1String("/media/") + liveClip.smid;
    const QString lostMedia = QLatin1String("http://") + mediaHost(s) + QLatin1String("/media/") + archivedClip.smid;
    const QString share = meipaiWeb(s) + QLatin1String("/video/863/6551234567890123456");
    const QString mobile = QLatin1String("http://m.") + withoutWww(s.services.meipai.host)
                           + QLatin1String("/media/6551234567890123457");
    return {
        {Service::Meipai, meipaiWeb(s) + QLatin1String("/media/818828862"), QString(), QString(),
         page(QStringLiteral("meipai-2017.html"), s)},
        {Service::Meipai, share + QLatin1String("?client_id=1089857299&utm_source=meipai_share"), share,
         QStringLiteral("20210402081530"), page(QStringLiteral("meipai-2021.html"), s)},
        {Service::Meipai, mobile, mobile, QStringLiteral("20210611103000"), page(QStringLiteral("meipai-phpdata.html"), s)},
        {Service::Miaopai, show, QString(), QString(), page(QStringLiteral("miaopai-2017.html"), s)},
        {Service::Miaopai, liveMedia, QString(), QString(), clipText(QStringLiteral("miaopai-media.html"), liveClip, {}, s)},
        {Service::Miaopai, lostMedia, lostMedia, QStringLiteral("20181027142208"),
         clipText(QStringLiteral("miaopai-media.html"), archivedClip, {}, s)},
    };
}

QList<Served> servedLater(const Config::Settings &s)
{
    using Extract::Service;
    const QString feed = QStringLiteral("http://h5.weishi.qq.com/weishi/feed/7fQmW2pLc9XrT4vB1/wsfeed?wxplay=1"
                                        "&id=7fQmW2pLc9XrT4vB1&spid=8039370");
    const QString vise = QStringLiteral("http://m.weishi.qq.com/vise/share/index.html?id=6dKpR1sNb8WtY3zA0");
    const QString mobile = QStringLiteral("http://v.m.chenzhongtech.com/fw/photo/3xp5t9w2k7r3m8q?fid=0&cc=share_copylink");
    return {
        {Service::Weishi, feed, feed, QStringLiteral("20200510081500"), page(QStringLiteral("weishi-feed.html"), s), {},
         page(QStringLiteral("weishi-play-answer.json"), s)},
        {Service::Weishi, QStringLiteral("http://video.weishi.qq.com/9kLmN2pQ"), vise, QStringLiteral("20230211093000"),
         page(QStringLiteral("weishi-vise.html"), s), vise},
        {Service::Kuaishou, QStringLiteral("http://www.kuaishou.com/short-video/3xk2m8v6q4w9r1t?authorId=3xsunset"
                                           "&streamSource=profile"),
         QString(), QString(), page(QStringLiteral("kuaishou-vision.html"), s)},
        {Service::Kuaishou, QStringLiteral("http://v.kuaishou.com/Jx7Qa2"), QString(), QString(),
         page(QStringLiteral("kuaishou-initstate.html"), s),
         QLatin1String("http://m.") + withoutWww(s.services.kuaishou.host) + QLatin1String("/fw/photo/3xh4n8c2v6b9m1k")},
        {Service::Kuaishou, mobile, mobile, QStringLiteral("20210618081200"), page(QStringLiteral("kuaishou-pagedata.html"), s)},
    };
}

// Every sample, in the window's order of services.
QList<Served> allServed(const Config::Settings &s)
{
    QList<Served> out = servedLater(s) + served(s);
    std::stable_sort(out.begin(), out.end(), [](const Served &a, const Served &b) { return a.service < b.service; });
    return out;
}

} // namespace

QString hideMeipaiVideo(const QString &address, int places, QStringView junk)
{
    const QString digits = QString::number(places);
    const auto digit = [&](int i) { return qsizetype(digits.at(i).unicode() - u'0'); };
    QString body = QString::fromLatin1(address.toUtf8().toBase64());
    const qsizetype back = digit(3);
    body.insert(body.size() - digit(2), junk.sliced(digit(1), back));
    body.insert(digit(0), junk.first(digit(1)));
    QString head = QStringLiteral("%1").arg(places, 4, 16, QLatin1Char('0'));
    std::reverse(head.begin(), head.end());
    return head + body;
}

QList<LaterSample> laterSamples(const Config::Settings &s)
{
    QList<LaterSample> out;
    for (const Served &sample : allServed(s))
        out.append({sample.service, sample.address, !sample.captured.isEmpty()});
    return out;
}

void addLaterSamples(LoopbackSite &site, LoopbackArchive &archive, const Config::Settings &s)
{
    // The media pages' script asks for its clip with a callback named at random.
    const QString host = mediaHost(s);
    site.addHandler([host, s](const Request &request) -> std::optional<Response> {
        if (request.host != host || !request.path.startsWith(QLatin1String("/api/aj_media/info.json?")))
            return std::nullopt;
        const QUrlQuery query(QUrl(QLatin1String("http://") + host + request.path));
        if (query.queryItemValue(QStringLiteral("smid")) != liveClip.smid)
            return std::nullopt;
        return textResponse(clipText(QStringLiteral("miaopai-media-answer.js"), liveClip,
                                     query.queryItemValue(QStringLiteral("_cb")), s),
                            "application/javascript; charset=utf-8");
    });

    for (const Served &sample : allServed(s)) {
        const bool live = sample.captured.isEmpty();
        const Response text = textResponse(sample.text, "text/html; charset=utf-8");
        const QString at = sample.page.isEmpty() ? sample.address : sample.page;
        if (live)
            route(site, at, text);
        else
            archive.addCapture(sample.captured, sample.timestamp, text);
        // A share link leads to its page; the archive caught the redirect a moment before it.
        if (!sample.page.isEmpty() && live)
            route(site, sample.address, Response::redirect(at.toUtf8()));
        else if (!sample.page.isEmpty())
            archive.addCapture(sample.address, after(sample.timestamp, -2), Response::redirect(at.toUtf8()));

        const Extract::FetchFn answer = [&](const QString &url) -> std::optional<QString> {
            if (!sample.answer.isEmpty()) {
                const Response body = textResponse(sample.answer, "application/json; charset=utf-8");
                if (live)
                    route(site, url, body);
                else
                    archive.addCapture(url, after(sample.timestamp, 3), body);
                return sample.answer;
            }
            const Clip &clip = live ? liveClip : archivedClip;
            const QString callback = QStringLiteral("_jsonp4k2h9xq7c");
            const QString body = clipText(QStringLiteral("miaopai-media-answer.js"), clip, callback, s);
            if (!live) {
                // Caught by the archive three seconds after the page, under its own callback.
                QUrl caught(url);
                QUrlQuery query(caught);
                query.removeQueryItem(QStringLiteral("_cb"));
                query.addQueryItem(QStringLiteral("_cb"), callback);
                caught.setQuery(query);
                archive.addCapture(caught.toString(), after(sample.timestamp, 3),
                                   textResponse(body, "application/javascript; charset=utf-8"));
            }
            return body;
        };
        const Extract::Result r = Extract::extract(sample.service, at, sample.text, answer, s);
        const QList<QPair<QString, QPair<QString, QByteArray>>> media{
            {r.video(), {QStringLiteral("media/sample.mp4"), "video/mp4"}},
            {r.display.coverAddress, {QStringLiteral("media/cover.jpg"), "image/jpeg"}},
            {r.display.avatarAddress, {QStringLiteral("media/avatar.png"), "image/png"}}};
        for (const auto &[address, file] : media) {
            if (address.isEmpty())
                continue;
            const Response bytes = bytesResponse(file.first, file.second);
            if (live) {
                route(site, address, bytes);
                continue;
            }
            // The video file was caught on a visit of its own, signed otherwise.
            const bool video = address == r.video();
            archive.addCapture(video ? signedOtherwise(address) : address,
                               video ? after(sample.timestamp, 42) : sample.timestamp, bytes);
        }
    }
}

} // namespace Demo
