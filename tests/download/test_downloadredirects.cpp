#include "config/settings.h"
#include "demo/loopbacksite.h"
#include "download/downloader.h"
#include "download/records.h"
#include "web/lookupcache.h"
#include "web/network.h"

#include <QFile>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

using Demo::Response;
using Download::DownloadResult;
using Status = Download::DownloadResult::Status;

Q_DECLARE_METATYPE(Download::DownloadResult)

namespace {

const QString host = QStringLiteral("video.weishi.com");
const QString otherHost = QStringLiteral("cdn.weishi.com");
const QString address = QStringLiteral("http://video.weishi.com/clips/abc.mp4");
const QString finalPath = QStringLiteral("/store/final.mp4");
const QString finalAddress = QStringLiteral("http://cdn.weishi.com/store/final.mp4");
constexpr qint64 size = 120000;

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

Response video(Response::Behaviour behaviour = Response::Behaviour::Normal)
{
    Response r;
    r.contentType = "video/mp4";
    r.generatedSize = size;
    r.behaviour = behaviour;
    return r;
}

} // namespace

// Video addresses on these sites often answer with a redirect to the storage host.
class TestDownloadRedirects : public QObject
{
    Q_OBJECT

    Demo::LoopbackSite m_site;
    Config::Settings m_settings;
    std::unique_ptr<QTemporaryDir> m_dir;
    qsizetype m_seenBefore = 0;

    QString target() const { return m_dir->filePath(QStringLiteral("abc.mp4")); }
    QString part() const { return target() + QStringLiteral(".part"); }

    DownloadResult run(const QString &url, std::shared_ptr<Download::Records> records = {})
    {
        Download::Downloader downloader;
        downloader.setRecords(records);
        QSignalSpy done(&downloader, &Download::Downloader::finished);
        if (!downloader.start(QUrl(url), target()))
            return {Status::Busy, QStringLiteral("start refused"), {}, 0, false, {}};
        if (!done.wait(10000))
            return {Status::NetworkError, QStringLiteral("no finished signal"), {}, 0, false, {}};
        return done.at(0).at(0).value<DownloadResult>();
    }

    QList<Demo::Request> seen() const { return m_site.requests().mid(m_seenBefore); }

    // "/hop/N" answers with a redirect to "/hop/N-1"; "/hop/0" redirects to the file itself.
    void serveChain(int status)
    {
        m_site.setHandler([status](const Demo::Request &req) -> std::optional<Response> {
            if (req.host != host || !req.path.startsWith(QStringLiteral("/hop/")))
                return std::nullopt;
            const int n = req.path.mid(5).toInt();
            return Response::redirect(n == 0 ? finalAddress.toUtf8() : "/hop/" + QByteArray::number(n - 1), status);
        });
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
        m_site.clearRoutes();
        m_site.setHandler({});
        m_site.setRoute(otherHost, finalPath, video());
        m_seenBefore = m_site.requests().size();
    }

    void followed_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("hops");
        QTest::newRow("302 once") << 302 << 1;
        QTest::newRow("301 once") << 301 << 1;
        QTest::newRow("303 once") << 303 << 1;
        QTest::newRow("307 once") << 307 << 1;
        QTest::newRow("308 once") << 308 << 1;
        QTest::newRow("302 three times") << 302 << 3;
        QTest::newRow("302 ten times") << 302 << 10;
    }

    void followed()
    {
        QFETCH(int, status);
        QFETCH(int, hops);
        serveChain(status);
        const DownloadResult result = run(QStringLiteral("http://video.weishi.com/hop/%1").arg(hops - 1));
        QVERIFY2(result.ok(), qPrintable(result.error));
        QCOMPARE(result.bytes, size);
        QCOMPARE(readAll(target()), Demo::LoopbackSite::generatedBytes(0, size));
        QVERIFY(!QFile::exists(part()));
        QVERIFY(seen().size() >= hops + 1);
        QCOMPARE(seen().last().host, otherHost);
        QCOMPARE(seen().last().path, finalPath);
    }

    void relativeLocation()
    {
        m_site.setRoute(host, QStringLiteral("/clips/abc.mp4"), Response::redirect("../store/x.mp4"));
        m_site.setRoute(host, QStringLiteral("/store/x.mp4"), video());
        const DownloadResult result = run(address);
        QVERIFY2(result.ok(), qPrintable(result.error));
        QCOMPARE(readAll(target()), Demo::LoopbackSite::generatedBytes(0, size));
    }

    // The Range request of a resume goes on to wherever the redirects lead.
    void resumeThroughRedirect()
    {
        const qint64 kept = 40000;
        QVERIFY(writeFile(part(), Demo::LoopbackSite::generatedBytes(0, kept)));
        // As an earlier run of this video left it.
        auto records = std::make_shared<Download::Records>(std::make_shared<Web::DeferredLookupCache>(
            m_dir->filePath(QStringLiteral("cache/lookups.sqlite")), 30, nullptr));
        records->startedPart(target(), address, QString());
        m_site.setRoute(host, QStringLiteral("/clips/abc.mp4"), Response::redirect(finalAddress.toUtf8()));
        const DownloadResult result = run(address, records);
        QVERIFY2(result.ok(), qPrintable(result.error));
        QVERIFY(result.resumed);
        QCOMPARE(result.bytes, size);
        QCOMPARE(readAll(target()), Demo::LoopbackSite::generatedBytes(0, size));
        QVERIFY(!QFile::exists(part()));
        const QList<Demo::Request> requests = seen();
        QCOMPARE(requests.last().host, otherHost);
        QCOMPARE(requests.last().path, finalPath);
        for (const Demo::Request &r : requests)
            QCOMPARE(r.headers.value("range"), "bytes=" + QByteArray::number(kept) + '-');
    }

    void refused_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("expected");
        QTest::newRow("eleven hops") << QStringLiteral("http://video.weishi.com/hop/10")
                                     << QStringLiteral("下载失败: 重定向次数过多");
        QTest::newRow("loop") << QStringLiteral("http://video.weishi.com/loop/a")
                              << QStringLiteral("下载失败: 重定向次数过多");
        QTest::newRow("to a local file") << QStringLiteral("http://video.weishi.com/to/file")
                                         << QStringLiteral("下载失败: 服务器重定向到了不允许的地址");
        QTest::newRow("to ftp") << QStringLiteral("http://video.weishi.com/to/ftp")
                                << QStringLiteral("下载失败: 服务器重定向到了不允许的地址");
        QTest::newRow("to garbage") << QStringLiteral("http://video.weishi.com/to/garbage")
                                    << QStringLiteral("下载失败: 服务器重定向到了不允许的地址");
        QTest::newRow("empty location") << QStringLiteral("http://video.weishi.com/to/empty")
                                        << QStringLiteral("下载失败: 服务器返回 302");
        // The rule for the addresses a page names holds at every hop.
        const QString local = QStringLiteral("下载失败: 服务器重定向到了本机或内网地址, 已拒绝");
        QTest::newRow("to 127.0.0.1") << QStringLiteral("http://video.weishi.com/to/loopback") << local;
        QTest::newRow("to localhost") << QStringLiteral("http://video.weishi.com/to/localhost") << local;
        QTest::newRow("to a private network") << QStringLiteral("http://video.weishi.com/to/private") << local;
        QTest::newRow("to IPv6 loopback, after a hop") << QStringLiteral("http://video.weishi.com/to/hop-v6") << local;
    }

    void refused()
    {
        QFETCH(QString, start);
        QFETCH(QString, expected);
        serveChain(302);
        m_site.setRoute(host, QStringLiteral("/loop/a"), Response::redirect("/loop/b"));
        m_site.setRoute(host, QStringLiteral("/loop/b"), Response::redirect("http://video.weishi.com/loop/a"));
        m_site.setRoute(host, QStringLiteral("/to/file"), Response::redirect("file:///etc/passwd"));
        m_site.setRoute(host, QStringLiteral("/to/ftp"), Response::redirect("ftp://cdn.weishi.com/store/final.mp4"));
        m_site.setRoute(host, QStringLiteral("/to/garbage"), Response::redirect("\x01\xff http:// "));
        m_site.setRoute(host, QStringLiteral("/to/empty"), Response::redirect(""));
        m_site.setRoute(host, QStringLiteral("/to/loopback"), Response::redirect("http://127.0.0.1:9/store/final.mp4"));
        m_site.setRoute(host, QStringLiteral("/to/localhost"), Response::redirect("http://localhost/store/final.mp4"));
        m_site.setRoute(host, QStringLiteral("/to/private"), Response::redirect("http://192.168.1.1/store/final.mp4"));
        m_site.setRoute(host, QStringLiteral("/to/hop-v6"), Response::redirect("/to/v6"));
        m_site.setRoute(host, QStringLiteral("/to/v6"), Response::redirect("http://[::1]/store/final.mp4"));
        for (const QString &local : {QStringLiteral("127.0.0.1"), QStringLiteral("localhost"), QStringLiteral("192.168.1.1"),
                                     QStringLiteral("::1")})
            m_site.setRoute(local, finalPath, video());
        const DownloadResult result = run(start);
        QCOMPARE(result.status, Status::HttpError);
        QCOMPARE(result.error, expected);
        QCOMPARE(result.error, expected);
        QVERIFY(!QFile::exists(target()));
        QVERIFY(!QFile::exists(part()));
        // Cut after ten redirects; Qt may send a request again when its connection closed under it.
        QVERIFY2(seen().size() <= 2 * 11, qPrintable(QString::number(seen().size())));
        for (const Demo::Request &r : seen())
            QVERIFY2(r.host == host, qPrintable(r.host));
    }

    void redirectWithoutLocation()
    {
        Response bare;
        bare.status = 302;
        m_site.setRoute(host, QStringLiteral("/clips/abc.mp4"), bare);
        const DownloadResult result = run(address);
        QCOMPARE(result.status, Status::HttpError);
        QCOMPARE(result.error, QStringLiteral("下载失败: 服务器返回 302"));
        QVERIFY(!QFile::exists(part()));
    }
};

QTEST_GUILESS_MAIN(TestDownloadRedirects)
#include "test_downloadredirects.moc"
