#include "config/settings.h"
#include "demo/loopbackarchive.h"
#include "demo/loopbacksite.h"
#include "web/archive.h"
#include "web/archivepacer.h"
#include "web/cancel.h"
#include "web/getbody.h"
#include "web/network.h"

#include <QElapsedTimer>
#include <QTest>
#include <QTimer>
#include <QUrlQuery>

using Web::Capture;

namespace {

QStringList stamps(const QList<Capture> &captures)
{
    QStringList out;
    for (const Capture &c : captures)
        out << c.timestamp;
    return out;
}

} // namespace

class TestArchive final : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        for (const char *name : {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy", "no_proxy"})
            qunsetenv(name);
    }

    void init() { Web::ArchivePacer::instance().reset(); }

    void captureQuery()
    {
        const QString address = QStringLiteral("http://www.gifshow.com/i/photo/lwx/1?userId=2&photoId=3#x");
        const QUrl query(Web::captureQuery(QStringLiteral("https://web.archive.org/cdx/search/cdx"), address));
        QCOMPARE(query.host(), QStringLiteral("web.archive.org"));
        QCOMPARE(query.path(), QStringLiteral("/cdx/search/cdx"));
        const QUrlQuery items(query);
        // The page's own "&photoId=" stays inside the url parameter.
        QCOMPARE(items.queryItemValue(QStringLiteral("url"), QUrl::FullyDecoded), address);
        QCOMPARE(items.queryItemValue(QStringLiteral("output")), QStringLiteral("json"));
        QCOMPARE(items.queryItemValue(QStringLiteral("filter")), QStringLiteral("statuscode:200"));
        QVERIFY(!items.hasQueryItem(QStringLiteral("photoId")));
    }

    void parseCaptures_data()
    {
        QTest::addColumn<QByteArray>("json");
        QTest::addColumn<bool>("table");
        QTest::addColumn<QStringList>("timestamps");
        QTest::newRow("no capture") << QByteArray("[]") << true << QStringList();
        QTest::newRow("no capture, with a line break") << QByteArray("[]\n") << true << QStringList();
        QTest::newRow("header only") << QByteArray("[[\"timestamp\",\"original\"]]") << true << QStringList();
        QTest::newRow("full rows")
            << QByteArray("[[\"urlkey\",\"timestamp\",\"original\",\"mimetype\",\"statuscode\",\"digest\",\"length\"],"
                          "[\"com,meipai)/media/1\",\"20150312094501\",\"http://www.meipai.com:80/media/1\","
                          "\"text/html\",\"200\",\"AB\",\"1415\"],"
                          "[\"com,meipai)/media/1\",\"20160101000000\",\"http://www.meipai.com/media/1\","
                          "\"text/html\",\"302\",\"CD\",\"0\"]]")
            << true << QStringList{QStringLiteral("20150312094501")};
        QTest::newRow("columns in another order")
            << QByteArray("[[\"original\",\"timestamp\"],[\"http://a.test/1\",\"20140101000000\"]]") << true
            << QStringList{QStringLiteral("20140101000000")};
        QTest::newRow("bad rows left out")
            << QByteArray("[[\"timestamp\",\"original\"],[\"2014\",\"http://a.test/1\"],[\"2014010100000x\",\"http://a/\"],"
                          "[\"20141399000000\",\"http://a.test/\"],[\"20140101000000\",\"file:///etc/passwd\"],"
                          "[\"20140101000000\"],{\"x\":1},[\"20140202000000\",\"https://a.test/2\"]]")
            << true << QStringList{QStringLiteral("20140202000000")};
        QTest::newRow("not json") << QByteArray("<html>busy</html>") << false << QStringList();
        QTest::newRow("object") << QByteArray("{\"captures\":[]}") << false << QStringList();
        QTest::newRow("no timestamp column") << QByteArray("[[\"original\"],[\"http://a/\"]]") << false << QStringList();
        QTest::newRow("empty") << QByteArray() << false << QStringList();
    }
    void parseCaptures()
    {
        QFETCH(QByteArray, json);
        QFETCH(bool, table);
        QFETCH(QStringList, timestamps);
        const std::optional<QList<Capture>> captures = Web::parseCaptures(json);
        QCOMPARE(captures.has_value(), table);
        if (captures)
            QCOMPARE(stamps(*captures), timestamps);
    }

    void nearestCaptures_data()
    {
        QTest::addColumn<QString>("around");
        QTest::addColumn<int>("tries");
        QTest::addColumn<QStringList>("order");
        QTest::newRow("day") << QStringLiteral("20160601") << 5
                             << QStringList{QStringLiteral("20160520000000"), QStringLiteral("20160801000000"),
                                            QStringLiteral("20150312000000"), QStringLiteral("20140101000000")};
        QTest::newRow("at most tries") << QStringLiteral("20160601") << 2
                                       << QStringList{QStringLiteral("20160520000000"), QStringLiteral("20160801000000")};
        QTest::newRow("year only: its first day") << QStringLiteral("2014") << 1
                                                  << QStringList{QStringLiteral("20140101000000")};
        QTest::newRow("to the second") << QStringLiteral("20150312000001") << 1
                                       << QStringList{QStringLiteral("20150312000000")};
    }
    void nearestCaptures()
    {
        QFETCH(QString, around);
        QFETCH(int, tries);
        QFETCH(QStringList, order);
        QList<Capture> captures;
        for (const char *t : {"20140101000000", "20150312000000", "20160520000000", "20160801000000"})
            captures.append({QString::fromLatin1(t), QStringLiteral("http://a.test/")});
        QCOMPARE(stamps(Web::nearestCaptures(captures, around, tries)), order);
    }

    void equallyNearTakesTheEarlier()
    {
        const QList<Capture> captures{{QStringLiteral("20160602000000"), QStringLiteral("http://a/")},
                                      {QStringLiteral("20160531000000"), QStringLiteral("http://a/")}};
        QCOMPARE(stamps(Web::nearestCaptures(captures, QStringLiteral("20160601"), 2)),
                 (QStringList{QStringLiteral("20160531000000"), QStringLiteral("20160602000000")}));
    }

    void replayAndDate()
    {
        QCOMPARE(Web::replayAddress(QStringLiteral("https://web.archive.org/web/"), QStringLiteral("20150312094501"),
                                    QStringLiteral("http://www.meipai.com/media/1?x=1")),
                 QStringLiteral("https://web.archive.org/web/20150312094501id_/http://www.meipai.com/media/1?x=1"));
        QCOMPARE(Web::replayAddress(QStringLiteral("http://a.test/web"), QStringLiteral("2015"), QStringLiteral("http://b/")),
                 QStringLiteral("http://a.test/web/2015id_/http://b/"));
        QCOMPARE(Web::captureDate(QStringLiteral("20150312094501")), QStringLiteral("2015-03-12"));
    }

    // Whatever user agent pages are fetched with, every request to an archive host names the program.
    void archiveRequestsNameTheProgram_data()
    {
        QTest::addColumn<QString>("configured");
        QTest::addColumn<QString>("sent");
        QTest::newRow("default") << Config::Settings{}.network.userAgent << Config::Settings{}.network.userAgent;
        QTest::newRow("a browser's") << QStringLiteral("Mozilla/5.0 (X11)")
                                     << QStringLiteral("Mozilla/5.0 (X11) " ZAVLEN_PROGRAM_NAME);
        QTest::newRow("empty") << QString() << QStringLiteral(ZAVLEN_PROGRAM_NAME);
    }
    void archiveRequestsNameTheProgram()
    {
        QFETCH(QString, configured);
        QFETCH(QString, sent);
        Demo::LoopbackSite site;
        QVERIFY(site.listen());
        Config::Settings s;
        s.network.proxy = site.proxyUrl();
        s.network.userAgent = configured;
        s.archive.indexUrl = QStringLiteral("http://web.archive.org/cdx/search/cdx");
        s.archive.replayUrl = QStringLiteral("http://Web.Archive.org/web/");
        Web::NetworkAccess::configure(s);
        // The index, a replay and a file that the downloader or the window fetch from the archive.
        Web::fetch(QStringLiteral("http://web.archive.org/cdx/search/cdx?url=x"), {});
        Web::FetchOptions statusOnly;
        statusOnly.statusOnly = true;
        Web::fetch(QStringLiteral("http://web.archive.org/web/2015id_/http://v.test/a.mp4"), statusOnly);
        Web::GetBody(QStringLiteral("http://www.meipai.com/media/1"));
        QCOMPARE(site.requests().size(), 3);
        QCOMPARE(site.requests().at(0).headers.value("user-agent"), sent.toUtf8());
        QCOMPARE(site.requests().at(1).headers.value("user-agent"), sent.toUtf8());
        if (!configured.isEmpty())
            QCOMPARE(site.requests().at(2).headers.value("user-agent"), configured.toUtf8());
    }

    // A wait for the pace keeps the thread's events running (a window stays responsive).
    void paceKeepsEventsRunning()
    {
        Web::ArchivePacer &pacer = Web::ArchivePacer::instance();
        using Lane = Web::ArchivePacer::Lane;
        using Kind = Web::ArchivePacer::Turn::Kind;
        QCOMPARE(pacer.awaitTurn(Lane::Index, 120, std::chrono::seconds(1), nullptr).kind, Kind::Go);
        int ticks = 0;
        QTimer timer;
        connect(&timer, &QTimer::timeout, this, [&] { ++ticks; });
        timer.start(20);
        QElapsedTimer clock;
        clock.start();
        // The other lane has a pace of its own.
        QCOMPARE(pacer.awaitTurn(Lane::Replay, 120, std::chrono::seconds(1), nullptr).kind, Kind::Go);
        QVERIFY2(clock.elapsed() < 300, qPrintable(QString::number(clock.elapsed())));
        const Web::ArchivePacer::Turn second = pacer.awaitTurn(Lane::Index, 120, std::chrono::seconds(1), nullptr);
        QCOMPARE(second.kind, Kind::Go);
        QVERIFY2(clock.elapsed() >= 400, qPrintable(QString::number(clock.elapsed())));
        QVERIFY(second.paced >= std::chrono::milliseconds(300));
        QVERIFY(ticks >= 5);
    }

    // A hold longer than the caller can wait refuses at once; a cancel ends a wait early.
    void holdAndCancel()
    {
        Web::ArchivePacer &pacer = Web::ArchivePacer::instance();
        using Lane = Web::ArchivePacer::Lane;
        using Kind = Web::ArchivePacer::Turn::Kind;
        pacer.holdOff(std::chrono::seconds(60));
        QElapsedTimer clock;
        clock.start();
        QCOMPARE(pacer.awaitTurn(Lane::Replay, 6000, std::chrono::seconds(2), nullptr).kind, Kind::Held);
        QVERIFY(clock.elapsed() < 1000);
        QVERIFY(pacer.holdLeft() > std::chrono::seconds(50));
        pacer.reset();
        QCOMPARE(pacer.awaitTurn(Lane::Index, 6000, std::chrono::seconds(2), nullptr).kind, Kind::Go);

        Web::CancelToken token;
        pacer.holdOff(std::chrono::seconds(3));
        QTimer::singleShot(100, this, [&token] { token.cancel(); });
        clock.restart();
        QCOMPARE(pacer.awaitTurn(Lane::Index, 6000, std::chrono::seconds(10), &token).kind, Kind::Cancelled);
        QVERIFY2(clock.elapsed() < 1500, qPrintable(QString::number(clock.elapsed())));
    }

    // The loopback archive itself, as the tests rely on it.
    void loopbackArchive_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("bodyOrLocation");
        const QString page = QStringLiteral("http://www.meipai.com/media/1");
        QTest::newRow("index, json") << QStringLiteral("/cdx/search/cdx?url=") + page + QStringLiteral("&output=json&fl=timestamp,statuscode")
                                     << 200 << QByteArray("[[\"timestamp\",\"statuscode\"],[\"20150101000000\",\"200\"],[\"20160101000000\",\"302\"]]");
        QTest::newRow("index, filter") << QStringLiteral("/cdx/search/cdx?url=") + page
                                              + QStringLiteral("&output=json&fl=timestamp&filter=statuscode:200")
                                       << 200 << QByteArray("[[\"timestamp\"],[\"20150101000000\"]]");
        QTest::newRow("index, inverted filter and limit")
            << QStringLiteral("/cdx/search/cdx?url=meipai.com/media/1&output=json&fl=timestamp&filter=!statuscode:200&limit=1")
            << 200 << QByteArray("[[\"timestamp\"],[\"20160101000000\"]]");
        QTest::newRow("index, last one") << QStringLiteral("/cdx/search/cdx?url=") + page + QStringLiteral("&output=json&fl=timestamp&limit=-1")
                                         << 200 << QByteArray("[[\"timestamp\"],[\"20160101000000\"]]");
        QTest::newRow("index, nothing") << QStringLiteral("/cdx/search/cdx?url=http://x.test/&output=json") << 200
                                        << QByteArray("[]");
        QTest::newRow("replay, exact") << QStringLiteral("/web/20150101000000id_/") + page << 200 << QByteArray("old");
        QTest::newRow("replay, nearest") << QStringLiteral("/web/2014id_/") + page << 302
                                         << QByteArray("http://web.archive.org/web/20150101000000id_/") + page.toUtf8();
        QTest::newRow("replay, archived redirect") << QStringLiteral("/web/20160101000000id_/") + page << 302
                                                   << QByteArray("http://web.archive.org/web/20160101000000id_/http://www.meipai.com:80/");
        QTest::newRow("replay, none") << QStringLiteral("/web/2015id_/http://x.test/") << 404 << QByteArray();
    }
    void loopbackArchive()
    {
        QFETCH(QString, path);
        QFETCH(int, status);
        QFETCH(QByteArray, bodyOrLocation);
        Demo::LoopbackArchive archive(QStringLiteral("http://web.archive.org/cdx/search/cdx"),
                                      QStringLiteral("http://web.archive.org/web/"));
        Demo::Response old;
        old.body = "old";
        archive.addCapture(QStringLiteral("https://meipai.com/media/1"), QStringLiteral("20150101000000"), old);
        Demo::Response moved;
        moved.status = 302;
        moved.headers.append({QByteArrayLiteral("Location"), QByteArrayLiteral("/")});
        archive.addCapture(QStringLiteral("http://www.meipai.com:80/media/1"), QStringLiteral("20160101000000"), moved);

        Demo::Request request;
        request.method = "GET";
        request.host = QStringLiteral("web.archive.org");
        request.path = path;
        const std::optional<Demo::Response> r = archive.answer(request);
        QVERIFY(r);
        QCOMPARE(r->status, status);
        QByteArray location;
        for (const auto &[name, value] : r->headers) {
            if (name == "Location")
                location = value;
        }
        if (status == 302)
            QCOMPARE(location, bodyOrLocation);
        else if (!bodyOrLocation.isEmpty())
            QCOMPARE(r->body, bodyOrLocation);
    }
};

QTEST_GUILESS_MAIN(TestArchive)
#include "test_archive.moc"
