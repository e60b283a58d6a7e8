#include "config/settings.h"
#include "loopbackroad.h"
#include "demo/laterdemo.h"
#include "demo/loopbackarchive.h"
#include "demo/loopbacksite.h"
#include "extract/road.h"
#include "extract/sharelink.h"
#include "pagedata.h"
#include "web/archive.h"
#include "web/network.h"

#include <QRegularExpression>
#include <QTest>
#include <QUrlQuery>

Q_DECLARE_METATYPE(Extract::Outcome)

using Demo::Response;
using Extract::Service;

namespace {

using TestSupport::indexUrl;
using TestSupport::replayUrl;
const QString pageTime = QStringLiteral("20180601120000");

Response text(const QString &body, const QByteArray &type = "text/html; charset=utf-8")
{
    Response r;
    r.contentType = type;
    r.body = body.toUtf8();
    return r;
}

const QString meipaiVideo =
    QStringLiteral("//mvvideo3.meitudata.com/5a1c2e3f2d4b6c8e0.mp4?k=0cc175b9c0f1b6a831c399e269772661&t=5a24c170");

// A Meipai page of late 2017, written from what is known of them.
QString meipaiPage(const QString &hidden)
{
    return QStringLiteral(
               "<html><head><meta charset=\"utf-8\"><title>鼓浪屿的清晨 - 阿青的美拍 - 美拍</title>\n"
               "<meta name=\"description\" content=\"鼓浪屿的清晨，海风很轻\">\n</head><body>\n"
               "<div class=\"detail-header\"><img class=\"detail-avatar\" src=\"//maavatar2.meitudata.com/"
               "5a0b1c2d3e4f5a6b7.jpg\" alt=\"阿青\"></div>\n"
               "<div id=\"detailVideo\" class=\"detail-video\" data-video=\"%1\">"
               "<img src=\"//mvimg3.meitudata.com/5a1c2e3f7b8d9e0a1.jpg!thumb320\"></div>\n"
               "<h1 class=\"detail-cover-title\">鼓浪屿的清晨，海风很轻</h1>\n"
               "<div class=\"detail-time pa\" itemprop=\"datePublished\"><strong>17-11-28 07:45</strong></div>\n"
               "</body></html>")
        .arg(hidden);
}

// The mobile page's state, as PHP writes JSON: "\/" and "\u" escapes.
QString phpDataPage(const QString &slash)
{
    return QStringLiteral("<html><body><div id=\"app\"></div><script>window.PHPDATA = {\"mediaInfo\":{\"id\":"
                          "6551234567890123457,\"caption_origin\":\"\\u6d77\\u8fb9\",\"cover_pic\":\"SLSLmvimg10"
                          ".meitudata.comSL60c2ab3f9a8b7c6d5.jpg!thumb480\",\"video\":\"%1\",\"user\":{\"id\":3015522,"
                          "\"screen_name\":\"\\u6d77\\u98ce\",\"avatar\":\"SLSLmaavatar1.meitudata.comSL60a1b2c3d.jpg\"}}};"
                          "</script></body></html>")
        .replace(QStringLiteral("SL"), slash)
        .arg(Demo::hideMeipaiVideo(QStringLiteral("//mvvideo10.meitudata.com/60c2ab3f4d5e6f708_H264_1_5a.mp4"
                                                         "?k=5d41402abc4b2a76b9719d911017c592&t=60c3fc90"),
                                          4497, u"Bl1QBt1J9lz"));
}

const QString scid = QStringLiteral("Pz9LmKq2Rt7VwX4yB1nC6dE8fG0hJ3kM5aSu__");

// A Miaopai show page of 2017-2018, one key a line.
QString showPage(const QString &scheme, const QString &title, const QString &date)
{
    return QStringLiteral("<html><head><meta charset=\"utf-8\"><title>晚霞-山间小路的秒拍</title></head><body>\n"
                          "<img src=\"http://dy.miaopai.com/avatar/a1.jpg\">\n<script>\nvar info = {\n"
                          "  \"scid\":\"%1\",\n  \"poster\":\"%2:\\/\\/img.miaopai.com\\/stream\\/%1_m.jpg\",\n"
                          "  \"videoSrc\":\"%2:\\/\\/gslb.miaopai.com\\/stream\\/%1.mp4?yx=&refer=weibo_app&Expires="
                          "1512000000&ssig=Ab3dE5fG7h&KID=unistore,video\",\n  \"title\":\"%3\"\n};\n</script>\n"
                          "<div class=\"info\"><span>%4</span></div><div class=\"footer\"><span>2013-2018</span></div>"
                          "</body></html>")
        .arg(scid, scheme, title, date);
}

const QString smid = QStringLiteral("Vn5cX2kR8tLq4WmZ7pHd3BfJ9gYs6aUe");
const QString mediaStub = QStringLiteral("<html><head><script>var smid = '%1';</script></head>"
                                         "<body><div id=\"app\"></div></body></html>").arg(smid);

QString mediaAnswer(const QString &of)
{
    return QStringLiteral("window._jsonpq1 && _jsonpq1({\"code\":200,\"data\":{\"smid\":\"%1\",\"description\":"
                          "\"初雪\",\"created_at\":1540621331,\"user\":{\"nick\":\"北平\",\"suid\":\"2kP7\"},"
                          "\"meta_data\":[{\"play_urls\":{\"l\":\"http:\\/\\/gslb.miaopai.com\\/stream\\/Jp2m__.mp4"
                          "?vend=miaopai&ssig=c9f0f895&time_stamp=1540621331000\"},\"pics\":{\"l\":\"http:\\/\\/"
                          "img.miaopai.com\\/stream\\/Jp2m___l.jpg\"}}]}});")
        .arg(of);
}

// The same address signed on another visit.
QString signedOtherwise(const QString &address)
{
    QUrl url(address);
    QUrlQuery query(url);
    for (const QString &key : {QStringLiteral("k"), QStringLiteral("ssig"), QStringLiteral("pkey"), QStringLiteral("dis_k"),
                               QStringLiteral("tag")}) {
        if (query.hasQueryItem(key)) {
            const QString value = query.queryItemValue(key);
            query.removeQueryItem(key);
            query.addQueryItem(key, QString(value).replace(0, 1, value.at(0) == u'0' ? u'1' : u'0'));
        }
    }
    url.setQuery(query);
    return url.toString(QUrl::FullyEncoded);
}


// Kuaishou's works: the page's and another one sharing its state.
const QString eid = QStringLiteral("3xq7hm2nc9rkw4e");
const QString otherEid = QStringLiteral("3xz9aa8bb7cc6dd");
const QString ksVideo = QStringLiteral("https://v2.kwaicdn.com/upic/2022/03/14/20/BMjAyMjAzMTQyMDExMjNfMTIzNDU2Nzg5XzY3"
                                       "ODkwMTIzNDVfMl8z_b_B1f5e8a0c4d2b6e9f3a7c5d1e8b2f4a6c.mp4?pkey=AAXo3kQ&tag=1-1647260000"
                                       "-unknown-0-abc&clientCacheKey=3xq7hm2nc9rkw4e_b.mp4&tt=b&di=7b3c&bp=13924");
const QString ksCover = QStringLiteral("https://p2.a.yximgs.com/upic/2022/03/14/20/cover_B.jpg");
const QString ksAvatar = QStringLiteral("https://p2.a.yximgs.com/uhead/AB/2022/03/14/20/face.jpg");

// A work as the states write it: JSON with "\u002F" for every slash.
QString work(const QString &id, const QString &keys)
{
    return QString(QStringLiteral("{\"id\":\"%1\",%2}").arg(id, keys)).replace(u'/', QStringLiteral("\\u002F"));
}

QString ksPage(const QString &script, const QString &body = QString())
{
    return QStringLiteral("<html><head><meta charset=\"utf-8\"><title>快手</title></head><body>%2<script>%1</script>"
                          "</body></html>").arg(script, body);
}

const QString feedId = QStringLiteral("7fQmW2pLc9XrT4vB1");
const QString wsVideo = QStringLiteral("http://v.weishi.qq.com/v.weishi.qq.com/gzc_0_1047_0b53zqaacaaaqiap2qvrgvq.f0.mp4"
                                       "?dis_k=9f86d081884c7d659a2feaa0c55ad015&dis_t=1589012345&fromtag=0");
const QString wsCover = QStringLiteral("http://pic.weishi.qq.com/0b53zqaacaaaqiap2qvrgvq.jpg/640");
const QString wsAvatar = QStringLiteral("http://avatar0.weishi.qq.com/a1b2c3.jpg");

// A feed as the play-page answer (snake_case) or a Vise state (camelCase) lists it.
QString feed(const QString &id, bool camel, const QString &more = QString())
{
    const QString keys = camel ? QStringLiteral("{\"id\":\"%1\",\"videoUrl\":\"%2\",\"videoCover\":\"%3\",\"feedDesc\":\"渡口\","
                                                "\"poster\":{\"nick\":\"江南\",\"avatar\":\"%4\",\"createtime\":1400000000}%5}")
                               : QStringLiteral("{\"id\":\"%1\",\"video_url\":\"%2\",\"images\":[{\"url\":\"%3\"}],"
                                                "\"feed_desc_withat\":\"渡口\",\"poster\":{\"nick\":\"江南\",\"avatar\":\"%4\","
                                                "\"createtime\":1400000000}%5}");
    return keys.arg(id, id == feedId ? wsVideo : QStringLiteral("http://v.weishi.qq.com/other.f0.mp4"), wsCover, wsAvatar,
                    more);
}

QString playAnswer(const QString &feeds)
{
    return QStringLiteral("{\"ret\":0,\"msg\":\"\",\"data\":{\"feeds\":[%1],\"isFinished\":true}}").arg(feeds);
}

QString visePage(const QString &feeds)
{
    return QStringLiteral("<html><body><div id=\"app\"></div><script>try { window.Vise.initState = {\"feedsList\":[%1],"
                          "\"musicInfo\":undefined,\"tip\":\"\\u003Cb\\u003E\"}; } catch (err) { console.error('[Vise] fail "
                          "to read initState.'); }</script></body></html>")
        .arg(QString(feeds).replace(u'/', QStringLiteral("\\u002F")));
}
} // namespace

class TestGenerations final : public QObject
{
    Q_OBJECT

    Demo::LoopbackSite m_site;
    Demo::LoopbackArchive m_archive{indexUrl, replayUrl};
    Config::Settings m_cfg;

    void columns()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("page");
        QTest::addColumn<QString>("answer"); // what the page's further request gets; empty: none
        QTest::addColumn<QString>("video");  // empty: none found
        QTest::addColumn<QString>("cover");
        QTest::addColumn<QString>("avatar");
        QTest::addColumn<QString>("author");
        QTest::addColumn<QString>("description");
        QTest::addColumn<QString>("date");
        QTest::addColumn<bool>("dateFromFileName");
        QTest::addColumn<QString>("link"); // a share link that leads to the page; empty: none
    }

    // Each row read three ways: from the page alone, from the live site, from the archive.
    void readEveryWay(Service service)
    {
        QFETCH(QString, address);
        QFETCH(QString, page);
        QFETCH(QString, answer);
        QFETCH(QString, video);
        QFETCH(QString, cover);
        QFETCH(QString, avatar);
        QFETCH(QString, author);
        QFETCH(QString, description);
        QFETCH(QString, date);
        QFETCH(bool, dateFromFileName);
        QFETCH(QString, link);
        const auto same = [&](const Extract::VideoInfo &info, const char *way) {
            const QList<std::tuple<const char *, QString, QString>> fields{
                {"video", info.video, video},       {"cover", info.cover, cover},
                {"avatar", info.avatar, avatar},    {"author", info.author, author},
                {"description", info.description, description}, {"date", info.date, date}};
            for (const auto &[field, got, want] : fields)
                QVERIFY2(got == want, qPrintable(QStringLiteral("%1 %2: %3").arg(QLatin1String(way), QLatin1String(field), got)));
            QCOMPARE(info.dateFromFileName, dateFromFileName);
        };

        QString asked;
        const Extract::FetchFn further = [&](const QString &url) -> std::optional<QString> {
            asked = url;
            return answer.isEmpty() ? std::nullopt : std::optional(answer);
        };
        const Extract::Result direct = Extract::extract(service, address, page, further, m_cfg);
        same(Extract::videoInfo(service, address, direct), "page");
        QCOMPARE(direct.status, video.isEmpty() ? Extract::statusNoVideo : Extract::statusDone);
        const QString asks = link.isEmpty() ? address : link;
        for (const QString &form : {address, asks}) {
            QCOMPARE(Extract::detectService(form, m_cfg), std::optional(service));
            QVERIFY(!Extract::checkAddress(service, form, m_cfg));
        }

        const QUrl url(address);
        m_site.setRoute(url.host(), url.toString(QUrl::RemoveScheme | QUrl::RemoveAuthority | QUrl::FullyEncoded),
                        text(page));
        if (!answer.isEmpty()) {
            const QUrl ask(asked);
            m_site.addHandler([ask, answer](const Demo::Request &r) -> std::optional<Response> {
                if (r.host != ask.host() || !r.path.startsWith(ask.path()))
                    return std::nullopt;
                return text(answer, "application/javascript");
            });
        }
        if (!link.isEmpty())
            m_site.setRoute(QUrl(link).host(), QUrl(link).path(), Response::redirect(address.toUtf8()));
        const Extract::RoadResult live = Extract::runRoad(asks, std::nullopt, m_cfg, Web::networkFetch());
        same(live.info(), "live");
        QCOMPARE(live.ok(), !video.isEmpty());
        QVERIFY(!live.archived);
        if (video.isEmpty())
            return;

        // Lost to the live web: the archive caught the page (a share address's tracking
        // parameters aside), its answer under a callback of its own, the video signed otherwise.
        m_site.clearRoutes();
        m_site.setHandler(m_archive.handler());
        const QString caught = address.contains(QLatin1String("utm_source")) ? address.section(u'?', 0, 0) : address;
        m_archive.addCapture(caught, pageTime, text(page));
        if (!link.isEmpty())
            m_archive.addCapture(link, QStringLiteral("20180601115958"), Response::redirect(address.toUtf8()));
        if (!answer.isEmpty())
            m_archive.addCapture(QString(asked).replace(QRegularExpression(QStringLiteral("_cb=\\w+")),
                                                        QStringLiteral("_cb=_jsonpz9")),
                                 QStringLiteral("20180601120004"), text(answer, "application/javascript"));
        const QString file = QUrl(video).hasQuery() ? signedOtherwise(video) : video;
        Response bytes = text(QStringLiteral("mp4").repeated(500), "video/mp4");
        m_archive.addCapture(file, QStringLiteral("20180601120100"), bytes);
        const Extract::RoadResult archived = Extract::runRoad(asks, service, m_cfg, Web::networkFetch());
        QVERIFY2(archived.ok(), qPrintable(archived.result.status));
        same(archived.info(), "archive");
        QVERIFY(archived.archived);
        // A signed file is found by its path, at the moment it was caught; another at the page's.
        const QString fileTime = QUrl(video).hasQuery() ? QStringLiteral("20180601120100") : pageTime;
        QCOMPARE(archived.archived->video, replayUrl + fileTime + QStringLiteral("id_/") + file);
        if (!cover.isEmpty())
            QCOMPARE(archived.result.display.coverAddress, replayUrl + pageTime + QStringLiteral("id_/") + cover);
    }

private Q_SLOTS:
    void initTestCase()
    {
        TestSupport::unsetProxies();
        QVERIFY(m_site.listen());
    }

    void init()
    {
        m_site.clearRoutes();
        m_site.setHandler({});
        m_archive.clear();
        m_cfg = TestSupport::loopbackSettings(m_site);
    }

    void meipai_data()
    {
        columns();
        const QString page = meipaiPage(Demo::hideMeipaiVideo(meipaiVideo, 2666, u"iUQKI8ARlJit"));
        const QString video = QStringLiteral("https:") + meipaiVideo;
        const QString cover = QStringLiteral("https://mvimg3.meitudata.com/5a1c2e3f7b8d9e0a1.jpg");
        const QString avatar = QStringLiteral("https://maavatar2.meitudata.com/5a0b1c2d3e4f5a6b7.jpg");
        const QString text = QStringLiteral("鼓浪屿的清晨，海风很轻");
        const QString shown = QStringLiteral("2017-11-28 07:45");
        const auto row = [&](const char *name, const QString &address, const QString &p, const QString &v,
                             const QString &date, bool fromFile) {
            QTest::newRow(name) << address << p << QString() << v << cover << avatar << QStringLiteral("阿青") << text
                                << date << fromFile << QString();
        };
        const QString media = QStringLiteral("http://www.meipai.com/media/901234567");
        row("2017 page", media, page, video, shown, false);
        row("the worked example's value",
            media,
            edited(page, Demo::hideMeipaiVideo(meipaiVideo, 2666, u"iUQKI8ARlJit"),
                   QStringLiteral("a6a0aHiUQKI8R0cDovL212dmlkZW8xMS5tZWl0dWRhdGEuY29tLzU5YjAxMTI2MWFjZDEyODI4Lm1wND9rPTE3"
                                  "ODgxM2U5ODJjZGRmYzdlMGM3ODNhMDIzODM2NjljJnQ9NTliMzARlJitY3YzQ=")),
            QStringLiteral("http://mvvideo11.meitudata.com/59b011261acd12828.mp4?k=178813e982cddfc7e0c783a02383669c&t=59b367c4"),
            shown, false);
        row("release date first, in China's time", media,
            edited(page, QStringLiteral("</head>"),
                   QStringLiteral("<meta property=\"og:video:release_date\" content=\"2017-11-27T23:46:10Z\"></head>")),
            video, QStringLiteral("2017-11-28 07:46"), false);
        row("no date: the file's time stands in", media,
            edited(page, QStringLiteral("<strong>17-11-28 07:45</strong>"), QString()), video,
            QStringLiteral("2017-11-27 23:24"), true);
        row("a related video's value before the player's", media,
            edited(page, QStringLiteral("<div id=\"detailVideo\""),
                   QStringLiteral("<i data-video=\"%1\"></i><div id=\"detailVideo\"")
                       .arg(Demo::hideMeipaiVideo(QStringLiteral("http://mvvideo3.meitudata.com/other.mp4"), 2666,
                                                  u"iUQKI8ARlJit"))),
            video, shown, false);
        row("19-digit media number", QStringLiteral("http://www.meipai.com/media/6551234567890123458"), page, video,
            shown, false);
        row("share address of a category",
            QStringLiteral("http://www.meipai.com/video/863/6551234567890123459?client_id=1089857299&utm_source=meipai_share"),
            page, video, shown, false);

        const QString mobileVideo = QStringLiteral("https://mvvideo10.meitudata.com/60c2ab3f4d5e6f708_H264_1_5a.mp4"
                                                   "?k=5d41402abc4b2a76b9719d911017c592&t=60c3fc90");
        for (const QString &slash : {QStringLiteral("\\/"), QStringLiteral("\\u002F")}) {
            QTest::addRow("mobile state, %s escapes", qPrintable(slash))
                << QStringLiteral("http://m.meipai.com/media/6551234567890123457") << phpDataPage(slash) << QString()
                << mobileVideo << QStringLiteral("https://mvimg10.meitudata.com/60c2ab3f9a8b7c6d5.jpg")
                << QStringLiteral("https://maavatar1.meitudata.com/60a1b2c3d.jpg") << QStringLiteral("海风")
                << QStringLiteral("海边") << QStringLiteral("2021-06-11 08:15") << true << QString();
        }
        QTest::newRow("2016 page: the first generation's cut")
            << QStringLiteral("http://www.meipai.com/media/642349876")
            << QStringLiteral("<html><title>陈思雨的美拍 西湖 - 美拍</title><div data-video=\"http://mvvideo1.meipai.com/a.mp4\">"
                              "<img src=\"http://mvimg1.meipai.com/c.jpg\"></div><img src=\"http://mvavatar1.meipai.com/a.png\">"
                              "<span class=\"date\">2015-03-12</span></html>")
            << QString() << QStringLiteral("http://mvvideo1.meipai.com/a.mp4") << QStringLiteral("http://mvimg1.meipai.com/c.jpg")
            << QStringLiteral("http://mvavatar1.meipai.com/a.png") << QStringLiteral("陈思雨") << QStringLiteral("陈思雨的美拍 ")
            << QStringLiteral("2015-03-12") << false << QString();
    }
    void meipai() { readEveryWay(Service::Meipai); }

    void miaopai_data()
    {
        columns();
        const QString show = QStringLiteral("http://www.miaopai.com/show/") + scid + QStringLiteral(".htm");
        const QString avatar = QStringLiteral("http://dy.miaopai.com/avatar/a1.jpg");
        const auto stream = [](const QString &scheme) -> QString {
            return scheme + QStringLiteral("://gslb.miaopai.com/stream/") + scid
                   + QStringLiteral(".mp4?yx=&refer=weibo_app&Expires=1512000000&ssig=Ab3dE5fG7h&KID=unistore,video");
        };
        const auto poster = [](const QString &scheme) -> QString {
            return scheme + QStringLiteral("://img.miaopai.com/stream/") + scid + QStringLiteral("_m.jpg");
        };
        const auto row = [&](const char *name, const QString &scheme, const QString &title, const QString &date) {
            QTest::newRow(name) << show << showPage(scheme, title, date) << QString() << stream(scheme) << poster(scheme)
                                << avatar << QStringLiteral("山间小路") << QStringLiteral("晚霞") << date << false << QString();
        };
        row("2017 show page", QStringLiteral("http"), QStringLiteral("晚霞"), QStringLiteral("2017-11-29"));
        row("2018 show page, https, time of day", QStringLiteral("https"), QStringLiteral("晚霞"),
            QStringLiteral("2018-07-18 21:05"));
        row("title key with the byline", QStringLiteral("http"), QStringLiteral("晚霞-山间小路的秒拍"),
            QStringLiteral("2017-11-29"));

        const QString video = QStringLiteral("http://gslb.miaopai.com/stream/Jp2m__.mp4?vend=miaopai&ssig=c9f0f895"
                                             "&time_stamp=1540621331000");
        const QString cover = QStringLiteral("http://img.miaopai.com/stream/Jp2m___l.jpg");
        const auto media = [&](const char *name, const QString &address, const QString &page, const QString &of) {
            const bool same = of == smid;
            QTest::newRow(name) << address << page << mediaAnswer(of) << (same ? video : QString())
                                << (same ? cover : QString()) << QString() << (same ? QStringLiteral("北平") : QString())
                                << (same ? QStringLiteral("初雪") : QString())
                                << (same ? QStringLiteral("2018-10-27 14:22") : QString()) << false << QString();
        };
        media("media page", QStringLiteral("http://n.miaopai.com/media/") + smid, mediaStub, smid);
        media("media page, .htm", QStringLiteral("http://n.miaopai.com/media/") + smid + QStringLiteral(".htm"),
              mediaStub, smid);
        media("media page, v2", QStringLiteral("http://n.miaopai.com/v2/media/") + smid, mediaStub, smid);
        media("show address that became a media page", show, mediaStub, smid);
        media("an answer about another clip", QStringLiteral("http://n.miaopai.com/media/") + smid, mediaStub,
              QStringLiteral("Xx5cX2kR8tLq4WmZ7pHd3BfJ9gYs6aUe"));

        QTest::newRow("2016 show page: the first generation's cut")
            << QStringLiteral("http://www.miaopai.com/show/abc~123.htm")
            << QStringLiteral("<html><img src=\"http://dy.miaopai.com/a.jpg\"><p>傍晚</p><h2><b>2016-04-22&nbsp;</b></h2>"
                              "</html>")
            << QString() << QStringLiteral("http://gslb.miaopai.com/stream/abc~123.mp4")
            << QStringLiteral("http://gslb.miaopai.com/stream/abc~123_m.jpg") << QStringLiteral("http://dy.miaopai.com/a.jpg")
            << QString()
            << QStringLiteral("傍晚") << QStringLiteral("2016-04-22") << false << QString();
    }
    void miaopai() { readEveryWay(Service::Miaopai); }

    void kuaishou_data()
    {
        columns();
        const auto row = [](const char *name, const QString &address, const QString &page, const QString &video,
                            const QString &cover, const QString &avatar, const QString &author, const QString &text,
                            const QString &date, bool fromFile, const QString &link = QString()) {
            QTest::newRow(name) << address << page << QString() << video << cover << avatar << author << text << date
                                << fromFile << link;
        };
        const auto none = [](const char *name, const QString &address, const QString &page) {
            QTest::newRow(name) << address << page << QString() << QString() << QString() << QString() << QString()
                                << QString() << QString() << false << QString();
        };

        // 2016-2018: the date is the one in the file's name.
        const QString upic = QStringLiteral("https://txmov2.a.yximgs.com/upic/2016/07/01/21/BMjAxNjA3MDEyMTM4MjhfNzIwMjEx"
                                            "NF84NTc1MTQ1NjJfMl8z.mp4?tag=1-1467380308-xpcwebsearch-0-1bkzqmbt3d");
        const QString upicCover = QStringLiteral("https://js2.a.yximgs.com/upic/2016/07/01/21/BMjAxNjA3MDEyMTM4MjhfNz"
                                                 "IwMjExNF84NTc1MTQ1NjJfMl8z_B.jpg");
        const QString photo = QStringLiteral("http://www.kuaishou.com/photo/7202114/857514562");
        const QString ogPage = QStringLiteral("<html><head><title>海边的日落</title><meta property=\"og:image\" content=\"%1\">"
                                              "<meta property=\"og:video:url\" content=\"%2\"></head><body></body></html>")
                                   .arg(upicCover, QString(upic).replace(u'&', QStringLiteral("&amp;")));
        row("2017 photo page, og:video:url", photo, ogPage, upic, upicCover, {}, {}, QStringLiteral("海边的日落"),
            QStringLiteral("2016-07-01 21:38"), true);
        row("2017 photo page, <video> alone", photo,
            QStringLiteral("<html><head><title>海边的日落</title></head><body><video src=\"%1\" poster=\"%2\" loop=\"loop\">"
                           "</video></body></html>").arg(upic, upicCover),
            upic, upicCover, {}, {}, QStringLiteral("海边的日落"), QStringLiteral("2016-07-01 21:38"), true);
        row("gifshow.com share link to a photo page", photo, ogPage, upic, upicCover, {}, {}, QStringLiteral("海边的日落"),
            QStringLiteral("2016-07-01 21:38"), true, QStringLiteral("http://www.gifshow.com/s/aB3dE5fG"));
        none("photo page of pictures: no video", photo,
             edited(ogPage, QStringLiteral("og:video:url"), QStringLiteral("og:description")));

        // 2018-2021 live site: the Vue states and the Apollo state.
        const QString live = QStringLiteral("http://live.kuaishou.com/u/3xuser88/") + eid;
        const QString watermarked = QStringLiteral("https://jsmov2.a.yximgs.com/bs2/newWatermark/MjEwMjIwNTk0MTU_zh_4.mp4");
        const QString thumb = QStringLiteral("https://js2.a.yximgs.com/upic/2019/10/04/12/BMjAxOTEwMDQxMjM0NTZfMTIzXzQ1Nl8yXzM=_B.jpg");
        const auto liveWork = [&](const QString &id) {
            return work(id, QStringLiteral("\"playUrl\":\"%1\",\"caption\":\"西湖边\",\"thumbnailUrl\":\"%2\",\"timestamp\":"
                                           "1570163696000").arg(id == eid ? watermarked : QStringLiteral("https://x.a.yximgs.com/o.mp4"), thumb));
        };
        const auto liveRow = [&](const char *name, const QString &script, const QString &link = QString()) {
            row(name, live, ksPage(script), watermarked, thumb, {}, {}, QStringLiteral("西湖边"),
                QStringLiteral("2019-10-04 12:34"), false, link);
        };
        liveRow("live site, Vue gallery state",
                QStringLiteral("window.VUE_MODEL_INIT_STATE = window.VUE_MODEL_INIT_STATE || {};\n"
                               "window.VUE_MODEL_INIT_STATE.profileGallery={\"work\":{\"currentWork\":%1}};").arg(liveWork(eid)));
        liveRow("live site, Vue comment state, the page's work second",
                QStringLiteral("window.VUE_MODEL_INIT_STATE['shortVideoComment']={\"work\":{\"list\":[%1,%2]},"
                               "\"comment\":{\"list\":[]}};").arg(liveWork(otherEid), liveWork(eid)));
        none("live site, Vue state of another work only", live,
             ksPage(QStringLiteral("window.VUE_MODEL_INIT_STATE['shortVideoComment']={\"work\":{\"list\":[%1]}};")
                        .arg(liveWork(otherEid))));
        const QString apollo = QStringLiteral("window.__APOLLO_STATE__={\"VideoFeed:%1\":%2,\"VideoFeed:%3\":%4,\"$VideoFeed:%3"
                                              ".counts\":{\"displayView\":\"1.2w\"}};(function(){var s;(s=document.currentScript||"
                                              "document.scripts[document.scripts.length-1]).parentNode.removeChild(s);}());")
                                   .arg(otherEid, liveWork(otherEid), eid, liveWork(eid));
        liveRow("live site, Apollo state", apollo);
        liveRow("m.gifshow.com share link to the live site", apollo, QStringLiteral("http://m.gifshow.com/s/Kp9Lm2Qx"));
        const QString mobileVideo = QStringLiteral("https://txmov2.a.yximgs.com/upic/2018/09/24/19/BMjAxODA5MjQxOTQ1MDlfOTk5"
                                                   "XzEyMzRfMl8z_b.mp4");
        row("live site, mobile player", live,
            QStringLiteral("<html><title>西湖边</title><video class=\"player\" id=\"video-player\" src=\"%1\" poster=\"%2\">"
                           "</video></html>").arg(mobileVideo, thumb),
            mobileVideo, thumb, {}, {}, QStringLiteral("西湖边"), QStringLiteral("2018-09-24 19:45"), true);

        // 2020-2022 mobile share pages: window.pageData, written as HTML in 2020.
        const QString mobile = QStringLiteral("http://v.m.chenzhongtech.com/fw/photo/") + eid
                               + QStringLiteral("?fid=1&cc=share_copylink&shareMethod=TOKEN");
        const QString people = QStringLiteral("<div class=\"auth-avatar\" style=\"background-image:url(%1)\"></div>"
                                              "<div class=\"auth-name\">小城故事</div><video class=\"player\" type=\"video/mp4\" "
                                              "src=\"https://v2.kwaicdn.com/wm.mp4\" poster=\"%2\"></video>").arg(ksAvatar, ksCover);
        const QString pageData = QStringLiteral("{\"video\":{\"srcNoMark\":\"%1\",\"type\":\"video\",\"caption\":\"小城的傍晚\","
                                                "\"timestamp\":1647259883000},\"share\":{\"title\":\"小城的傍晚\",\"desc\":\"快手\"}}")
                                     .arg(ksVideo).replace(u'/', QStringLiteral("\\u002F"));
        const auto mobileRow = [&](const char *name, const QString &page, const QString &link = QString()) {
            row(name, mobile, page, ksVideo, ksCover, ksAvatar, QStringLiteral("小城故事"), QStringLiteral("小城的傍晚"),
                QStringLiteral("2022-03-14 20:11"), false, link);
        };
        mobileRow("2022 mobile share page", ksPage(QStringLiteral("window.pageData= ") + pageData, people));
        mobileRow("2020 mobile share page, state written as HTML",
                  ksPage(QStringLiteral("window.pageData= ")
                             + QString(pageData).replace(u'&', QStringLiteral("&amp;")).replace(u'"', QStringLiteral("&#34;")),
                         people));
        mobileRow("2020 mobile share page, the key outside a state",
                  ksPage(QStringLiteral("var d = {\"title\":\"小城的傍晚\",\"srcNoMark\":\"%1\",\"timestamp\":1647259883000};")
                             .arg(ksVideo), people));
        mobileRow("v.kuaishou.com share link", ksPage(QStringLiteral("window.pageData= ") + pageData, people),
                  QStringLiteral("http://v.kuaishou.com/Jx7Qa2"));
        none("mobile share page of pictures", mobile,
             ksPage(QStringLiteral("window.pageData= ") + edited(pageData, QStringLiteral("\"video\","), QStringLiteral("\"image\",")),
                    people));

        // 2021-2025 vision site and 2024-2026 mobile pages.
        const QString vision = QStringLiteral("http://www.kuaishou.com/short-video/") + eid
                               + QStringLiteral("?authorId=3xauthor1&streamSource=profile");
        const auto visionWork = [&](const QString &id) {
            return work(id, QStringLiteral("\"caption\":\"小城的傍晚\",\"coverUrl\":\"%1\",\"photoUrl\":\"%2\",\"timestamp\":"
                                           "1647259883000").arg(ksCover, id == eid ? ksVideo : QStringLiteral("https://x/o.mp4")));
        };
        const QString visionState =
            QStringLiteral("window.__APOLLO_STATE__={\"defaultClient\":{\"VisionVideoDetailPhoto:%1\":%2,\"VisionVideoDetailPhoto:%3\""
                           ":%4,\"VisionVideoDetailAuthor:3xauthor1\":%5}};")
                .arg(otherEid, visionWork(otherEid), eid, visionWork(eid),
                     work(QStringLiteral("3xauthor1"), QStringLiteral("\"name\":\"小城故事\",\"headerUrl\":\"%1\"").arg(ksAvatar)));
        const auto visionRow = [&](const char *name, const QString &address, const QString &link = QString()) {
            row(name, address, ksPage(visionState), ksVideo, ksCover, ksAvatar, QStringLiteral("小城故事"),
                QStringLiteral("小城的傍晚"), QStringLiteral("2022-03-14 20:11"), false, link);
        };
        visionRow("vision site, the page's photo second", vision);
        visionRow("2021 video.kuaishou.com", QStringLiteral("http://video.kuaishou.com/video/") + eid
                                                 + QStringLiteral("?authorId=3xauthor1"));
        visionRow("v.kuaishouapp.com share link", vision, QStringLiteral("http://v.kuaishouapp.com/s/Rt5Yu8Io"));
        none("vision state of another photo only", vision,
             ksPage(QStringLiteral("window.__APOLLO_STATE__={\"defaultClient\":{\"VisionVideoDetailPhoto:%1\":%2}};")
                        .arg(otherEid, visionWork(otherEid))));

        const QString gifshowMobile = QStringLiteral("http://m.gifshow.com/fw/photo/") + eid;
        const auto initWork = [&](const QString &id) {
            return QStringLiteral("{\"result\":1,\"photo\":{%1},\"serialInfo\":{}}")
                .arg(QString(QStringLiteral("\"photoId\":\"%1\",\"caption\":\"小城的傍晚\",\"userName\":\"小城故事\",\"headUrl\":\"%2\","
                                             "\"userEid\":\"3xauthor1\",\"timestamp\":1647259883000,\"coverUrls\":[{\"url\":\"%3\"}],"
                                             "\"mainMvUrls\":[{\"url\":\"%4\"}]")
                                  .arg(id, ksAvatar, ksCover, id == eid ? ksVideo : QStringLiteral("https://x/o.mp4")))
                         .replace(u'/', QStringLiteral("\\u002F")));
        };
        const QString antispam = QStringLiteral("\"tk0\":{\"result\":2001,\"error_msg\":\"antispam need captcha\"}");
        const QString initState = ksPage(QStringLiteral("window.INIT_STATE = {%1,\"tk1\":%2,\"tk2\":%3}")
                                             .arg(antispam, initWork(otherEid), initWork(eid)));
        const auto initRow = [&](const char *name, const QString &link = QString()) {
            row(name, gifshowMobile, initState, ksVideo, ksCover, ksAvatar, QStringLiteral("小城故事"),
                QStringLiteral("小城的傍晚"), QStringLiteral("2022-03-14 20:11"), false, link);
        };
        initRow("mobile INIT_STATE, the page's work after another");
        initRow("long video, read as its photo page", QStringLiteral("http://m.gifshow.com/fw/long-video/") + eid);
        initRow("www.kuaishou.com/f/ share link", QStringLiteral("http://www.kuaishou.com/f/X-7aB9cD3eF1gH2"));
        none("mobile INIT_STATE of another work and a captcha only", gifshowMobile,
             ksPage(QStringLiteral("window.INIT_STATE = {%1,\"tk1\":%2}").arg(antispam, initWork(otherEid))));
    }
    void kuaishou() { readEveryWay(Service::Kuaishou); }

    void weishi_data()
    {
        columns();
        const QString h5 = QStringLiteral("http://h5.weishi.qq.com/weishi/feed/%1/wsfeed?wxplay=1&id=%1&spid=8039370&qua="
                                          "v1_and_weishi_6.1.0_588_212011001_d").arg(feedId);
        const QString shell = QStringLiteral("<html><body><div id=\"app\"></div><script src=\"//isee.weishi.qq.com/app.js\">"
                                             "</script></body></html>");
        const auto row = [](const char *name, const QString &address, const QString &page, const QString &answer,
                            const QString &date, const QString &link = QString()) {
            QTest::newRow(name) << address << page << answer << wsVideo << wsCover << wsAvatar << QStringLiteral("江南")
                                << QStringLiteral("渡口") << date << false << link;
        };
        const QString shown = QStringLiteral("2020-05-09 16:18");
        const QString createtime = QStringLiteral(",\"createtime\":1589012300");
        row("2019 feed page naming its video, the answer for the rest", h5,
            QStringLiteral("<html><body><video src=\"%1\"></video></body></html>")
                .arg(QString(wsVideo).replace(u'&', QStringLiteral("&amp;"))),
            playAnswer(feed(feedId, false, createtime)), shown);
        row("feed page without the video: the answer's, other feeds after it", h5, shell,
            playAnswer(feed(feedId, false, createtime) + u',' + feed(QStringLiteral("8gRnX3qMd0YsU5wC2"), false, createtime)),
            shown);
        row("no feed time: the account's is not the video's", h5, shell, playAnswer(feed(feedId, false)), QString());
        row("isee share page, its data in the answer",
            QStringLiteral("http://isee.weishi.qq.com/ws/app-pages/share/index.html?wxplay=1&id=%1&spid=3961093"
                           "&qua=v1_and_weishi_8.10.0_590_312027000_d").arg(feedId),
            shell, playAnswer(feed(feedId, false, createtime)), shown);
        QTest::newRow("an answer of another feed only")
            << h5 << shell << playAnswer(feed(QStringLiteral("8gRnX3qMd0YsU5wC2"), false, createtime)) << QString()
            << QString() << QString() << QString() << QString() << QString() << false << QString();

        const QString vise = QStringLiteral("http://m.weishi.qq.com/vise/share/index.html?id=") + feedId;
        const QString viseFeeds = feed(feedId, true, createtime) + u',' + feed(QStringLiteral("8gRnX3qMd0YsU5wC2"), true, createtime);
        row("Vise share page, feedsList", vise, visePage(viseFeeds), QString(), shown);
        row("video.weishi.qq.com share link", vise, visePage(viseFeeds), QString(), shown,
            QStringLiteral("http://video.weishi.qq.com/9kLmN2pQ"));
        row("feed address serving today's Vise page", h5, visePage(viseFeeds), QString(), shown);
        QTest::newRow("Vise state whose list holds another feed only")
            << vise << visePage(feed(QStringLiteral("8gRnX3qMd0YsU5wC2"), true, createtime)) << QString() << QString()
            << QString() << QString() << QString() << QString() << QString() << false << QString();
    }
    void weishi() { readEveryWay(Service::Weishi); }

    // A share link's hops keep the access point's rules, live and in the archive's capture of
    // the redirect: nothing is asked of a local or private address, nor of another scheme.
    void shareLinkHops_data()
    {
        QTest::addColumn<QString>("location");
        QTest::addColumn<bool>("archived"); // the redirect is only in the archive
        QTest::addColumn<Extract::Outcome>("outcome");
        QTest::addColumn<int>("linkAsked"); // times the live link was asked
        using O = Extract::Outcome;
        const QString photoPath = QStringLiteral("/fw/photo/") + eid;
        QTest::newRow("to a private address") << QStringLiteral("http://192.168.1.20") + photoPath << false << O::Unsafe << 1;
        QTest::newRow("to this machine") << QStringLiteral("http://localhost") + photoPath << false << O::Unsafe << 1;
        QTest::newRow("to another scheme") << QStringLiteral("ftp://v.m.chenzhongtech.com") + photoPath << false << O::Unsafe << 1;
        QTest::newRow("round in circles") << QStringLiteral("/Jx7Qa2") << false << O::FetchFailed
                                          << Extract::maxShareHops + 1;
        QTest::newRow("to the home page of a deleted work") << QStringLiteral("http://www.kuaishou.com/") << false
                                                            << O::NoVideo << 1;
        QTest::newRow("archived, to a private address") << QStringLiteral("http://10.0.0.8") + photoPath << true
                                                        << O::FetchFailed << 1;
        const QString longVideo = QStringLiteral("http://m.gifshow.com/fw/long-video/") + eid;
        QTest::newRow("to a long video, asked at its photo page") << longVideo << false << O::Done << 1;
        QTest::newRow("archived, to a long video") << longVideo << true << O::Done << 1;
    }
    void shareLinkHops()
    {
        QFETCH(QString, location);
        QFETCH(bool, archived);
        QFETCH(Extract::Outcome, outcome);
        QFETCH(int, linkAsked);
        const QString link = QStringLiteral("http://v.kuaishou.com/Jx7Qa2");
        const QString page = ksPage(QString(), QStringLiteral("<video src=\"http://www.kuaishou.com/a.mp4\"></video>"));
        m_site.setRoute(QStringLiteral("www.kuaishou.com"), QStringLiteral("/"), text(page));
        const QString photo = QStringLiteral("http://m.gifshow.com/fw/photo/") + eid;
        const Response photoPage = text(ksPage(QStringLiteral("window.pageData= {\"video\":{\"srcNoMark\":\"%1\"}}").arg(ksVideo)));
        if (archived) {
            m_site.setHandler(m_archive.handler());
            m_archive.addCapture(link, pageTime, Response::redirect(location.toUtf8()));
            m_archive.addCapture(photo, QStringLiteral("20180601120002"), photoPage);
        } else {
            m_site.setRoute(QStringLiteral("m.gifshow.com"), QUrl(photo).path(), photoPage);
            m_site.setRoute(QStringLiteral("v.kuaishou.com"), QStringLiteral("/Jx7Qa2"), Response::redirect(location.toUtf8()));
        }
        const qsizetype before = m_site.requests().size();
        const Extract::RoadResult r = Extract::runRoad(link, std::nullopt, m_cfg, Web::networkFetch());
        QCOMPARE(r.outcome(), outcome);
        int asked = 0;
        for (const Demo::Request &request : m_site.requests().mid(before)) {
            QVERIFY2(!Web::isLocalHost(request.host) && !request.path.contains(QLatin1String("10.0.0.8"))
                         && !(archived && request.path.contains(QLatin1String("long-video"))),
                     qPrintable(request.host + request.path));
            asked += request.host == u"v.kuaishou.com" ? 1 : 0;
        }
        QCOMPARE(asked, linkAsked);
    }

};

QTEST_GUILESS_MAIN(TestGenerations)
#include "test_generations.moc"
