#include "web/getbody.h"
#include "webfixture.h"

#include <QTcpSocket>
#include <memory>

using Demo::Response;

class TestLoopbackSite final : public QObject
{
    Q_OBJECT
private:
    std::unique_ptr<Demo::LoopbackSite> m_site;

    // Sends raw request text and collects everything until the site closes the connection.
    QByteArray exchange(const QByteArray &request)
    {
        QTcpSocket socket;
        QByteArray answer;
        bool closed = false;
        connect(&socket, &QTcpSocket::readyRead, this, [&] { answer += socket.readAll(); });
        connect(&socket, &QTcpSocket::disconnected, this, [&] { closed = true; });
        socket.connectToHost(QStringLiteral("127.0.0.1"), m_site->port());
        socket.write(request);
        if (!QTest::qWaitFor([&] { return closed; }, 5000))
            return "no close";
        return answer + socket.readAll();
    }

private slots:
    void initTestCase() { unsetProxyEnvironment(); }
    void init()
    {
        m_site = std::make_unique<Demo::LoopbackSite>();
        QVERIFY(m_site->listen());
        QVERIFY(m_site->port() != 0);
        QCOMPARE(m_site->proxyUrl(), QStringLiteral("http://127.0.0.1:%1").arg(m_site->port()));
        Web::NetworkAccess::configure(siteSettings(*m_site, 5, 64 * 1024 * 1024));
    }
    void cleanup() { m_site.reset(); }

    void requestForms_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<QString>("host");
        QTest::addColumn<QString>("path");
        QTest::newRow("absolute form")
            << QByteArray("GET http://WWW.Meipai.com:8080/media/7?a=1&b=%20 HTTP/1.1\r\nHost: "
                          "www.meipai.com\r\n\r\n")
            << QStringLiteral("www.meipai.com") << QStringLiteral("/media/7?a=1&b=%20");
        QTest::newRow("absolute form without path")
            << QByteArray("GET http://www.meipai.com HTTP/1.1\r\n\r\n") << QStringLiteral("www.meipai.com")
            << QStringLiteral("/");
        QTest::newRow("origin form") << QByteArray("GET /media/7 HTTP/1.1\r\nHOST: Www.Meipai.Com:80\r\n\r\n")
                                     << QStringLiteral("www.meipai.com") << QStringLiteral("/media/7");
    }
    void requestForms()
    {
        QFETCH(QByteArray, request);
        QFETCH(QString, host);
        QFETCH(QString, path);
        m_site->setRoute(QStringLiteral("www.meipai.com"), path, page("routed"));
        const QByteArray answer = exchange(request);
        QVERIFY2(answer.startsWith("HTTP/1.1 200 OK\r\n"), answer.constData());
        QVERIFY(answer.contains("\r\nContent-Length: 6\r\n"));
        QVERIFY(answer.contains("\r\nConnection: close\r\n"));
        QVERIFY(answer.endsWith("\r\n\r\nrouted"));
        QCOMPARE(m_site->requestCount(), 1);
        QCOMPARE(m_site->requests().constFirst().host, host);
        QCOMPARE(m_site->requests().constFirst().path, path);
    }

    void handlerBeforeRoutes()
    {
        m_site->setRoute(QStringLiteral("www.meipai.com"), QStringLiteral("/a"), page("route a"));
        m_site->setRoute(QStringLiteral("www.meipai.com"), QStringLiteral("/b"), page("route b"));
        m_site->setHandler([](const Demo::Request &req) -> std::optional<Response> {
            if (req.host == u"www.meipai.com" && req.path == u"/a")
                return page("handler a");
            return std::nullopt;
        });
        QCOMPARE(Web::GetBody(QStringLiteral("http://www.meipai.com/a")).text, QStringLiteral("handler a"));
        QCOMPARE(Web::GetBody(QStringLiteral("http://www.meipai.com/b")).text, QStringLiteral("route b"));
        m_site->clearRoutes();
        QCOMPARE(Web::GetBody(QStringLiteral("http://www.meipai.com/b")).raw.httpStatus, 404);
        // A route is bound to its host.
        QCOMPARE(Web::GetBody(QStringLiteral("http://www.gifshow.com/a")).raw.httpStatus, 404);
    }

    void ranges_data()
    {
        QTest::addColumn<bool>("acceptRanges");
        QTest::addColumn<QByteArray>("range");
        QTest::addColumn<int>("status");
        QTest::addColumn<qint64>("from");
        QTest::newRow("no range") << true << QByteArray() << 200 << qint64(0);
        QTest::newRow("resume") << true << QByteArray("bytes=1000-") << 206 << qint64(1000);
        QTest::newRow("last byte") << true << QByteArray("bytes=99999-") << 206 << qint64(99999);
        QTest::newRow("ranges refused") << false << QByteArray("bytes=1000-") << 200 << qint64(0);
    }
    void ranges()
    {
        QFETCH(bool, acceptRanges);
        QFETCH(QByteArray, range);
        QFETCH(int, status);
        QFETCH(qint64, from);
        constexpr qint64 size = 100000;
        Response r;
        r.generatedSize = size;
        r.acceptRanges = acceptRanges;
        r.contentType = "video/mp4";
        m_site->setRoute(QStringLiteral("vfile.weishi.com"), QStringLiteral("/v.mp4"), r);
        Web::FetchOptions options;
        if (!range.isEmpty())
            options.headers.append({"Range", range});
        const Web::FetchResult f = Web::fetch(QStringLiteral("http://vfile.weishi.com/v.mp4"), options);
        QVERIFY2(f.ok(), qPrintable(f.errorString));
        QCOMPARE(f.httpStatus, status);
        QCOMPARE(f.contentType, QByteArray("video/mp4"));
        QCOMPARE(f.body.size(), size - from);
        QVERIFY(f.body == Demo::LoopbackSite::generatedBytes(from, size - from));
    }

    void rangeContentRangeHeader()
    {
        Response r;
        r.generatedSize = 500;
        m_site->setRoute(QStringLiteral("www.meipai.com"), QStringLiteral("/r"), r);
        const QByteArray answer =
            exchange("GET /r HTTP/1.1\r\nHost: www.meipai.com\r\nRange: bytes=100-\r\n\r\n");
        QVERIFY2(answer.startsWith("HTTP/1.1 206 "), answer.left(100).constData());
        QVERIFY(answer.contains("\r\nContent-Range: bytes 100-499/500\r\n"));
        QVERIFY(answer.contains("\r\nContent-Length: 400\r\n"));
    }

    // A redirect stays a redirect whatever the request asks for.
    void redirectAnswer_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::newRow("plain") << QByteArray("GET /old HTTP/1.1\r\nHost: www.meipai.com\r\n\r\n");
        QTest::newRow("range") << QByteArray("GET /old HTTP/1.1\r\nHost: www.meipai.com\r\nRange: bytes=100-\r\n\r\n");
        QTest::newRow("range past the end")
            << QByteArray("GET /old HTTP/1.1\r\nHost: www.meipai.com\r\nRange: bytes=99999-\r\n\r\n");
        QTest::newRow("head") << QByteArray("HEAD /old HTTP/1.1\r\nHost: www.meipai.com\r\n\r\n");
    }
    void redirectAnswer()
    {
        QFETCH(QByteArray, request);
        m_site->setRoute(QStringLiteral("www.meipai.com"), QStringLiteral("/old"),
                         Response::redirect("http://cdn.meipai.com/new.mp4", 307));
        const QByteArray answer = exchange(request);
        QVERIFY2(answer.startsWith("HTTP/1.1 307 Temporary Redirect\r\n"), answer.constData());
        QVERIFY(answer.contains("\r\nLocation: http://cdn.meipai.com/new.mp4\r\n"));
        QVERIFY(answer.contains("\r\nContent-Length: 0\r\n"));
        QVERIFY(!answer.contains("Content-Range"));
        QVERIFY(!answer.contains("Accept-Ranges"));
        QVERIFY(answer.endsWith("\r\n\r\n"));
    }

    void largeGeneratedBody()
    {
        constexpr qint64 size = 24 * 1024 * 1024;
        Response r;
        r.generatedSize = size;
        m_site->setRoute(QStringLiteral("vfile.weishi.com"), QStringLiteral("/big.mp4"), r);
        const Web::FetchResult f = Web::fetch(QStringLiteral("http://vfile.weishi.com/big.mp4"), {});
        QVERIFY2(f.ok(), qPrintable(f.errorString));
        QCOMPARE(f.body.size(), size);
        QVERIFY(f.body == Demo::LoopbackSite::generatedBytes(0, size));
    }

    void generatedPattern_data()
    {
        QTest::addColumn<qint64>("offset");
        QTest::addColumn<qint64>("length");
        QTest::newRow("start") << qint64(0) << qint64(10);
        QTest::newRow("across a run") << qint64(250) << qint64(20);
        QTest::newRow("far") << qint64(300) * 1024 * 1024 << qint64(4096);
    }
    void generatedPattern()
    {
        QFETCH(qint64, offset);
        QFETCH(qint64, length);
        const QByteArray whole = Demo::LoopbackSite::generatedBytes(offset, length + 600);
        QCOMPARE(Demo::LoopbackSite::generatedBytes(offset + 5, length), whole.mid(5, length));
        // A block shifted by one byte or by a whole run must differ.
        QVERIFY(whole.mid(0, 256) != whole.mid(1, 256));
        QVERIFY(whole.mid(0, 256) != whole.mid(256, 256));
    }

    void neverAnswersUntilTheClientLeaves()
    {
        Web::NetworkAccess::configure(siteSettings(*m_site, 1));
        Response never;
        never.behaviour = Response::Behaviour::Never;
        m_site->setRoute(QStringLiteral("www.meipai.com"), QStringLiteral("/n"), never);
        QCOMPARE(Web::fetch(QStringLiteral("http://www.meipai.com/n"), {}).error, Web::FetchError::Timeout);
        QCOMPARE(m_site->requestCount(), 1);
        // The site is still serving after the client gave up.
        QCOMPARE(Web::GetBody(QStringLiteral("http://www.meipai.com/other")).raw.httpStatus, 404);
    }

    void destroyedWhileServing()
    {
        Response never;
        never.behaviour = Response::Behaviour::Never;
        m_site->setRoute(QStringLiteral("www.meipai.com"), QStringLiteral("/n"), never);
        QTcpSocket socket;
        socket.connectToHost(QStringLiteral("127.0.0.1"), m_site->port());
        socket.write("GET /n HTTP/1.1\r\nHost: www.meipai.com\r\n\r\n");
        QTRY_COMPARE(m_site->requestCount(), 1);
        m_site.reset();
        QTRY_COMPARE(socket.state(), QAbstractSocket::UnconnectedState);
    }
};

QTEST_GUILESS_MAIN(TestLoopbackSite)
#include "test_loopbacksite.moc"
