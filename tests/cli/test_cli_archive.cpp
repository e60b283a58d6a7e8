#include "clifixture.h"
#include "config/settings.h"
#include "demo/demosite.h"
#include "demo/laterdemo.h"
#include "demo/loopbackarchive.h"
#include "demo/loopbacksite.h"
#include "extract/road.h"
#include "download/downloader.h"
#include "web/archive.h"
#include "web/network.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using TestSupport::parseLine;
using Demo::Response;
using Extract::Service;

namespace {

const QString ownIndex = QStringLiteral("http://archive.test/cdx");
const QString ownReplay = QStringLiteral("http://archive.test/web/");

Response html(const QString &text, int status = 200)
{
    Response r;
    r.status = status;
    r.body = text.toUtf8();
    return r;
}

QString meipaiPage(const QString &video)
{
    return QStringLiteral("<html><title>作者的美拍 描述 - 美拍</title><div data-video=\"%1\"></div></html>").arg(video);
}

} // namespace

// zavlen-get when the live web has lost a page: the demonstration's archive, and one of our own
// on another host for the cases the demonstration does not show.
class TestCliArchive final : public TestSupport::CliFixture
{
    Q_OBJECT

    Demo::LoopbackArchive m_own{ownIndex, ownReplay};

    TestSupport::Run runWith(const QStringList &args, bool ownArchive = false)
    {
        const QStringList archive{
            QStringLiteral("--timeout"), QStringLiteral("5"), QStringLiteral("--set"),
            QStringLiteral("archive/cdx=") + (ownArchive ? ownIndex : m_settings.archive.indexUrl), QStringLiteral("--set"),
            QStringLiteral("archive/replay=") + (ownArchive ? ownReplay : m_settings.archive.replayUrl),
            QStringLiteral("--set"), QStringLiteral("archive/replayPerMinute=6000"), QStringLiteral("--set"),
            QStringLiteral("archive/indexPerMinute=6000")};
        return run(archive + args);
    }

    QString archived(Service service) const
    {
        for (const auto &[s, address] : Demo::archivedDemoAddresses(m_settings)) {
            if (s == service)
                return address;
        }
        return {};
    }

    Extract::RoadResult road(const QString &text) const
    {
        return Extract::runRoad(text, std::nullopt, m_settings, Web::networkFetch());
    }

private Q_SLOTS:
    void initTestCase()
    {
        for (const char *name : {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy", "no_proxy"})
            qunsetenv(name);
        // The demonstration's archive answers over plain http, as in the window's demo mode.
        Demo::useDemoSite(m_settings, QString());
        m_settings.archive.indexPerMinute = 6000;
        m_settings.archive.replayPerMinute = 6000;
        QVERIFY(startSite());
        m_site.addHandler(m_own.handler());
    }

    void init()
    {
        m_own.clear();
        Web::ArchivePacer::instance().reset();
    }

    // The record says where the result came from; "video" stays the address cut from the page.
    void archivedRecords_data()
    {
        QTest::addColumn<QString>("text");
        QList<QPair<Service, QString>> lost = Demo::archivedDemoAddresses(m_settings);
        for (const Demo::LaterSample &later : Demo::laterSamples(m_settings)) {
            if (later.archived)
                lost.append({later.service, later.address});
        }
        for (const auto &[service, address] : lost) {
            const QByteArray key = Extract::serviceKey(service).toUtf8() + ' ' + address.section(u'/', 2, 2).toUtf8();
            QTest::addRow("%s", key.constData()) << address;
            QTest::addRow("%s https", key.constData()) << QStringLiteral("https") + address.mid(4);
            QTest::addRow("%s share text", key.constData())
                << QStringLiteral("分享视频 https%1 来自手机").arg(address.mid(4));
        }
    }

    void archivedRecords()
    {
        QFETCH(QString, text);
        const Extract::RoadResult want = road(text);
        QVERIFY2(want.ok() && want.archived, qPrintable(want.result.status));

        TestSupport::Run r = runWith({QStringLiteral("--json"), text});
        QVERIFY(r.finished);
        QCOMPARE(r.code, 0);
        const QJsonObject o = parseLine(r.out);
        QCOMPARE(o.value(QStringLiteral("address")).toString(), text);
        QCOMPARE(o.value(QStringLiteral("ok")).toBool(), true);
        QCOMPARE(o.value(QStringLiteral("video")).toString(), want.result.video());
        QCOMPARE(o.value(QStringLiteral("date")).toString(), want.info().date);
        QCOMPARE(o.value(QStringLiteral("date_from_file_name")).toBool(), want.info().dateFromFileName);
        QVERIFY(o.value(QStringLiteral("error")).isNull());
        const QJsonObject a = o.value(QStringLiteral("archived")).toObject();
        QCOMPARE(a.value(QStringLiteral("timestamp")).toString(), want.archived->timestamp);
        QCOMPARE(a.value(QStringLiteral("page")).toString(), want.archived->page);
        if (want.archived->video.isEmpty())
            QVERIFY(a.value(QStringLiteral("video")).isNull());
        else
            QCOMPARE(a.value(QStringLiteral("video")).toString(), want.archived->video);
        QVERIFY2(QString::fromUtf8(r.err).contains(QStringLiteral("from the web archive, captured ")
                                                   + Web::captureDate(want.archived->timestamp)),
                 r.err.constData());

        // Plain output gives what a script should fetch: the archived file when there is one.
        r = runWith({QStringLiteral("--quiet"), text});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, want.info().videoToFetch().toUtf8() + '\n');
        QVERIFY2(r.err.isEmpty(), r.err.constData());
    }

    // The archived bytes exactly, a signed file's too, which the archive holds under another signature.
    void downloadTakesTheArchivedFile_data()
    {
        QTest::addColumn<QString>("address");
        QTest::newRow("2015 page") << archived(Service::Meipai);
        for (const Demo::LaterSample &later : Demo::laterSamples(m_settings)) {
            if (later.archived)
                QTest::newRow(qPrintable(later.address)) << later.address;
        }
    }
    void downloadTakesTheArchivedFile()
    {
        QFETCH(QString, address);
        QTemporaryDir out;
        QVERIFY(out.isValid());
        const Extract::RoadResult want = road(address);
        QVERIFY(!want.archived->video.isEmpty());
        const TestSupport::Run r = runWith({QStringLiteral("-d"), QStringLiteral("-o"), out.path(), address});
        QCOMPARE(r.code, 0);
        QFile file(QDir(out.path()).filePath(Download::safeFileName(want.result.video())));
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(file.fileName() + u' ' + QString::fromUtf8(r.err)));
        QFile sample(QStringLiteral(ZAVLEN_SAMPLE_VIDEO));
        QVERIFY(sample.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), sample.readAll());
    }

    void modes_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<int>("code");
        QTest::addColumn<bool>("liveAsked");
        QTest::addColumn<bool>("indexAsked");
        QTest::newRow("off") << QStringLiteral("off") << 1 << true << false;
        QTest::newRow("only") << QStringLiteral("only") << 0 << false << true;
        QTest::newRow("fallback") << QStringLiteral("fallback") << 0 << true << true;
    }

    void modes()
    {
        QFETCH(QString, mode);
        QFETCH(int, code);
        QFETCH(bool, liveAsked);
        QFETCH(bool, indexAsked);
        const QString address = QStringLiteral("http://www.meipai.com/media/810001");
        m_own.addCapture(address, QStringLiteral("20150101000000"), html(meipaiPage(QStringLiteral("http://v.test/1.mp4"))));
        const qsizetype before = m_site.requests().size();
        const TestSupport::Run r = runWith({QStringLiteral("--archive"), mode, QStringLiteral("-j"), address}, true);
        QCOMPARE(r.code, code);
        bool live = false;
        for (const Demo::Request &req : m_site.requests().mid(before))
            live |= req.host == u"www.meipai.com";
        QCOMPARE(live, liveAsked);
        QCOMPARE(!m_own.indexQueries().isEmpty(), indexAsked);
    }

    // A busy archive fails the address at once, and the process asks it nothing more for a while.
    void busyArchive()
    {
        m_own.setIndexStatus(429);
        QStringList addresses;
        for (int i = 0; i < 3; ++i) {
            addresses << QStringLiteral("http://www.meipai.com/media/82000%1").arg(i);
            m_own.addCapture(addresses.last(), QStringLiteral("20150101000000"),
                             html(meipaiPage(QStringLiteral("http://v.test/2.mp4"))));
        }
        const TestSupport::Run r = runWith(QStringList{QStringLiteral("-J"), QStringLiteral("1"), QStringLiteral("-j"),
                                                QStringLiteral("--set"), QStringLiteral("archive/indexPerMinute=600")}
                                        + addresses,
                                    true);
        QVERIFY(r.finished);
        QCOMPARE(r.code, 1);
        QCOMPARE(r.lines().size(), 3);
        for (const QByteArray &line : r.lines())
            QCOMPARE(parseLine(line).value(QStringLiteral("error")).toString(), Extract::statusArchiveBusy);
        QCOMPARE(m_own.indexQueries().size(), 1);
    }

    // Eight jobs at once still ask the index one at a time, at the configured pace.
    void indexQueriesArePaced()
    {
        QStringList addresses;
        for (int i = 0; i < 8; ++i) {
            addresses << QStringLiteral("http://www.meipai.com/media/83000%1").arg(i);
            m_own.addCapture(addresses.last(), QStringLiteral("20150101000000"),
                             html(meipaiPage(QStringLiteral("http://v.test/3%1.mp4").arg(i))));
        }
        const TestSupport::Run r = runWith(QStringList{QStringLiteral("-J"), QStringLiteral("8"), QStringLiteral("--set"),
                                                QStringLiteral("archive/indexPerMinute=300")}
                                        + addresses,
                                    true);
        QCOMPARE(r.code, 0);
        const QList<Demo::LoopbackArchive::IndexQuery> queries = m_own.indexQueries();
        QCOMPARE(queries.size(), 8);
        // 300 a minute is one every 200 ms; arrival times may wobble a little around that.
        for (qsizetype i = 1; i < queries.size(); ++i)
            QVERIFY2(queries[i].atMs - queries[i - 1].atMs >= 150,
                     qPrintable(QStringLiteral("%1 ms between queries %2 and %3")
                                    .arg(queries[i].atMs - queries[i - 1].atMs).arg(i - 1).arg(i)));
    }

    // A page may name anything as its video: only a web address is a result.
    void localVideoAddressIsNoResult_data()
    {
        QTest::addColumn<QString>("video");
        QTest::newRow("file") << QStringLiteral("file:///etc/passwd");
        QTest::newRow("ftp") << QStringLiteral("ftp://v.test/a.mp4");
    }

    void localVideoAddressIsNoResult()
    {
        QFETCH(QString, video);
        const QString address = QStringLiteral("http://www.meipai.com/media/840001");
        m_site.setRoute(QStringLiteral("www.meipai.com"), QStringLiteral("/media/840001"), html(meipaiPage(video)));
        TestSupport::Run r = runWith({QStringLiteral("-j"), address}, true);
        QCOMPARE(r.code, 1);
        const QJsonObject o = parseLine(r.out);
        QCOMPARE(o.value(QStringLiteral("ok")).toBool(true), false);
        QCOMPARE(o.value(QStringLiteral("video")).toString(), video);
        QCOMPARE(o.value(QStringLiteral("error")).toString(), Extract::statusNoVideo);
        r = runWith({address}, true);
        QCOMPARE(r.code, 1);
        QCOMPARE(r.out, QByteArray("\n"));
    }
};

QTEST_GUILESS_MAIN(TestCliArchive)
#include "test_cli_archive.moc"
