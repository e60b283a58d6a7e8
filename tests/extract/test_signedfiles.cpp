#include "config/settings.h"
#include "loopbackroad.h"
#include "demo/laterdemo.h"
#include "demo/loopbackarchive.h"
#include "demo/loopbacksite.h"
#include "extract/road.h"
#include "web/archivepacer.h"
#include "web/lookupcache.h"
#include "web/network.h"

#include <QTemporaryDir>
#include <QTest>

using Demo::Response;

namespace {

using TestSupport::indexUrl;
using TestSupport::replayUrl;
const QString address = QStringLiteral("http://www.meipai.com/media/901234567");
const QString pageTime = QStringLiteral("20180601120000");
const QString path = QStringLiteral("http://mvvideo3.meitudata.com/5a1c2e3f2d4b6c8e0.mp4");
const QString video = path + QStringLiteral("?k=0cc175b9c0f1b6a831c399e269772661&t=5a24c170");

Response file(const QByteArray &type = "video/mp4", int status = 200)
{
    Response r;
    r.status = status;
    r.contentType = type;
    r.body = QByteArray("\0\0\0\x18" "ftypmp42", 12).repeated(300);
    return r;
}

QString signedAs(const QString &k)
{
    return path + QStringLiteral("?k=") + k + QStringLiteral("&t=5a2f0000");
}

} // namespace

// The video a page names carries a signature that changed with every visit: the archive holds
// it, if at all, under another one, and is asked for it by its path.
class TestSignedFiles final : public QObject
{
    Q_OBJECT

    Demo::LoopbackSite m_site;
    Demo::LoopbackArchive m_archive{indexUrl, replayUrl};
    Config::Settings m_cfg;

    Extract::RoadResult road(Web::DeferredLookupCache *cache = nullptr)
    {
        Web::NetworkAccess::configure(m_cfg);
        Extract::RoadHooks hooks;
        hooks.cache = cache;
        return Extract::runRoad(address, Extract::Service::Meipai, m_cfg, Web::networkFetch(), hooks);
    }

    int prefixQueries() const
    {
        int n = 0;
        for (const Demo::LoopbackArchive::IndexQuery &q : m_archive.indexQueries())
            n += q.query.contains(QLatin1String("matchType=prefix")) ? 1 : 0;
        return n;
    }

private Q_SLOTS:
    void initTestCase()
    {
        TestSupport::unsetProxies();
        QVERIFY(m_site.listen());
    }

    void init()
    {
        m_archive.clear();
        m_site.clearRoutes();
        m_site.setHandler(m_archive.handler());
        m_cfg = TestSupport::loopbackSettings(m_site);
        Response page;
        page.body = QStringLiteral("<title>阿青的美拍 - 美拍</title><div id=\"detailVideo\" data-video=\"%1\"></div>")
                        .arg(Demo::hideMeipaiVideo(video, 2666, u"iUQKI8ARlJit"))
                        .toUtf8();
        m_archive.addCapture(address, pageTime, page);
    }

    void cleanupTestCase() { Web::ArchivePacer::instance().reset(); }

    void byPath_data()
    {
        QTest::addColumn<QStringList>("captures"); // "original timestamp type status [stated length]"
        QTest::addColumn<QString>("found");         // "timestamp original" replayed; empty: none
        QTest::addColumn<int>("pathQueries");
        const QString other = signedAs(QStringLiteral("b2"));
        const auto row = [](const char *name, const QStringList &captures, const QString &found, int queries) {
            QTest::newRow(name) << captures << found << queries;
        };
        row("the exact address", {video + QStringLiteral(" 20180601120000 video/mp4 200")},
            QStringLiteral("20180601120000 ") + video, 0);
        row("signed otherwise", {other + QStringLiteral(" 20180601120100 video/mp4 200")},
            QStringLiteral("20180601120100 ") + other, 1);
        row("the capture nearest the page's",
            {signedAs(QStringLiteral("a1")) + QStringLiteral(" 20160101000000 video/mp4 200"),
             signedAs(QStringLiteral("a2")) + QStringLiteral(" 20180601130000 video/mp4 200"),
             signedAs(QStringLiteral("a3")) + QStringLiteral(" 20200101000000 video/mp4 200")},
            QStringLiteral("20180601130000 ") + signedAs(QStringLiteral("a2")), 1);
        row("a capture cut short, then a whole one",
            {signedAs(QStringLiteral("c1")) + QStringLiteral(" 20180601120100 video/mp4 200 999999"),
             signedAs(QStringLiteral("c2")) + QStringLiteral(" 20180601140000 video/mp4 200")},
            QStringLiteral("20180601140000 ") + signedAs(QStringLiteral("c2")), 1);
        row("a page at the file's path", {other + QStringLiteral(" 20180601120100 text/html 200")}, QString(), 1);
        row("longer paths under the same prefix",
            {path + QStringLiteral(".jpg?k=1 20180601120100 video/mp4 200"),
             path + QStringLiteral("x?k=1 20180601120100 video/mp4 200")},
            QString(), 1);
        row("a piece of the file (206)", {other + QStringLiteral(" 20180601120100 video/mp4 206")}, QString(), 1);
        row("a file the CDN called octet-stream", {other + QStringLiteral(" 20180601120100 application/octet-stream 200")},
            QStringLiteral("20180601120100 ") + other, 1);
        row("nothing at that path", {}, QString(), 1);
    }
    void byPath()
    {
        QFETCH(QStringList, captures);
        QFETCH(QString, found);
        QFETCH(int, pathQueries);
        for (const QString &c : captures) {
            const QStringList f = c.split(u' ');
            Response r = file(f.at(2).toUtf8(), f.at(3).toInt());
            if (f.size() > 4)
                r.headers.append({"X-Archive-Orig-Content-Length", f.at(4).toUtf8()});
            m_archive.addCapture(f.at(0), f.at(1), r);
        }
        const Extract::RoadResult r = road();
        QVERIFY2(r.ok(), qPrintable(r.result.status));
        QCOMPARE(r.result.video(), video);
        QCOMPARE(r.archived->video, found.isEmpty() ? QString() : replayUrl + found.replace(u' ', QStringLiteral("id_/")));
        QCOMPARE(prefixQueries(), pathQueries);
        if (pathQueries) {
            // The path alone: the index keeps a query's parameters in an order of its own.
            const Demo::LoopbackArchive::IndexQuery q = m_archive.indexQueries().last();
            QCOMPARE(q.url, path);
        }
    }

    // The media answer of a page is found by its path and the parameter that stays, in any order.
    void answerByPath()
    {
        const QString smid = QStringLiteral("Vn5cX2kR8tLq4WmZ7pHd3BfJ9gYs6aUe");
        const QString media = QStringLiteral("http://n.miaopai.com/media/") + smid;
        m_archive.clear();
        Response stub;
        stub.body = QStringLiteral("<script>var smid = '%1';</script>").arg(smid).toUtf8();
        m_archive.addCapture(media, pageTime, stub);
        const auto jsonp = [](const QString &of, const QString &file) {
            Response r;
            r.contentType = "application/javascript";
            r.body = QStringLiteral("cb({\"data\":{\"smid\":\"%1\",\"meta_data\":[{\"play_urls\":{\"l\":\"http://v.test/%2\"}}]}});")
                         .arg(of, file).toUtf8();
            return r;
        };
        const QString api = QStringLiteral("http://n.miaopai.com/api/aj_media/info.json?");
        m_archive.addCapture(api + QStringLiteral("smid=") + smid + QStringLiteral("0&appid=530&_cb=_jsonpa"), pageTime,
                             jsonp(smid + u'0', QStringLiteral("longer.mp4")));
        m_archive.addCapture(api + QStringLiteral("_cb=_jsonpb&smid=") + smid + QStringLiteral("&appid=530"),
                             QStringLiteral("20180601120005"), jsonp(smid, QStringLiteral("own.mp4")));
        m_archive.addCapture(api + QStringLiteral("smid=") + smid + QStringLiteral("&appid=530&_cb=_jsonpc"),
                             QStringLiteral("20190101000000"), jsonp(smid, QStringLiteral("later.mp4")));
        Web::NetworkAccess::configure(m_cfg);
        QTemporaryDir dir;
        Web::DeferredLookupCache cache(dir.filePath(QStringLiteral("lookups.sqlite")), 30, {});
        Extract::RoadHooks hooks;
        hooks.cache = &cache;
        for (int run = 0; run < 2; ++run) {
            const Extract::RoadResult r = Extract::runRoad(media, std::nullopt, m_cfg, Web::networkFetch(), hooks);
            QVERIFY2(r.ok(), qPrintable(r.result.status));
            QCOMPARE(r.result.video(), QStringLiteral("http://v.test/own.mp4"));
            // The page's path, then the answer's; the second road finds both in the cache.
            QCOMPARE(prefixQueries(), 2);
        }
    }

    // What the archive said about the file is kept with the page's answer: a second road asks nothing.
    void keptByTheCache()
    {
        m_archive.addCapture(signedAs(QStringLiteral("b2")), QStringLiteral("20180601120100"), file());
        QTemporaryDir dir;
        Web::DeferredLookupCache cache(dir.filePath(QStringLiteral("lookups.sqlite")), 30, {});
        const Extract::RoadResult first = road(&cache);
        QVERIFY(first.archived && !first.archived->video.isEmpty());
        QCOMPARE(m_archive.indexQueries().size(), 2);
        const Extract::RoadResult second = road(&cache);
        QCOMPARE(second.archived->video, first.archived->video);
        QCOMPARE(m_archive.indexQueries().size(), 2);
    }

    // The extra query keeps the archive's pace and counts in the address's time.
    void paceAndBudget()
    {
        m_archive.addCapture(signedAs(QStringLiteral("b2")), QStringLiteral("20180601120100"), file());
        m_cfg.archive.indexPerMinute = 120;
        const Extract::RoadResult paced = road();
        QVERIFY(paced.archived && !paced.archived->video.isEmpty());
        const QList<Demo::LoopbackArchive::IndexQuery> queries = m_archive.indexQueries();
        QCOMPARE(queries.size(), 2);
        QVERIFY2(queries.at(1).atMs - queries.at(0).atMs >= 450, qPrintable(QString::number(queries.at(1).atMs - queries.at(0).atMs)));

        // An index that never answers the file's lookup: the address's time runs out.
        m_cfg.archive.indexPerMinute = 6000;
        m_cfg.archive.budgetSeconds = 2;
        m_site.setHandler([this](const Demo::Request &req) -> std::optional<Response> {
            if (req.path.contains(QLatin1String("matchType=prefix"))) {
                Response never;
                never.behaviour = Response::Behaviour::Never;
                return never;
            }
            return m_archive.answer(req);
        });
        Web::ArchivePacer::instance().reset();
        const Extract::RoadResult slow = road();
        QCOMPARE(slow.result.status, Extract::statusArchiveTooSlow);
    }
};

QTEST_GUILESS_MAIN(TestSignedFiles)
#include "test_signedfiles.moc"
