#include "config/settings.h"
#include "loopbackroad.h"
#include "demo/laterdemo.h"
#include "demo/loopbackarchive.h"
#include "demo/loopbacksite.h"
#include "extract/road.h"
#include "pagedata.h"
#include "web/archive.h"
#include "web/network.h"

#include <QRegularExpression>
#include <QTest>
#include <QUrlQuery>

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
    for (const QString &key : {QStringLiteral("k"), QStringLiteral("ssig")}) {
        if (query.hasQueryItem(key)) {
            const QString value = query.queryItemValue(key);
            query.removeQueryItem(key);
            query.addQueryItem(key, QString(value).replace(0, 1, value.at(0) == u'0' ? u'1' : u'0'));
        }
    }
    url.setQuery(query);
    return url.toString(QUrl::FullyEncoded);
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
        QCOMPARE(Extract::detectService(address, m_cfg), std::optional(service));
        QVERIFY(!Extract::checkAddress(service, address, m_cfg));

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
        const Extract::RoadResult live = Extract::runRoad(address, std::nullopt, m_cfg, Web::networkFetch());
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
        if (!answer.isEmpty())
            m_archive.addCapture(QString(asked).replace(QRegularExpression(QStringLiteral("_cb=\\w+")),
                                                        QStringLiteral("_cb=_jsonpz9")),
                                 QStringLiteral("20180601120004"), text(answer, "application/javascript"));
        const QString file = QUrl(video).hasQuery() ? signedOtherwise(video) : video;
        Response bytes = text(QStringLiteral("mp4").repeated(500), "video/mp4");
        m_archive.addCapture(file, QStringLiteral("20180601120100"), bytes);
        const Extract::RoadResult archived = Extract::runRoad(address, service, m_cfg, Web::networkFetch());
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
                                << date << fromFile;
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
                << QStringLiteral("海边") << QStringLiteral("2021-06-11 08:15") << true;
        }
        QTest::newRow("2016 page: the first generation's cut")
            << QStringLiteral("http://www.meipai.com/media/642349876")
            << QStringLiteral("<html><title>陈思雨的美拍 西湖 - 美拍</title><div data-video=\"http://mvvideo1.meipai.com/a.mp4\">"
                              "<img src=\"http://mvimg1.meipai.com/c.jpg\"></div><img src=\"http://mvavatar1.meipai.com/a.png\">"
                              "<span class=\"date\">2015-03-12</span></html>")
            << QString() << QStringLiteral("http://mvvideo1.meipai.com/a.mp4") << QStringLiteral("http://mvimg1.meipai.com/c.jpg")
            << QStringLiteral("http://mvavatar1.meipai.com/a.png") << QStringLiteral("陈思雨") << QStringLiteral("陈思雨的美拍 ")
            << QStringLiteral("2015-03-12") << false;
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
                                << avatar << QStringLiteral("山间小路") << QStringLiteral("晚霞") << date << false;
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
                                << (same ? QStringLiteral("2018-10-27 14:22") : QString()) << false;
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
            << QStringLiteral("傍晚") << QStringLiteral("2016-04-22") << false;
    }
    void miaopai() { readEveryWay(Service::Miaopai); }

};

QTEST_GUILESS_MAIN(TestGenerations)
#include "test_generations.moc"
