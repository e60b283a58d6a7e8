#include "config/settings.h"
#include "demo/loopbacksite.h"
#include "rawserver.h"
#include "web/getbody.h"
#include "web/network.h"

#include <QElapsedTimer>
#include <QStringEncoder>
#include <QTest>
#include <QTimer>

#include <functional>

using Demo::Response;
using Behaviour = Demo::Response::Behaviour;

namespace {

const QString pageHost = QStringLiteral("www.meipai.com");
const QString pagePath = QStringLiteral("/media/4242");
const QString pageUrl = QStringLiteral("http://www.meipai.com/media/4242");
constexpr int timeLimitSeconds = 2;
constexpr qint64 cap = 64 * 1024;
// Far above any honest failure path; only a hang gets near it.
constexpr qint64 hangMs = 20000;

QByteArray gbk(const QString &text)
{
    QStringEncoder enc("GBK");
    return enc.encode(text);
}

const QString chinese = QStringLiteral("正常的中文文本,作者的视频描述");

// What GetBody must at least do for a hostile answer.
enum class Expect {
    Fails,        // no text, any error
    FailsTooBig,  // no text, TooLarge
    FailsNetwork, // no text, Network
    FailsOrEmpty, // no text or the empty text: either way the window reports a failed fetch
    HasText,      // some text, never a failure
    NoCrash,      // either way, as long as it returns in time
};

} // namespace

Q_DECLARE_METATYPE(Expect)
Q_DECLARE_METATYPE(std::function<Response()>)

class TestFetchFaults final : public QObject
{
    Q_OBJECT

    Demo::LoopbackSite m_site;
    RawServer m_raw;

    void useProxy(const QString &proxyUrl, qint64 maxBody = cap)
    {
        Config::Settings s;
        s.network.proxy = proxyUrl;
        s.network.timeoutSeconds = timeLimitSeconds;
        s.network.maxBodyBytes = maxBody;
        Web::NetworkAccess::configure(s);
    }

    static void checkOutcome(const Web::BodyResult &r, Expect expect, qint64 elapsedMs)
    {
        QVERIFY2(elapsedMs < hangMs, qPrintable(QStringLiteral("took %1 ms").arg(elapsedMs)));
        // A failure is never a body and always says why.
        if (!r.text) {
            QVERIFY(!r.raw.ok());
            QVERIFY(!r.raw.errorString.isEmpty());
        }
        switch (expect) {
        case Expect::Fails:
            QVERIFY(!r.text.has_value());
            break;
        case Expect::FailsTooBig:
            QVERIFY(!r.text.has_value());
            QCOMPARE(r.raw.error, Web::FetchError::TooLarge);
            break;
        case Expect::FailsNetwork:
            QVERIFY(!r.text.has_value());
            QCOMPARE(r.raw.error, Web::FetchError::Network);
            break;
        case Expect::FailsOrEmpty:
            QVERIFY(!r.text || r.text->isEmpty());
            break;
        case Expect::HasText:
            QVERIFY2(r.text.has_value(), qPrintable(r.raw.errorString));
            break;
        case Expect::NoCrash:
            break;
        }
        QVERIFY(r.raw.body.size() <= cap);
        if (r.text)
            QVERIFY(r.text->size() <= cap);
    }

private Q_SLOTS:
    void initTestCase()
    {
        qunsetenv("http_proxy");
        qunsetenv("HTTP_PROXY");
        QVERIFY(m_site.listen());
        QVERIFY(m_raw.listen());
    }

    void init()
    {
        m_site.clearRoutes();
        m_site.setHandler({});
        useProxy(m_site.proxyUrl());
    }

    void hostileAnswers_data()
    {
        QTest::addColumn<std::function<Response()>>("make");
        QTest::addColumn<Expect>("expect");

        const auto row = [](const char *name, std::function<Response()> make, Expect e) {
            QTest::newRow(name) << make << e;
        };
        const auto gbkPage = [] {
            QByteArray body = "<html><body>" + gbk(chinese).repeated(400) + "</body></html>";
            return body;
        };

        row("reset mid-body, gbk page", [=] {
            Response r;
            r.contentType = "text/html; charset=gbk";
            r.body = gbkPage();
            r.behaviour = Behaviour::Reset;
            return r;
        }, Expect::FailsNetwork);
        row("reset mid-body over the cap", [] {
            Response r;
            r.generatedSize = cap * 8;
            r.behaviour = Behaviour::Reset;
            return r;
        }, Expect::Fails);
        row("short body of utf-8 text", [] {
            Response r;
            r.body = chinese.toUtf8().repeated(300);
            r.behaviour = Behaviour::ShortBody;
            return r;
        }, Expect::NoCrash);
        row("announced length over the cap", [] {
            Response r;
            r.generatedSize = cap * 64;
            return r;
        }, Expect::FailsTooBig);
        row("slow drip over the cap", [] {
            Response r;
            r.body = QByteArray(cap + 4096, 'x');
            r.behaviour = Behaviour::Slow;
            r.slowDelayMs = 1;
            return r;
        }, Expect::FailsTooBig);
        row("error status with a body over the cap", [] {
            Response r;
            r.status = 500;
            r.generatedSize = cap * 2;
            return r;
        }, Expect::FailsTooBig);
        row("invalid utf-8 declared as utf-8", [] {
            Response r;
            r.body = "<p>" + chinese.toUtf8() + "\xC3\x28\xA0\xA1\xE2\x28\xA1\xF0\x28\x8C\xBC\xFF\xFE" +
                     chinese.toUtf8() + "</p>";
            return r;
        }, Expect::HasText);
        row("gbk declared as utf-8", [=] {
            Response r;
            r.body = gbkPage();
            return r;
        }, Expect::HasText);
        row("utf-8 declared as gbk", [] {
            Response r;
            r.contentType = "text/html; charset=GBK";
            r.body = chinese.toUtf8().repeated(50);
            return r;
        }, Expect::HasText);
        row("unknown charset", [] {
            Response r;
            r.contentType = "text/html; charset=x-no-such-charset-\xFF\xFE";
            r.body = chinese.toUtf8();
            return r;
        }, Expect::HasText);
        row("empty and unbalanced charset", [] {
            Response r;
            r.contentType = "text/html; charset=\"; charset=; charset='";
            r.body = chinese.toUtf8();
            return r;
        }, Expect::HasText);
        row("meta charset with a huge name", [] {
            Response r;
            r.contentType = "text/html";
            r.body = "<meta charset=\"" + QByteArray(8000, 'g') + "\">" + chinese.toUtf8();
            return r;
        }, Expect::HasText);
        row("meta charset unterminated at the end", [] {
            Response r;
            r.contentType = "text/html";
            r.body = chinese.toUtf8() + "<meta http-equiv=\"Content-Type\" content=\"text/html; charset=";
            return r;
        }, Expect::HasText);
        row("nul bytes and a cut multibyte sequence", [] {
            Response r;
            r.body = QByteArray("a\0b\0c", 5) + chinese.toUtf8() + "\xE4\xB8";
            return r;
        }, Expect::HasText);
        row("utf-16 bytes declared as gb2312", [] {
            Response r;
            r.contentType = "text/html; charset=gb2312";
            r.body = QByteArray(reinterpret_cast<const char *>(chinese.utf16()), chinese.size() * 2);
            return r;
        }, Expect::HasText);
    }

    void hostileAnswers()
    {
        QFETCH(std::function<Response()>, make);
        QFETCH(Expect, expect);
        m_site.setRoute(pageHost, pagePath, make());

        QElapsedTimer clock;
        clock.start();
        const Web::BodyResult r = Web::GetBody(pageUrl);
        checkOutcome(r, expect, clock.elapsed());
    }

    // Text that survives a hostile encoding is still the page's text where the bytes were valid.
    void bestEffortKeepsValidText()
    {
        Response r;
        r.body = chinese.toUtf8() + "\xFF\xC0\x80" + chinese.toUtf8();
        m_site.setRoute(pageHost, pagePath, r);
        const Web::BodyResult got = Web::GetBody(pageUrl);
        QVERIFY(got.text.has_value());
        QCOMPARE(got.text->count(chinese), 2);
        QVERIFY(got.text->contains(QChar::ReplacementCharacter));
    }

    void redirects_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<Expect>("expect");
        QTest::newRow("to itself") << QStringLiteral("self") << Expect::Fails;
        QTest::newRow("between two hosts") << QStringLiteral("pingpong") << Expect::Fails;
        QTest::newRow("ever-growing address") << QStringLiteral("grow") << Expect::Fails;
        QTest::newRow("to a local file") << QStringLiteral("file") << Expect::NoCrash;
        QTest::newRow("to ftp") << QStringLiteral("ftp") << Expect::NoCrash;
        QTest::newRow("to a garbage location") << QStringLiteral("garbage") << Expect::NoCrash;
    }

    void redirects()
    {
        QFETCH(QString, mode);
        QFETCH(Expect, expect);
        m_site.setHandler([mode](const Demo::Request &req) -> std::optional<Response> {
            Response r;
            r.status = 302;
            r.body = "moved";
            QByteArray location;
            if (mode == u"self")
                location = "http://" + req.host.toUtf8() + req.path.toUtf8();
            else if (mode == u"pingpong")
                location = req.host == u"www.meipai.com" ? "http://other.meipai.com/media/4242"
                                                        : "http://www.meipai.com/media/4242";
            else if (mode == u"grow")
                location = "http://www.meipai.com" + req.path.toUtf8() + "/a";
            else if (mode == u"file")
                location = "file:///etc/passwd";
            else if (mode == u"ftp")
                location = "ftp://www.meipai.com/media/4242";
            else
                location = QByteArray("\x01\xFF http:// \r", 12);
            r.headers.append({QByteArrayLiteral("Location"), location});
            return r;
        });

        const int before = m_site.requestCount();
        QElapsedTimer clock;
        clock.start();
        const Web::BodyResult r = Web::GetBody(pageUrl);
        checkOutcome(r, expect, clock.elapsed());
        if (r.text)
            QVERIFY(!r.text->contains(QStringLiteral("root:")));
        // A loop is cut after a bounded number of hops.
        const int hops = m_site.requestCount() - before;
        QVERIFY2(hops >= 1 && hops <= 25, qPrintable(QString::number(hops)));
    }

    // Answers that break HTTP itself.
    void brokenProtocol_data()
    {
        QTest::addColumn<QByteArray>("head");
        QTest::addColumn<int>("ending");
        QTest::addColumn<QByteArray>("repeat");
        QTest::addColumn<int>("repeatCount");
        QTest::addColumn<Expect>("expect");

        const auto close = int(RawServer::Ending::Close);
        const auto open = int(RawServer::Ending::KeepOpen);
        const auto abort = int(RawServer::Ending::Abort);
        QTest::newRow("closed without a byte") << QByteArray() << close << QByteArray() << 0 << Expect::Fails;
        QTest::newRow("reset without a byte") << QByteArray() << abort << QByteArray() << 0 << Expect::Fails;
        QTest::newRow("not http at all") << QByteArray("SSH-2.0-OpenSSH\r\n\r\n") << close << QByteArray() << 0
                                         << Expect::NoCrash;
        QTest::newRow("absurd content length")
            << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: 99999999999999999999999\r\n\r\nabc") << close
            << QByteArray() << 0 << Expect::NoCrash;
        QTest::newRow("negative content length")
            << QByteArray("HTTP/1.1 200 OK\r\nContent-Length: -5\r\n\r\nabc") << close << QByteArray() << 0
            << Expect::NoCrash;
        QTest::newRow("endless header line") << QByteArray("HTTP/1.1 200 OK\r\nX-A: ") << open
                                             << QByteArray(64 * 1024, 'a') << 64 << Expect::Fails;
        QTest::newRow("header never ends") << QByteArray("HTTP/1.1 200 OK\r\n") << open
                                           << QByteArray("X-B: b\r\n").repeated(2000) << 20 << Expect::Fails;
        QTest::newRow("huge chunk size")
            << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\nFFFFFFFFFFFFFFFFFF\r\nabc") << close
            << QByteArray() << 0 << Expect::FailsOrEmpty;
        QTest::newRow("endless chunked body without length")
            << QByteArray("HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\nContent-Type: text/html\r\n\r\n") << open
            << (QByteArray("4000\r\n") + QByteArray(0x4000, 'z') + "\r\n") << 64 << Expect::FailsTooBig;
        QTest::newRow("endless body without length, then close")
            << QByteArray("HTTP/1.1 200 OK\r\nContent-Type: text/html\r\n\r\n") << close
            << QByteArray(0x4000, 'y') << 64 << Expect::FailsTooBig;
        QTest::newRow("compressed bomb") << QByteArray() << close << QByteArray() << -1 << Expect::NoCrash;
        QTest::newRow("garbage compressed body")
            << QByteArray("HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\nContent-Length: 10\r\n\r\n\x1F\x8B garbage")
            << close << QByteArray() << 0 << Expect::NoCrash;
    }

    void brokenProtocol()
    {
        QFETCH(QByteArray, head);
        QFETCH(int, ending);
        QFETCH(QByteArray, repeat);
        QFETCH(int, repeatCount);
        QFETCH(Expect, expect);
        if (repeatCount < 0) {
            // 32 MB of one letter, deflated to a few dozen kilobytes.
            const QByteArray zlib = qCompress(QByteArray(32 * 1024 * 1024, 'a'), 9).mid(4);
            head = "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nContent-Encoding: deflate\r\nContent-Length: " +
                   QByteArray::number(zlib.size()) + "\r\n\r\n" + zlib;
            repeatCount = 0;
        }
        m_raw.setAnswer(head, RawServer::Ending(ending), repeat, repeatCount);
        useProxy(m_raw.proxyUrl());

        QElapsedTimer clock;
        clock.start();
        const Web::BodyResult r = Web::GetBody(pageUrl);
        checkOutcome(r, expect, clock.elapsed());
    }
};

QTEST_GUILESS_MAIN(TestFetchFaults)
#include "test_fetch_faults.moc"
