#include "config/settings.h"
#include "demo/demosite.h"
#include "demo/laterdemo.h"
#include "demo/loopbacksite.h"
#include "extract/extraction.h"
#include "extract/road.h"
#include "web/archive.h"
#include "web/network.h"

#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkReply>
#include <QTest>

class TestDemoSite final : public QObject
{
    Q_OBJECT

    struct Answer
    {
        int status = 0;
        QByteArray body;
        QByteArray type;
    };

    // With `redirects`, the archive's nearest-capture redirects are followed.
    static Answer get(QNetworkAccessManager &nam, const QString &address, bool redirects = false)
    {
        QNetworkRequest request{QUrl(address)};
        if (redirects)
            request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::NoLessSafeRedirectPolicy);
        QNetworkReply *reply = nam.get(request);
        QEventLoop loop;
        connect(reply, &QNetworkReply::finished, &loop, &QEventLoop::quit);
        loop.exec();
        Answer a{reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt(), reply->readAll(),
                 reply->header(QNetworkRequest::ContentTypeHeader).toByteArray()};
        reply->deleteLater();
        return a;
    }

    static Config::Settings otherHosts()
    {
        Config::Settings s;
        s.maker.versionRecordUrl = QStringLiteral("http://ver.test/v.txt?x=1");
        s.services.weishi.domain = QStringLiteral("ws.test");
        s.services.weishi.apiHost = QStringLiteral("api.ws.test");
        s.services.weishi.pictureHost = QStringLiteral("pic.ws.test");
        s.services.weishi.fileHost = QStringLiteral("file.ws.test");
        s.services.weishi.videoHost = QStringLiteral("video.ws.test");
        s.services.meipai.host = QStringLiteral("www.mp.test");
        s.services.kuaishou.host = QStringLiteral("www.ks.test");
        s.services.miaopai.host = QStringLiteral("www.mi.test");
        s.services.miaopai.streamHost = QStringLiteral("stream.mi.test");
        s.maker.verifiedAuthor = QStringLiteral("赵大勇");
        return s;
    }

    // The demonstration as the window runs it, its archive at no pace to speak of.
    static Config::Settings withArchive(bool custom, Demo::LoopbackSite &site)
    {
        Config::Settings s = custom ? otherHosts() : Config::Settings{};
        Demo::useDemoSite(s, site.proxyUrl());
        s.archive.indexPerMinute = 6000;
        s.archive.replayPerMinute = 6000;
        Demo::addDemoSite(site, s);
        Web::NetworkAccess::configure(s);
        return s;
    }

private slots:
    void initTestCase()
    {
        for (const char *name : {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy", "no_proxy"})
            qunsetenv(name);
    }

    void pages_data()
    {
        QTest::addColumn<bool>("custom");
        QTest::newRow("built-in host names") << false;
        QTest::newRow("configured host names") << true;
    }
    void pages()
    {
        QFETCH(bool, custom);
        const Config::Settings s = custom ? otherHosts() : Config::Settings{};
        Demo::LoopbackSite site;
        QVERIFY(site.listen());
        Demo::addDemoSite(site, s);
        QNetworkAccessManager nam;
        nam.setProxy(site.proxy());

        const Answer record = get(nam, s.maker.versionRecordUrl);
        QCOMPARE(record.status, 200);
        QCOMPARE(record.body, QByteArray("appsp:V1.6.0|"));

        const auto addresses = Demo::demoAddresses(s);
        QCOMPARE(addresses.size(), 4);
        int badges = 0;
        for (const auto &[service, address] : addresses) {
            QVERIFY2(!Extract::checkAddress(service, address, s), qPrintable(address));
            QCOMPARE(Extract::detectService(address, s), std::optional<Extract::Service>(service));
            const Answer page = get(nam, address);
            QCOMPARE(page.status, 200);
            const Extract::FetchFn fetch = [&](const QString &url) -> std::optional<QString> {
                const Answer a = get(nam, url);
                return a.status == 200 ? std::optional<QString>(QString::fromUtf8(a.body)) : std::nullopt;
            };
            const Extract::Result r = Extract::extract(service, address, QString::fromUtf8(page.body), fetch, s);
            QVERIFY2(r.found(), qPrintable(address));
            QCOMPARE(r.status, Extract::statusDone);
            QVERIFY(!r.display.author.isEmpty());
            QVERIFY(!r.display.date.isEmpty());
            QVERIFY(r.display.description != QStringLiteral("该视频暂无描述"));
            if (r.display.badge >= 0)
                ++badges;

            const Answer video = get(nam, r.video());
            QCOMPARE(video.status, 200);
            QCOMPARE(video.type, QByteArray("video/mp4"));
            QVERIFY(video.body.size() > 1000);
            for (const QString &picture : {r.display.coverAddress, r.display.avatarAddress}) {
                const Answer a = get(nam, picture);
                QVERIFY2(a.status == 200, qPrintable(picture));
                QVERIFY(a.type.startsWith("image/"));
            }
        }
        QVERIFY(badges >= 1);
        QCOMPARE(get(nam, addresses.first().second + QStringLiteral("0")).status, 404);
    }

    // Every lost page the demonstration lists comes back from its archive, pictures included.
    void archivedPages_data() { pages_data(); }
    void archivedPages()
    {
        QFETCH(bool, custom);
        Demo::LoopbackSite site;
        QVERIFY(site.listen());
        const Config::Settings s = withArchive(custom, site);
        QNetworkAccessManager nam;
        nam.setProxy(site.proxy());

        const auto addresses = Demo::archivedDemoAddresses(s);
        QCOMPARE(addresses.size(), 4);
        int videosKept = 0;
        for (const auto &[service, address] : addresses) {
            QVERIFY2(!Extract::checkAddress(service, address, s), qPrintable(address));
            QCOMPARE(get(nam, address).status, 404);
            const Extract::RoadResult r = Extract::runRoad(address, std::nullopt, s, Web::networkFetch());
            QVERIFY2(r.ok(), qPrintable(address + u' ' + r.result.status));
            QCOMPARE(r.service, std::optional<Extract::Service>(service));
            QVERIFY(r.archived);
            QVERIFY(!r.result.display.author.isEmpty());
            if (!r.archived->video.isEmpty()) {
                ++videosKept;
                const Answer video = get(nam, r.archived->video);
                QCOMPARE(video.status, 200);
                QCOMPARE(video.type, QByteArray("video/mp4"));
            }
            for (const QString &picture : {r.result.display.coverAddress, r.result.display.avatarAddress}) {
                QVERIFY2(picture.startsWith(s.archive.replayUrl), qPrintable(picture));
                const Answer a = get(nam, picture, true);
                QCOMPARE(a.status, 200);
                QVERIFY(a.type.startsWith("image/"));
            }
        }
        QVERIFY(videosKept >= 1);
    }

    // The later layouts' samples: the live ones from the site, the lost ones from its archive,
    // every one with its video and pictures.
    void laterPages_data() { pages_data(); }
    void laterPages()
    {
        QFETCH(bool, custom);
        Demo::LoopbackSite site;
        QVERIFY(site.listen());
        const Config::Settings s = withArchive(custom, site);
        QNetworkAccessManager nam;
        nam.setProxy(site.proxy());

        const QList<Demo::LaterSample> samples = Demo::laterSamples(s);
        QCOMPARE(samples.size(), 11);
        for (const Demo::LaterSample &sample : samples) {
            QCOMPARE(Extract::detectService(sample.address, s), std::optional(sample.service));
            QCOMPARE(get(nam, sample.address).status, sample.archived ? 404 : 200);
            const Extract::RoadResult r = Extract::runRoad(sample.address, std::nullopt, s, Web::networkFetch());
            QVERIFY2(r.ok(), qPrintable(sample.address + u' ' + r.result.status));
            QCOMPARE(bool(r.archived), sample.archived);
            QVERIFY(!r.result.display.author.isEmpty());
            QVERIFY(!r.result.display.date.isEmpty());
            const Answer video = get(nam, r.info().videoToFetch());
            QVERIFY2(video.status == 200, qPrintable(r.info().videoToFetch()));
            QCOMPARE(video.type, QByteArray("video/mp4"));
            for (const QString &picture : {r.result.display.coverAddress, r.result.display.avatarAddress}) {
                if (!picture.isEmpty())
                    QVERIFY2(get(nam, picture, true).status == 200, qPrintable(picture));
            }
        }
    }
};

QTEST_GUILESS_MAIN(TestDemoSite)
#include "test_demosite.moc"
