#include "config/settings.h"
#include "demo/loopbackarchive.h"
#include "demo/loopbacksite.h"
#include "extract/road.h"
#include "web/archive.h"
#include "web/network.h"

#include <QElapsedTimer>
#include <QTest>

using Demo::Response;
using Extract::Service;

Q_DECLARE_METATYPE(Extract::Service)
Q_DECLARE_METATYPE(Config::ArchiveMode)

namespace {

const QString indexUrl = QStringLiteral("http://web.archive.org/cdx/search/cdx");
const QString replayUrl = QStringLiteral("http://web.archive.org/web/");
const QString older = QStringLiteral("20150312094501");
const QString newer = QStringLiteral("20160520120000");

Response html(const QString &text, int status = 200)
{
    Response r;
    r.status = status;
    r.body = text.toUtf8();
    return r;
}

// Pages that carry just what each service's cutting looks for.
QString meipaiPage(const QString &video)
{
    return QStringLiteral("<html><title>陈思雨的美拍 西湖 - 美拍</title>"
                          "<div data-video=\"%1\" data-title=\"西湖\"><img src=\"http://mvimg1.meipai.com/c.jpg\">"
                          "</div><img src=\"http://mvavatar1.meipai.com/a.png\"><span class=\"date\">2015-03-12</span>"
                          "</html>")
        .arg(video);
}

QString kuaishouPage(const QString &video)
{
    return QStringLiteral("<div style=\"text-overflow: ellipsis;\"><span>刘小北</span>:"
                          "<img src=\"http://img.gifshow.com/a.png\" style=\"vertical-align:middle;\">"
                          "<span style=\"vertical-align:middle;\"> 雪人 </span></div>"
                          "<span style=\"white-space:nowrap;\"> 2015-06-19 </span>"
                          "<video poster=\"http://img.gifshow.com/c.jpg\" src=\"%1\"></video>")
        .arg(video);
}

QString weishiPage(const QString &id)
{
    return QStringLiteral("<title>张小凡的微视</title><div class=\"vBox js_player\" id=\"%1\"></div>"
                          "<div id=\"message\" class=\"msgCnt\">日落</div><span class=\"time c_tx3\">2014</span>")
        .arg(id);
}

QString weishiEndpoint(const QString &id)
{
    return QStringLiteral("http://wsi.weishi.com/weishi/video/downloadVideo.php?v=p&vid=%1&play=2&device=2").arg(id);
}

QString weishiAnswer(const QString &file)
{
    return QStringLiteral("{\"url\":[\"http:\\/\\/vfile.weishi.com\\/%1\"]}").arg(file);
}

const QString miaopaiPage = QStringLiteral("<html><p>傍晚</p><h2><b>2016-04-22&nbsp;</b></h2></html>");

// A page for `service` whose video address is `video` (Weishi: the file behind its endpoint).
QString pageFor(Service service, const QString &video)
{
    switch (service) {
    case Service::Weishi:
        return weishiPage(QStringLiteral("200123"));
    case Service::Meipai:
        return meipaiPage(video);
    case Service::Kuaishou:
        return kuaishouPage(video);
    default:
        return miaopaiPage;
    }
}

} // namespace

class TestRoad final : public QObject
{
    Q_OBJECT

    Demo::LoopbackSite m_site;
    Demo::LoopbackArchive m_archive{indexUrl, replayUrl};
    Config::Settings m_cfg;
    qsizetype m_seenBefore = 0;

    Extract::RoadResult road(const QString &text, std::optional<Service> service = std::nullopt,
                             QStringList *statuses = nullptr)
    {
        Extract::RoadHooks hooks;
        hooks.status = [statuses](const QString &s) {
            if (statuses)
                statuses->append(s);
        };
        return Extract::runRoad(text, service, m_cfg, Web::networkFetch(), hooks);
    }

    int liveRequests(const QString &host) const
    {
        int n = 0;
        for (const Demo::Request &r : m_site.requests().mid(m_seenBefore))
            n += r.host == host ? 1 : 0;
        return n;
    }

    void configure()
    {
        Web::NetworkAccess::configure(m_cfg);
    }

private Q_SLOTS:
    void initTestCase()
    {
        for (const char *name : {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy", "no_proxy"})
            qunsetenv(name);
        QVERIFY(m_site.listen());
    }

    void init()
    {
        m_site.clearRoutes();
        m_site.setHandler(m_archive.handler());
        m_seenBefore = m_site.requests().size();
        m_archive.clear();
        Web::ArchivePacer::instance().reset();
        m_cfg = Config::Settings{};
        m_cfg.network.proxy = m_site.proxyUrl();
        m_cfg.network.timeoutSeconds = 2;
        m_cfg.archive.indexUrl = indexUrl;
        m_cfg.archive.replayUrl = replayUrl;
        m_cfg.archive.indexPerMinute = 6000;
        m_cfg.archive.replayPerMinute = 6000;
        configure();
    }

    // A live page that gives its video never bothers the archive.
    void liveWorks_data()
    {
        QTest::addColumn<Service>("service");
        QTest::addColumn<QString>("address");
        QTest::newRow("weishi") << Service::Weishi << QStringLiteral("http://www.weishi.com/t/200123");
        QTest::newRow("meipai") << Service::Meipai << QStringLiteral("http://www.meipai.com/media/1");
        QTest::newRow("kuaishou") << Service::Kuaishou << QStringLiteral("http://www.gifshow.com/i/photo/1");
        QTest::newRow("miaopai") << Service::Miaopai << QStringLiteral("http://www.miaopai.com/show/ab1.htm");
    }
    void liveWorks()
    {
        QFETCH(Service, service);
        QFETCH(QString, address);
        const QUrl url(address);
        m_site.setRoute(url.host(), url.path(), html(pageFor(service, QStringLiteral("http://v.test/live.mp4"))));
        m_site.setRoute(QStringLiteral("wsi.weishi.com"), QUrl(weishiEndpoint(QStringLiteral("200123"))).path()
                            + u'?' + QUrl(weishiEndpoint(QStringLiteral("200123"))).query(),
                        html(weishiAnswer(QStringLiteral("200123.mp4"))));
        QStringList statuses;
        const Extract::RoadResult r = road(address, std::nullopt, &statuses);
        QVERIFY2(r.ok(), qPrintable(r.result.status));
        QCOMPARE(r.service, std::optional<Service>(service));
        QVERIFY(!r.archived);
        QCOMPARE(r.info().videoToFetch(), r.result.video());
        QVERIFY(m_archive.indexQueries().isEmpty());
        QVERIFY(m_archive.replays().isEmpty());
        QVERIFY(statuses.isEmpty());
    }

    // The capture nearest to the chosen date comes first; it no longer carries an address, the
    // older one does.
    void goneLivePageTwoCaptures_data()
    {
        QTest::addColumn<Service>("service");
        QTest::addColumn<QString>("address");
        QTest::addColumn<int>("liveStatus");
        QTest::newRow("meipai, 404") << Service::Meipai << QStringLiteral("http://www.meipai.com/media/77") << 404;
        QTest::newRow("kuaishou, 404") << Service::Kuaishou << QStringLiteral("http://www.gifshow.com/i/photo/77") << 404;
        QTest::newRow("meipai, dropped connection") << Service::Meipai << QStringLiteral("http://www.meipai.com/media/78")
                                                    << 0;
    }
    void goneLivePageTwoCaptures()
    {
        QFETCH(Service, service);
        QFETCH(QString, address);
        QFETCH(int, liveStatus);
        const QUrl url(address);
        Response live = html(QStringLiteral("<html>页面不存在</html>").repeated(50), liveStatus ? liveStatus : 200);
        if (!liveStatus)
            live.behaviour = Response::Behaviour::Reset;
        m_site.setRoute(url.host(), url.path(), live);
        const QString video = QStringLiteral("http://v.test/77.mp4");
        m_archive.addCapture(address, older, html(pageFor(service, video)));
        m_archive.addCapture(address, newer, html(pageFor(service, QStringLiteral("aHR0cDovL3YudGVzdC83Ny5tcDQ="))));
        Response file;
        file.contentType = "video/mp4";
        file.body = QByteArray(4096, 'v');
        m_archive.addCapture(video, QStringLiteral("20150312094530"), file);

        QStringList statuses;
        const Extract::RoadResult r = road(address, service, &statuses);
        QVERIFY2(r.ok(), qPrintable(r.result.status));
        QCOMPARE(r.result.status, Extract::statusDone);
        QCOMPARE(statuses, QStringList{Extract::statusArchiveSearch});
        QVERIFY(r.archived);
        QCOMPARE(r.archived->timestamp, older);
        QCOMPARE(r.archived->page, replayUrl + older + QStringLiteral("id_/") + address);
        QCOMPARE(r.result.video(), video);
        // The file was captured half a minute later: the replay's redirect leads there.
        QCOMPARE(r.archived->video, replayUrl + older + QStringLiteral("id_/") + video);
        QCOMPARE(r.info().videoToFetch(), r.archived->video);
        QVERIFY(r.result.display.coverAddress.startsWith(replayUrl + older + QStringLiteral("id_/http://")));

        QCOMPARE(m_archive.indexQueries().size(), 1);
        QCOMPARE(m_archive.indexQueries().first().url, address);
        QStringList replayed;
        for (const Demo::Request &req : m_archive.replays())
            replayed << req.path;
        QVERIFY2(replayed.size() >= 3, qPrintable(replayed.join(u' ')));
        QVERIFY(replayed.at(0).startsWith(QStringLiteral("/web/") + newer));
        QVERIFY(replayed.at(1).startsWith(QStringLiteral("/web/") + older));
    }

    // "&photoId=" belongs to the page's address, not to the index query.
    void addressWithAQuery()
    {
        const QString address = QStringLiteral("http://www.gifshow.com/i/photo/lwx/9?userId=1&photoId=9");
        m_archive.addCapture(address, older, html(kuaishouPage(QStringLiteral("http://v.test/9.mp4"))));
        m_archive.addCapture(QStringLiteral("http://www.gifshow.com/i/photo/lwx/9?userId=1"), newer,
                             html(kuaishouPage(QStringLiteral("http://v.test/wrong.mp4"))));
        const Extract::RoadResult r = road(address);
        QVERIFY2(r.ok(), qPrintable(r.result.status));
        QCOMPARE(r.result.video(), QStringLiteral("http://v.test/9.mp4"));
        QCOMPARE(m_archive.indexQueries().size(), 1);
        QCOMPARE(m_archive.indexQueries().first().url, address);
        QVERIFY(m_archive.indexQueries().first().query.contains(QLatin1String("photoId%3D9")));
        QVERIFY(r.archived && r.archived->video.isEmpty());
    }

    // Weishi's second request goes to the same moment of the archive.
    void weishiEndpointFromTheArchive()
    {
        const QString address = QStringLiteral("http://www.weishi.com/t/300456");
        m_archive.addCapture(address, older, html(weishiPage(QStringLiteral("300456"))));
        m_archive.addCapture(weishiEndpoint(QStringLiteral("300456")), QStringLiteral("20150312094533"),
                             html(weishiAnswer(QStringLiteral("300456.f20.mp4?vkey=A1"))));
        // The live endpoint would give another file: it must not be asked.
        m_site.setRoute(QStringLiteral("wsi.weishi.com"), QStringLiteral("/weishi/video/downloadVideo.php"),
                        html(weishiAnswer(QStringLiteral("live.mp4"))));
        const Extract::RoadResult r = road(address, Service::Weishi);
        QVERIFY2(r.ok(), qPrintable(r.result.status));
        QCOMPARE(r.result.video(), QStringLiteral("http://video.weishi.com/vfile.weishi.com/300456.f20.mp4?vkey=A1"));
        for (const Demo::Request &req : m_site.requests().mid(m_seenBefore))
            QVERIFY2(req.host != u"wsi.weishi.com" || !req.path.contains(QLatin1String("vid=300456")),
                     qPrintable(req.path));
        QVERIFY(r.archived);
        QVERIFY(r.archived->video.isEmpty());
        QCOMPARE(r.info().videoToFetch(), r.result.video());
    }

    // Nothing in the archive counts: the failure is the live road's own.
    void nothingThatCounts_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("status");
        QTest::newRow("no capture, live page without video") << QStringLiteral("none-live") << Extract::statusNoVideo;
        QTest::newRow("no capture, no live page") << QStringLiteral("none-dead") << Extract::statusFetchFailed;
        QTest::newRow("only an archived redirect") << QStringLiteral("redirect") << Extract::statusFetchFailed;
        QTest::newRow("only captures without a web address") << QStringLiteral("encoded") << Extract::statusFetchFailed;
        // An archive that cannot answer is no answer about the page.
        QTest::newRow("index answers garbage") << QStringLiteral("garbage") << Extract::statusArchiveUnavailable;
        QTest::newRow("index fails") << QStringLiteral("500") << Extract::statusArchiveUnavailable;
        QTest::newRow("capture replays an error") << QStringLiteral("replay-404") << Extract::statusFetchFailed;
    }
    void nothingThatCounts()
    {
        QFETCH(QString, kind);
        QFETCH(QString, status);
        const QString address = QStringLiteral("http://www.meipai.com/media/88");
        Response live = html(QStringLiteral("<html>无</html>").repeated(100));
        if (kind != u"none-live")
            live.behaviour = Response::Behaviour::Reset;
        m_site.setRoute(QStringLiteral("www.meipai.com"), QStringLiteral("/media/88"), live);
        if (kind == u"redirect") {
            Response moved = html(QString(), 302);
            moved.headers.append({QByteArrayLiteral("Location"), QByteArrayLiteral("http://www.meipai.com/")});
            m_archive.addCapture(address, older, moved);
            m_archive.addCapture(QStringLiteral("http://www.meipai.com/"), older,
                                 html(meipaiPage(QStringLiteral("http://v.test/home.mp4"))));
        }
        if (kind == u"encoded")
            m_archive.addCapture(address, newer, html(meipaiPage(QStringLiteral("bWVpcGFp"))));
        if (kind == u"garbage" || kind == u"500") {
            m_site.setHandler([kind](const Demo::Request &req) -> std::optional<Response> {
                if (req.host != u"web.archive.org")
                    return std::nullopt;
                return kind == u"500" ? html(QStringLiteral("oops"), 500)
                                      : html(QStringLiteral("[[\"timestamp\"],[1,2],{\"x\":[]}"));
            });
        }
        if (kind == u"replay-404") {
            // The index knows a capture that the replay cannot find.
            m_site.setHandler([this](const Demo::Request &req) -> std::optional<Response> {
                if (req.path.startsWith(QLatin1String("/web/")))
                    return html(QStringLiteral("gone"), 404);
                return m_archive.answer(req);
            });
            m_archive.addCapture(address, older, html(meipaiPage(QStringLiteral("http://v.test/x.mp4"))));
        }
        const Extract::RoadResult r = road(address, Service::Meipai);
        QVERIFY(!r.ok());
        QVERIFY(!r.archived);
        QCOMPARE(r.result.status, status);
        QVERIFY(r.info().videoToFetch().isEmpty());
    }

    void modes_data()
    {
        QTest::addColumn<Config::ArchiveMode>("mode");
        QTest::addColumn<bool>("liveAsked");
        QTest::addColumn<bool>("archiveAsked");
        QTest::addColumn<bool>("ok");
        QTest::newRow("off") << Config::ArchiveMode::Off << true << false << false;
        QTest::newRow("only") << Config::ArchiveMode::Only << false << true << true;
        QTest::newRow("fallback") << Config::ArchiveMode::Fallback << true << true << true;
    }
    void modes()
    {
        QFETCH(Config::ArchiveMode, mode);
        QFETCH(bool, liveAsked);
        QFETCH(bool, archiveAsked);
        QFETCH(bool, ok);
        m_cfg.archive.mode = mode;
        configure();
        const QString address = QStringLiteral("http://www.meipai.com/media/99");
        m_archive.addCapture(address, older, html(meipaiPage(QStringLiteral("http://v.test/99.mp4"))));
        const Extract::RoadResult r = road(address);
        QCOMPARE(r.ok(), ok);
        QCOMPARE(liveRequests(QStringLiteral("www.meipai.com")) > 0, liveAsked);
        QCOMPARE(!m_archive.indexQueries().isEmpty(), archiveAsked);
        QCOMPARE(r.result.status, ok ? Extract::statusDone : Extract::statusNoVideo);
    }

    void onlyModeWithoutCapture()
    {
        m_cfg.archive.mode = Config::ArchiveMode::Only;
        configure();
        const Extract::RoadResult r = road(QStringLiteral("http://www.meipai.com/media/100"));
        QVERIFY(!r.ok());
        QCOMPARE(r.result.status, Extract::statusFetchFailed);
        QCOMPARE(liveRequests(QStringLiteral("www.meipai.com")), 0);
    }

    // The archive says it is busy: that address fails at once, and nobody asks it again soon.
    void busyArchive()
    {
        m_archive.setIndexStatus(429);
        const QString address = QStringLiteral("http://www.meipai.com/media/101");
        m_archive.addCapture(address, older, html(meipaiPage(QStringLiteral("http://v.test/101.mp4"))));
        QElapsedTimer clock;
        clock.start();
        Extract::RoadResult r = road(address);
        QVERIFY(!r.ok());
        QCOMPARE(r.result.status, Extract::statusArchiveBusy);
        QCOMPARE(m_archive.indexQueries().size(), 1);

        m_archive.setIndexStatus(0);
        r = road(QStringLiteral("http://www.meipai.com/media/102"));
        QCOMPARE(r.result.status, Extract::statusArchiveBusy);
        r = road(address);
        QCOMPARE(r.result.status, Extract::statusArchiveBusy);
        QCOMPARE(m_archive.indexQueries().size(), 1);
        // Far below the hold: the held queries were not waited for.
        QVERIFY2(clock.elapsed() < 30000, qPrintable(QString::number(clock.elapsed())));
    }

    // Addresses copied from a browser or a share text, for every service.
    void httpsAndShareText_data()
    {
        QTest::addColumn<Service>("service");
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("address");
        const auto rows = [](const char *key, Service s, const QString &http) {
            const QString https = QStringLiteral("https") + http.mid(4);
            QTest::addRow("%s https", key) << s << https << https;
            QTest::addRow("%s share text", key) << s << QStringLiteral("看看这个 %1 来自分享").arg(https) << https;
            QTest::addRow("%s http in a share text", key) << s << QStringLiteral("复制 %1，打开").arg(http) << http;
        };
        rows("weishi", Service::Weishi, QStringLiteral("http://www.weishi.com/t/200123"));
        rows("meipai", Service::Meipai, QStringLiteral("http://www.meipai.com/media/5"));
        rows("kuaishou", Service::Kuaishou, QStringLiteral("http://www.gifshow.com/i/photo/lwx/5?photoId=5"));
        rows("miaopai", Service::Miaopai, QStringLiteral("http://www.miaopai.com/show/xy5.htm"));
    }
    void httpsAndShareText()
    {
        QFETCH(Service, service);
        QFETCH(QString, text);
        QFETCH(QString, address);
        // The live web speaks no TLS here: an https page is lost to the live road, and the archive,
        // which does not tell the schemes apart, has it under its http address.
        const QString http = QStringLiteral("http") + address.mid(address.indexOf(u':'));
        m_archive.addCapture(http, older, html(pageFor(service, QStringLiteral("http://v.test/5.mp4"))));
        m_archive.addCapture(weishiEndpoint(QStringLiteral("200123")), older,
                             html(weishiAnswer(QStringLiteral("200123.mp4"))));
        const Extract::RoadResult r = road(text, service);
        QVERIFY2(r.ok(), qPrintable(r.result.status));
        QCOMPARE(r.address, address);
        if (address.startsWith(QLatin1String("https://"))) {
            bool tunnelled = false;
            for (const Demo::Request &req : m_site.requests().mid(m_seenBefore))
                tunnelled |= req.method == "CONNECT" && req.host == QUrl(address).host();
            QVERIFY2(tunnelled, "the https page is fetched as https");
            QVERIFY(r.archived);
            QCOMPARE(m_archive.indexQueries().value(0).url, address);
        }
        if (service == Service::Miaopai)
            QCOMPARE(r.result.slot[20], QStringLiteral("xy5"));
    }
};

QTEST_GUILESS_MAIN(TestRoad)
#include "test_road.moc"
