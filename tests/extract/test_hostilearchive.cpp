#include "config/settings.h"
#include "demo/loopbackarchive.h"
#include "demo/loopbacksite.h"
#include "extract/road.h"
#include "web/archivepacer.h"
#include "web/network.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QTest>

using Demo::Response;

namespace {

const QString indexUrl = QStringLiteral("http://web.archive.org/cdx/search/cdx");
const QString replayUrl = QStringLiteral("http://web.archive.org/web/");
const QString address = QStringLiteral("http://www.meipai.com/media/642349877");
const QString stamp = QStringLiteral("20150312094501");
const QString video = QStringLiteral("http://v.test/642349877.mp4");

Response answer(const QByteArray &body, int status = 200, const QByteArray &type = "text/html; charset=utf-8")
{
    Response r;
    r.status = status;
    r.body = body;
    r.contentType = type;
    return r;
}

Response moved(const QString &to)
{
    return Response::redirect(to.toUtf8());
}

QByteArray meipaiPage(const QString &file, const QString &cover = QStringLiteral("http://mvimg1.meipai.com/c.jpg"))
{
    return QStringLiteral("<html><title>陈思雨的美拍 西湖 - 美拍</title><div data-video=\"%1\"><img src=\"%2\">"
                          "</div><span class=\"date\">2015-03-12</span></html>")
        .arg(file, cover)
        .toUtf8();
}

// An index answer naming these (timestamp, original, digest) rows.
QByteArray indexRows(const QList<QStringList> &rows)
{
    QJsonArray table{QJsonArray{QStringLiteral("timestamp"), QStringLiteral("original"), QStringLiteral("statuscode"),
                                QStringLiteral("digest")}};
    for (const QStringList &r : rows)
        table.append(QJsonArray{r.value(0), r.value(1), QStringLiteral("200"), r.value(2)});
    return QJsonDocument(table).toJson(QJsonDocument::Compact);
}

} // namespace

// The archive road against an archive that misbehaves, as a hostile or broken one would.
class TestHostileArchive final : public QObject
{
    Q_OBJECT

    Demo::LoopbackSite m_site;
    Demo::LoopbackArchive m_archive{indexUrl, replayUrl};
    Config::Settings m_cfg;
    std::optional<Response> m_index; // set: every index query gets this
    QHash<QString, Response> m_replays; // path to answer, before the loopback archive
    QList<qint64> m_replayTimes;
    QElapsedTimer m_clock;
    qsizetype m_seenBefore = 0;

    QList<Demo::Request> seen() const { return m_site.requests().mid(m_seenBefore); }
    int replays() const
    {
        int n = 0;
        for (const Demo::Request &r : seen())
            n += r.host == u"web.archive.org" && r.path.startsWith(QLatin1String("/web/")) ? 1 : 0;
        return n;
    }

    Extract::RoadResult road(const QString &text = address)
    {
        Web::NetworkAccess::configure(m_cfg);
        return Extract::runRoad(text, Extract::Service::Meipai, m_cfg, Web::networkFetch());
    }

private Q_SLOTS:
    void initTestCase()
    {
        for (const char *name : {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy", "no_proxy"})
            qunsetenv(name);
        QVERIFY(m_site.listen());
        m_clock.start();
    }

    void init()
    {
        m_index.reset();
        m_replays.clear();
        m_replayTimes.clear();
        m_archive.clear();
        m_site.clearRoutes();
        m_site.setHandler([this](const Demo::Request &req) -> std::optional<Response> {
            if (req.host != u"web.archive.org")
                return std::nullopt;
            if (req.path.startsWith(QLatin1String("/web/")))
                m_replayTimes.append(m_clock.elapsed());
            if (m_index && req.path.startsWith(QLatin1String("/cdx/")))
                return m_index;
            if (const auto it = m_replays.constFind(req.path); it != m_replays.cend())
                return *it;
            return m_archive.answer(req);
        });
        // The live page is gone: every row goes to the archive.
        Response reset = answer(QByteArray(2000, 'x'));
        reset.behaviour = Response::Behaviour::Reset;
        m_site.setRoute(QStringLiteral("www.meipai.com"), QStringLiteral("/media/642349877"), reset);
        m_seenBefore = m_site.requests().size();
        Web::ArchivePacer::instance().reset();
        m_cfg = Config::Settings{};
        m_cfg.network.proxy = m_site.proxyUrl();
        m_cfg.network.timeoutSeconds = 2;
        m_cfg.network.maxBodyBytes = 256 * 1024;
        m_cfg.archive.indexUrl = indexUrl;
        m_cfg.archive.replayUrl = replayUrl;
        m_cfg.archive.indexPerMinute = 6000;
        m_cfg.archive.replayPerMinute = 6000;
    }

    void cleanupTestCase() { Web::ArchivePacer::instance().reset(); }

    void misbehaviour_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("status");
        QTest::addColumn<int>("maxReplays");
        const auto row = [](const char *name, const QString &kind, const QString &status, int maxReplays) {
            QTest::newRow(name) << kind << status << maxReplays;
        };
        const QString done = Extract::statusDone;
        const QString none = Extract::statusFetchFailed; // the live road's own failure stands
        // Wrong results reported as success.
        row("rows of another page, host and port", QStringLiteral("other address"), none, 0);
        row("the same page, written otherwise", QStringLiteral("same address"), done, 2);
        row("redirect to another site", QStringLiteral("redirect off"), none, 1);
        row("redirect out of the replay path", QStringLiteral("redirect out"), none, 1);
        row("capture dated in the future", QStringLiteral("future"), none, 0);
        // Politeness.
        row("redirect loop between captures", QStringLiteral("loop"), none, 2 * 4);
        row("duplicate rows", QStringLiteral("duplicates"), none, 1);
        row("replay answers 429", QStringLiteral("replay 429"), Extract::statusArchiveBusy, 1);
        row("replay answers 503", QStringLiteral("replay 503"), Extract::statusArchiveBusy, 1);
        row("stalling replays", QStringLiteral("stall"), Extract::statusArchiveTooSlow, 3);
        // A busy or broken archive is not "no video".
        row("index answers 500", QStringLiteral("index 500"), Extract::statusArchiveUnavailable, 0);
        row("index answers 503", QStringLiteral("index 503"), Extract::statusArchiveUnavailable, 0);
        row("index answers an HTML page", QStringLiteral("index html"), Extract::statusArchiveUnavailable, 0);
        row("index answer over the cap", QStringLiteral("index large"), Extract::statusArchiveUnavailable, 0);
        row("index does not know the page", QStringLiteral("index 404"), none, 0);
        row("matching row after the row limit", QStringLiteral("row limit"), none, 0);
        // Unsafe handling.
        row("video on the loopback", QStringLiteral("local video"), Extract::statusUnsafe, 1);
        row("video on the loopback, allowed", QStringLiteral("local video allowed"), done, 2);
        row("cover on a private network", QStringLiteral("local cover"), done, 2);
    }
    void misbehaviour()
    {
        QFETCH(QString, kind);
        QFETCH(QString, status);
        QFETCH(int, maxReplays);
        const QString later = QStringLiteral("20160101000000");
        const auto capture = [&](const QString &ts, const QByteArray &page) {
            m_archive.addCapture(address, ts, answer(page));
        };
        const QString replayPath = QStringLiteral("/web/") + stamp + QStringLiteral("id_/") + address;
        if (kind == u"other address") {
            m_index = answer(indexRows({{stamp, QStringLiteral("http://www.meipai.com/media/999999")},
                                        {stamp, QStringLiteral("http://evil.example/media/642349877")},
                                        {later, QStringLiteral("http://127.0.0.1:22/")}}),
                             200, "application/json");
            for (const QString &other : {QStringLiteral("http://www.meipai.com/media/999999"),
                                         QStringLiteral("http://evil.example/media/642349877"),
                                         QStringLiteral("http://127.0.0.1:22/")})
                m_archive.addCapture(other, stamp, answer(meipaiPage(video)));
        } else if (kind == u"same address") {
            m_index = answer(indexRows({{stamp, QStringLiteral("https://MEIPAI.com:443/media/642349877/")}}), 200,
                             "application/json");
            m_archive.addCapture(QStringLiteral("https://MEIPAI.com:443/media/642349877/"), stamp,
                                 answer(meipaiPage(video)));
        } else if (kind == u"redirect off" || kind == u"redirect out") {
            capture(stamp, meipaiPage(video));
            m_replays.insert(replayPath, moved(kind == u"redirect off"
                                                   ? QStringLiteral("http://evil.example/media/642349877")
                                                   : QStringLiteral("http://web.archive.org/cdx/search/cdx?url=x")));
        } else if (kind == u"future") {
            capture(QStringLiteral("20990101000000"), meipaiPage(video));
        } else if (kind == u"loop") {
            const QString a = QStringLiteral("20150101000000");
            const QString b = QStringLiteral("20150202000000");
            capture(a, meipaiPage(video));
            capture(b, meipaiPage(video));
            for (const auto &[from, to] : {std::pair(a, b), std::pair(b, a)})
                m_replays.insert(QStringLiteral("/web/%1id_/%2").arg(from, address),
                                 moved(replayUrl + to + QStringLiteral("id_/") + address));
        } else if (kind == u"duplicates") {
            QList<QStringList> rows;
            for (int i = 0; i < 5; ++i)
                rows << QStringList{stamp, address, QStringLiteral("D1")};
            for (int i = 0; i < 5; ++i)
                rows << QStringList{QStringLiteral("2014010") + QString::number(i + 1) + QStringLiteral("000000"), address, QStringLiteral("D1")};
            m_index = answer(indexRows(rows), 200, "application/json");
            capture(stamp, "<html>no video here</html>");
        } else if (kind.startsWith(QLatin1String("replay "))) {
            capture(stamp, meipaiPage(video));
            m_replays.insert(replayPath, answer("busy", kind.mid(7).toInt()));
        } else if (kind == u"stall") {
            m_cfg.network.timeoutSeconds = 1;
            m_cfg.archive.budgetSeconds = 2;
            Response never;
            never.behaviour = Response::Behaviour::Never;
            for (int i = 1; i <= 5; ++i) {
                const QString ts = QStringLiteral("2015010") + QString::number(i) + QStringLiteral("000000");
                capture(ts, meipaiPage(video + QStringLiteral("?capture=") + ts)); // another digest each
                m_replays.insert(QStringLiteral("/web/%1id_/%2").arg(ts, address), never);
            }
        } else if (kind.startsWith(QLatin1String("index "))) {
            const QString what = kind.mid(6);
            if (what == u"html")
                m_index = answer("<html><body>The archive is down for maintenance.</body></html>");
            else if (what == u"large")
                m_index = answer(indexRows({{stamp, address}}).leftJustified(m_cfg.network.maxBodyBytes + 10, ' '), 200,
                                 "application/json");
            else
                m_index = answer("oops", what.toInt());
            capture(stamp, meipaiPage(video));
        } else if (kind == u"row limit") {
            QList<QStringList> rows;
            for (int i = 0; i < 1200; ++i)
                rows << QStringList{stamp, QStringLiteral("http://www.meipai.com/media/%1").arg(i)};
            rows << QStringList{stamp, address};
            m_cfg.network.maxBodyBytes = 1024 * 1024;
            m_index = answer(indexRows(rows), 200, "application/json");
            capture(stamp, meipaiPage(video));
        } else if (kind.startsWith(QLatin1String("local video"))) {
            m_cfg.network.allowLocalAddresses = kind.endsWith(QLatin1String("allowed"));
            capture(stamp, meipaiPage(QStringLiteral("http://127.0.0.1:%1/internal/admin.mp4").arg(m_site.port())));
        } else if (kind == u"local cover") {
            capture(stamp, meipaiPage(video, QStringLiteral("http://192.168.1.1/c.jpg")));
        }

        QElapsedTimer clock;
        clock.start();
        const Extract::RoadResult r = road();
        QCOMPARE(r.result.status, status);
        QCOMPARE(r.ok(), status == Extract::statusDone);
        QCOMPARE(bool(r.archived), r.ok());
        if (maxReplays >= 0)
            QVERIFY2(replays() <= maxReplays, qPrintable(QString::number(replays())));
        for (const Demo::Request &req : seen()) {
            QVERIFY2(req.host != u"evil.example" && req.host != u"127.0.0.1" && req.host != u"192.168.1.1",
                     qPrintable(req.host + req.path));
        }
        if (kind == u"stall")
            QVERIFY2(clock.elapsed() < 5000, qPrintable(QString::number(clock.elapsed())));
        if (r.ok()) {
            QVERIFY(r.archived->page.startsWith(replayUrl));
            QVERIFY(r.result.display.coverAddress.isEmpty() || r.result.display.coverAddress.startsWith(replayUrl));
        }
        if (kind == u"local cover")
            QVERIFY(r.result.display.coverAddress.isEmpty());

        // A busy archive holds every request: the next address fails at once, asking nothing.
        if (status == Extract::statusArchiveBusy) {
            const qsizetype before = m_site.requests().size();
            clock.restart();
            const Extract::RoadResult next = road(QStringLiteral("http://www.meipai.com/media/1"));
            QCOMPARE(next.result.status, Extract::statusArchiveBusy);
            for (const Demo::Request &req : m_site.requests().mid(before))
                QVERIFY2(req.host != u"web.archive.org", qPrintable(req.path));
            QVERIFY(clock.elapsed() < 1500);
        }
    }

    // Retry-After is honoured, in seconds or as a date, and bounded to an hour.
    void retryAfter_data()
    {
        QTest::addColumn<QByteArray>("retryAfter");
        QTest::addColumn<int>("lowest");
        QTest::addColumn<int>("highest");
        QTest::newRow("none: a minute") << QByteArray() << 55 << 60;
        QTest::newRow("an hour") << QByteArray("3600") << 3590 << 3600;
        QTest::newRow("a day, bounded") << QByteArray("86400") << 3590 << 3600;
        const QByteArray date = QDateTime::currentDateTimeUtc().addSecs(600).toString(
            QStringLiteral("ddd, dd MMM yyyy HH:mm:ss 'GMT'")).toLatin1();
        QTest::newRow("a date ten minutes on") << date << 590 << 600;
    }
    void retryAfter()
    {
        QFETCH(QByteArray, retryAfter);
        QFETCH(int, lowest);
        QFETCH(int, highest);
        Response busy = answer("slow down", 429);
        if (!retryAfter.isEmpty())
            busy.headers.append({QByteArrayLiteral("Retry-After"), retryAfter});
        m_index = busy;
        QCOMPARE(road().result.status, Extract::statusArchiveBusy);
        const auto left = std::chrono::duration_cast<std::chrono::seconds>(Web::ArchivePacer::instance().holdLeft());
        QVERIFY2(left.count() >= lowest && left.count() <= highest, qPrintable(QString::number(left.count())));
    }

    // Every request to the archive waits for its turn: pages, the endpoint and the file probe.
    void replaysArePaced()
    {
        m_cfg.archive.replayPerMinute = 300;
        m_archive.addCapture(address, stamp, answer(meipaiPage(video)));
        m_archive.addCapture(video, stamp, answer(QByteArray(100, 'v'), 200, "video/mp4"));
        const Extract::RoadResult r = road();
        QVERIFY2(r.ok(), qPrintable(r.result.status));
        QVERIFY(!r.archived->video.isEmpty());
        QCOMPARE(m_replayTimes.size(), 2);
        QVERIFY2(m_replayTimes.at(1) - m_replayTimes.at(0) >= 180, qPrintable(QString::number(m_replayTimes.at(1) - m_replayTimes.at(0))));
    }
};

QTEST_GUILESS_MAIN(TestHostileArchive)
#include "test_hostilearchive.moc"
