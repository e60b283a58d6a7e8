#include "config/settings.h"
#include "demo/loopbacksite.h"
#include "download/downloader.h"
#include "download/records.h"
#include "web/lookupcache.h"
#include "web/network.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

using Demo::Response;
using Download::DownloadResult;
using Status = Download::DownloadResult::Status;

Q_DECLARE_METATYPE(Download::DownloadResult)
Q_DECLARE_METATYPE(Demo::Response::Behaviour)

namespace {

const QString host = QStringLiteral("video.weishi.com");
const QString path = QStringLiteral("/clips/abc.mp4");
const QString address = QStringLiteral("http://video.weishi.com/clips/abc.mp4");

QByteArray readAll(const QString &file)
{
    QFile f(file);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool writeFile(const QString &file, const QByteArray &bytes)
{
    QFile f(file);
    return f.open(QIODevice::WriteOnly | QIODevice::Truncate) && f.write(bytes) == bytes.size();
}

Response generated(qint64 size, Response::Behaviour behaviour = Response::Behaviour::Normal)
{
    Response r;
    r.contentType = "video/mp4";
    r.generatedSize = size;
    r.behaviour = behaviour;
    r.slowDelayMs = 5;
    return r;
}

} // namespace

class TestDownloader : public QObject
{
    Q_OBJECT

    Demo::LoopbackSite m_site;
    Config::Settings m_settings;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::shared_ptr<Download::Records> m_records; // as an earlier run left them
    qsizetype m_seenBefore = 0;

    QString target(const QString &name = QStringLiteral("abc.mp4")) const { return m_dir->filePath(name); }

    DownloadResult run(Download::Downloader &downloader, const QString &url, const QString &file)
    {
        downloader.setRecords(m_records);
        QSignalSpy done(&downloader, &Download::Downloader::finished);
        if (!downloader.start(QUrl(url), file))
            return {Status::Busy, QStringLiteral("start refused"), {}, 0, false, {}};
        if (!done.wait(20000))
            return {Status::NetworkError, QStringLiteral("no finished signal"), {}, 0, false, {}};
        return done.at(0).at(0).value<DownloadResult>();
    }

    QList<Demo::Request> requestsForVideo() const
    {
        QList<Demo::Request> out;
        for (const Demo::Request &r : m_site.requests().mid(m_seenBefore)) {
            if (r.host == host && r.path == path)
                out.append(r);
        }
        return out;
    }

private slots:
    void initTestCase()
    {
        for (const char *name : {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy", "no_proxy"})
            qunsetenv(name);
        qRegisterMetaType<Download::DownloadResult>();
        QVERIFY(m_site.listen());
        m_settings.network.proxy = m_site.proxyUrl();
        m_settings.network.timeoutSeconds = 5;
        Web::NetworkAccess::configure(m_settings);
    }

    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_records = std::make_shared<Download::Records>(std::make_shared<Web::DeferredLookupCache>(
            m_dir->filePath(QStringLiteral("cache/lookups.sqlite")), 30, nullptr));
        m_site.clearRoutes();
        m_site.setHandler({});
        m_seenBefore = m_site.requests().size();
    }

    void completeDownload_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<Response::Behaviour>("behaviour");
        QTest::newRow("empty file") << qint64(0) << Response::Behaviour::Normal;
        QTest::newRow("one byte") << qint64(1) << Response::Behaviour::Normal;
        QTest::newRow("small") << qint64(4099) << Response::Behaviour::Normal;
        QTest::newRow("several megabytes") << qint64(5 * 1024 * 1024 + 17) << Response::Behaviour::Normal;
        QTest::newRow("slow pieces") << qint64(20000) << Response::Behaviour::Slow;
    }

    void completeDownload()
    {
        QFETCH(qint64, size);
        QFETCH(Response::Behaviour, behaviour);
        m_site.setRoute(host, path, generated(size, behaviour));

        Download::Downloader downloader;
        QSignalSpy progress(&downloader, &Download::Downloader::progress);
        const DownloadResult result = run(downloader, address, target());
        QVERIFY2(result.ok(), qPrintable(result.error));
        QCOMPARE(result.path, QFileInfo(target()).absoluteFilePath());
        QCOMPARE(result.bytes, size);
        QVERIFY(result.error.isEmpty());
        QVERIFY(!result.resumed);
        QCOMPARE(readAll(target()), Demo::LoopbackSite::generatedBytes(0, size));
        QVERIFY(!QFile::exists(target() + QStringLiteral(".part")));
        QVERIFY(!downloader.isRunning());

        QVERIFY(!progress.isEmpty());
        QCOMPARE(progress.last().at(0).toLongLong(), size);
        QCOMPARE(progress.last().at(1).toLongLong(), size);
        for (const auto &args : progress)
            QVERIFY(args.at(0).toLongLong() <= size);
    }

    void interruptedDownloadResumes()
    {
        const qint64 size = 300000;
        m_site.setRoute(host, path, generated(size, Response::Behaviour::ShortBody));
        Download::Downloader downloader;
        const DownloadResult first = run(downloader, address, target());
        QCOMPARE(first.status, Status::Incomplete);
        QVERIFY(!first.error.isEmpty());
        QVERIFY(!QFile::exists(target()));
        const QString part = target() + QStringLiteral(".part");
        QCOMPARE(QFileInfo(first.path).absoluteFilePath(), QFileInfo(part).absoluteFilePath());
        const qint64 kept = QFileInfo(part).size();
        QVERIFY(kept > 0 && kept < size);
        QCOMPARE(first.bytes, kept);
        QCOMPARE(readAll(part), Demo::LoopbackSite::generatedBytes(0, kept));

        m_site.setRoute(host, path, generated(size));
        const DownloadResult second = run(downloader, address, target());
        QVERIFY2(second.ok(), qPrintable(second.error));
        QVERIFY(second.resumed);
        const QList<Demo::Request> seen = requestsForVideo();
        QCOMPARE(seen.size(), 2);
        QVERIFY(!seen.at(0).headers.contains("range"));
        QCOMPARE(seen.at(1).headers.value("range"), "bytes=" + QByteArray::number(kept) + '-');
        QCOMPARE(readAll(target()), Demo::LoopbackSite::generatedBytes(0, size));
        QVERIFY(!QFile::exists(part));
    }

    // A leftover ".part" in each of the shapes a resume can meet, and of other videos.
    void leftoverPart_data()
    {
        QTest::addColumn<QByteArray>("leftover");
        QTest::addColumn<bool>("acceptRanges");
        QTest::addColumn<QString>("origin");     // whose the records say it is: "this" video, an "other", "none"
        QTest::addColumn<QByteArray>("recorded"); // the validator recorded with it
        QTest::addColumn<QByteArray>("served");   // "ETag: x" or "Last-Modified: x" of the file now
        QTest::addColumn<bool>("resumed");
        QTest::addColumn<QString>("saved");

        const qint64 size = 50000;
        const QByteArray head = Demo::LoopbackSite::generatedBytes(0, 1234);
        const QString name = QStringLiteral("abc.mp4");
        const QString next = QStringLiteral("abc (2).mp4");
        const QByteArray none;
        const QString self = QStringLiteral("this");
        QTest::newRow("server ignores range") << head << false << self << none << none << false << name;
        QTest::newRow("foreign bytes, no range support") << QByteArray(777, 'x') << false << self << none << none << false
                                                         << name;
        QTest::newRow("part already complete")
            << Demo::LoopbackSite::generatedBytes(0, size) << true << self << none << none << true << name;
        QTest::newRow("part longer than the file")
            << Demo::LoopbackSite::generatedBytes(0, size + 99) << true << self << none << none << false << name;
        QTest::newRow("empty part") << QByteArray() << true << self << none << none << false << name;
        QTest::newRow("same version by its ETag")
            << head << true << self << QByteArray("\"v1\"") << QByteArray("ETag: \"v1\"") << true << name;
        QTest::newRow("another version by its ETag")
            << QByteArray(1234, 'o') << true << self << QByteArray("\"v1\"") << QByteArray("ETag: \"v2\"") << false
            << name;
        QTest::newRow("another version by its date")
            << QByteArray(1234, 'o') << true << self << QByteArray("Wed, 21 Oct 2015 07:28:00 GMT")
            << QByteArray("Last-Modified: Thu, 22 Oct 2015 07:28:00 GMT") << false << name;
        // Not this video's: neither continued nor touched.
        QTest::newRow("a part of another video") << QByteArray(1234, 'o') << true << QStringLiteral("other") << none
                                                 << none << false << next;
        QTest::newRow("a part nobody recorded") << head << true << QStringLiteral("none") << none << none << false
                                                << next;
    }

    void leftoverPart()
    {
        QFETCH(QByteArray, leftover);
        QFETCH(bool, acceptRanges);
        QFETCH(QString, origin);
        QFETCH(QByteArray, recorded);
        QFETCH(QByteArray, served);
        QFETCH(bool, resumed);
        QFETCH(QString, saved);
        const qint64 size = 50000;
        const QString part = target() + QStringLiteral(".part");
        QVERIFY(writeFile(part, leftover));
        if (origin != u"none")
            m_records->startedPart(target(), origin == u"this" ? address : QStringLiteral("http://other.test/abc.mp4"),
                                   QString::fromLatin1(recorded));

        Response r = generated(size);
        r.acceptRanges = acceptRanges;
        if (!served.isEmpty())
            r.headers.append({served.left(served.indexOf(':')), served.mid(served.indexOf(':') + 1).trimmed()});
        m_site.setRoute(host, path, r);
        Download::Downloader downloader;
        const DownloadResult result = run(downloader, address, target());
        QVERIFY2(result.ok(), qPrintable(result.error));
        QCOMPARE(result.resumed, resumed);
        QCOMPARE(result.path, target(saved));
        QCOMPARE(readAll(result.path), Demo::LoopbackSite::generatedBytes(0, size));
        const bool ours = origin == u"this";
        QCOMPARE(QFile::exists(part), !ours);
        if (!ours)
            QCOMPARE(readAll(part), leftover);
        const QList<Demo::Request> seen = requestsForVideo();
        QVERIFY(!seen.isEmpty());
        if (ours && !leftover.isEmpty())
            QCOMPARE(seen.first().headers.value("range"), "bytes=" + QByteArray::number(leftover.size()) + '-');
        else
            QVERIFY(!seen.first().headers.contains("range"));
        QCOMPARE(seen.first().headers.value("if-range"), ours && !leftover.isEmpty() ? recorded : QByteArray());
    }

    void httpErrorLeavesNoFile_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("leftover");
        QTest::newRow("404") << 404 << QByteArray();
        QTest::newRow("403") << 403 << QByteArray();
        QTest::newRow("500") << 500 << QByteArray();
        QTest::newRow("404 with a part to resume") << 404 << Demo::LoopbackSite::generatedBytes(0, 5000);
    }

    void httpErrorLeavesNoFile()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, leftover);
        const QString part = target() + QStringLiteral(".part");
        if (!leftover.isEmpty()) {
            QVERIFY(writeFile(part, leftover));
            m_records->startedPart(target(), address, QString());
        }
        Response r;
        r.status = status;
        r.body = "<html>error page that must not land in the file</html>";
        m_site.setRoute(host, path, r);

        Download::Downloader downloader;
        const DownloadResult result = run(downloader, address, target());
        QCOMPARE(result.status, Status::HttpError);
        QVERIFY2(result.error.contains(QString::number(status)), qPrintable(result.error));
        QVERIFY(!QFile::exists(target()));
        if (leftover.isEmpty())
            QVERIFY(!QFile::exists(part));
        else
            QCOMPARE(readAll(part), leftover);
    }

    void brokenTransfers_data()
    {
        QTest::addColumn<Response::Behaviour>("behaviour");
        QTest::newRow("server closes early") << Response::Behaviour::ShortBody;
        QTest::newRow("connection reset") << Response::Behaviour::Reset;
    }

    void brokenTransfers()
    {
        QFETCH(Response::Behaviour, behaviour);
        m_site.setRoute(host, path, generated(200000, behaviour));
        Download::Downloader downloader;
        const DownloadResult result = run(downloader, address, target());
        QVERIFY(!result.ok());
        QVERIFY(result.status == Status::Incomplete || result.status == Status::NetworkError);
        QVERIFY(!result.error.isEmpty());
        QVERIFY(!QFile::exists(target()));
        if (behaviour == Response::Behaviour::ShortBody)
            QCOMPARE(result.status, Status::Incomplete);
    }

    void refusedConnection()
    {
        quint16 closedPort = 0;
        {
            QTcpServer probe;
            QVERIFY(probe.listen(QHostAddress::LocalHost));
            closedPort = probe.serverPort();
        }
        Config::Settings refused = m_settings;
        refused.network.proxy = QStringLiteral("http://127.0.0.1:%1").arg(closedPort);
        Web::NetworkAccess::configure(refused);
        Download::Downloader downloader;
        const DownloadResult result = run(downloader, address, target());
        Web::NetworkAccess::configure(m_settings);
        QCOMPARE(result.status, Status::NetworkError);
        QVERIFY(!result.error.isEmpty());
        QVERIFY(!QFile::exists(target()));
        QVERIFY(!QFile::exists(target() + QStringLiteral(".part")));
    }

    void stalledServerTimesOut()
    {
        Config::Settings quick = m_settings;
        quick.network.timeoutSeconds = 1;
        Web::NetworkAccess::configure(quick);
        Response r;
        r.behaviour = Response::Behaviour::Never;
        m_site.setRoute(host, path, r);
        Download::Downloader downloader;
        const DownloadResult result = run(downloader, address, target());
        Web::NetworkAccess::configure(m_settings);
        QCOMPARE(result.status, Status::NetworkError);
        QVERIFY(!QFile::exists(target()));
    }

    // A ".part" a later run can tell for this video's is kept; one it could not is not left in the way.
    void cancelKeepsPart_data()
    {
        QTest::addColumn<bool>("remembered");
        QTest::newRow("remembered") << true;
        QTest::newRow("no records") << false;
    }

    void cancelKeepsPart()
    {
        QFETCH(bool, remembered);
        if (!remembered)
            m_records = std::make_shared<Download::Records>(nullptr);
        Response r = generated(2000000, Response::Behaviour::Slow);
        r.slowDelayMs = 20;
        m_site.setRoute(host, path, r);
        Download::Downloader downloader;
        downloader.setRecords(m_records);
        QSignalSpy done(&downloader, &Download::Downloader::finished);
        connect(&downloader, &Download::Downloader::progress, &downloader, [&downloader](qint64 received) {
            if (received > 0)
                downloader.cancel();
        });
        QVERIFY(downloader.start(QUrl(address), target()));
        QVERIFY(done.wait(20000));
        QCOMPARE(done.size(), 1);
        const DownloadResult result = done.at(0).at(0).value<DownloadResult>();
        QCOMPARE(result.status, Status::Cancelled);
        QVERIFY(!QFile::exists(target()));
        const QString part = target() + QStringLiteral(".part");
        QCOMPARE(QFile::exists(part), remembered);
        QCOMPARE(result.error.contains(QStringLiteral(".part")), remembered);
        if (!remembered)
            return;
        QVERIFY(QFileInfo(part).size() > 0);
        QCOMPARE(readAll(part), Demo::LoopbackSite::generatedBytes(0, QFileInfo(part).size()));
        QVERIFY(!downloader.isRunning());
        QTest::qWait(50);
        QCOMPARE(done.size(), 1);
    }

    void sameTargetTwice()
    {
        Response r = generated(100000, Response::Behaviour::Slow);
        m_site.setRoute(host, path, r);
        Download::Downloader first;
        Download::Downloader second;
        QSignalSpy firstDone(&first, &Download::Downloader::finished);
        QSignalSpy secondDone(&second, &Download::Downloader::finished);
        QVERIFY(first.start(QUrl(address), target()));
        QVERIFY(first.isRunning());
        QVERIFY(!first.start(QUrl(address), target()));
        QVERIFY(!second.start(QUrl(address), target()));
        // The same file named another way is still the same file.
        QVERIFY(!second.start(QUrl(address), m_dir->path() + QStringLiteral("/./abc.mp4")));
        QVERIFY(firstDone.wait(20000));
        QVERIFY(firstDone.at(0).at(0).value<DownloadResult>().ok());
        QCOMPARE(secondDone.size(), 0);

        // Free again once finished.
        QFile::remove(target());
        m_site.setRoute(host, path, generated(1000));
        QVERIFY(second.start(QUrl(address), target()));
        QVERIFY(secondDone.wait(20000));
        QVERIFY(secondDone.at(0).at(0).value<DownloadResult>().ok());
    }

    void badAddress_data()
    {
        QTest::addColumn<QString>("url");
        QTest::newRow("ftp") << QStringLiteral("ftp://video.weishi.com/a.mp4");
        QTest::newRow("local file") << QStringLiteral("file:///etc/passwd");
        QTest::newRow("empty") << QString();
        QTest::newRow("words") << QStringLiteral("not an address");
        QTest::newRow("javascript") << QStringLiteral("javascript:alert(1)");
    }

    void badAddress()
    {
        QFETCH(QString, url);
        Download::Downloader downloader;
        const DownloadResult result = run(downloader, url, target());
        QCOMPARE(result.status, Status::BadAddress);
        QVERIFY(!result.error.isEmpty());
        QVERIFY(!QFile::exists(target()));
        QVERIFY(!QFile::exists(target() + QStringLiteral(".part")));
        QVERIFY(requestsForVideo().isEmpty());
    }

    void progressIsThrottled()
    {
        Response r = generated(400000, Response::Behaviour::Slow);
        r.slowDelayMs = 2;
        m_site.setRoute(host, path, r);
        Download::Downloader downloader;
        QSignalSpy progress(&downloader, &Download::Downloader::progress);
        QElapsedTimer clock;
        clock.start();
        const DownloadResult result = run(downloader, address, target());
        const qint64 ms = clock.elapsed();
        QVERIFY2(result.ok(), qPrintable(result.error));
        // at most one every 100 ms, plus the final one
        QVERIFY2(progress.size() <= ms / 100 + 2,
                 qPrintable(QStringLiteral("%1 signals in %2 ms").arg(progress.size()).arg(ms)));
        qint64 last = -1;
        for (const auto &args : progress) {
            QVERIFY(args.at(0).toLongLong() >= last);
            last = args.at(0).toLongLong();
            QVERIFY(args.at(2).toDouble() >= 0.0);
        }
    }
};

QTEST_GUILESS_MAIN(TestDownloader)
#include "test_downloader.moc"
