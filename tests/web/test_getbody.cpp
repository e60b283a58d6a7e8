#include "web/fetchfile.h"
#include "web/getbody.h"
#include "webfixture.h"

#include <QDir>
#include <QFile>
#include <QNetworkReply>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QThread>
#include <QTimer>
#include <memory>

using Demo::Response;
using Web::FetchError;

Q_DECLARE_METATYPE(Demo::Response::Behaviour)

class TestGetBody final : public QObject
{
    Q_OBJECT
private:
    std::unique_ptr<Demo::LoopbackSite> m_site;

    void configure(int timeoutSeconds = 2, qint64 cap = 1024 * 1024)
    {
        Web::NetworkAccess::configure(siteSettings(*m_site, timeoutSeconds, cap));
    }

private slots:
    void initTestCase() { unsetProxyEnvironment(); }

    void init()
    {
        m_site = std::make_unique<Demo::LoopbackSite>();
        QVERIFY(m_site->listen());
        configure();
    }
    void cleanup() { m_site.reset(); }

    void bodyAsText_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<QByteArray>("contentType");
        QTest::addColumn<QByteArray>("body");
        QTest::addColumn<QString>("text");

        const QByteArray gbk = QByteArray::fromHex("c3c0c5c4cad3c6b5");
        const QString words = QStringLiteral("美拍视频");
        QTest::newRow("utf-8 page") << 200 << QByteArray("text/html; charset=utf-8") << words.toUtf8()
                                    << words;
        QTest::newRow("server error keeps its body")
            << 500 << QByteArray("text/plain") << QByteArray("oops") << QStringLiteral("oops");
        QTest::newRow("gbk by header") << 200 << QByteArray("text/html; charset=GBK") << gbk << words;
        QTest::newRow("gb2312 by meta charset")
            << 200 << QByteArray("text/html") << QByteArray("<meta charset=\"gb2312\"><p>" + gbk)
            << QString(QStringLiteral("<meta charset=\"gb2312\"><p>") + words);
        QTest::newRow("gbk by http-equiv")
            << 200 << QByteArray("text/html")
            << QByteArray("<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=gbk\">" + gbk)
            << QString(
                   QStringLiteral("<META HTTP-EQUIV=\"Content-Type\" CONTENT=\"text/html; charset=gbk\">") +
                   words);
        QTest::newRow("no charset is utf-8") << 200 << QByteArray() << words.toUtf8() << words;
        QTest::newRow("unknown charset is utf-8")
            << 200 << QByteArray("text/html; charset=x-no-such") << words.toUtf8() << words;
        QTest::newRow("empty body") << 200 << QByteArray("text/html") << QByteArray() << QString();
    }
    void bodyAsText()
    {
        QFETCH(int, status);
        QFETCH(QByteArray, contentType);
        QFETCH(QByteArray, body);
        QFETCH(QString, text);
        m_site->setRoute(QStringLiteral("www.meipai.com"), QStringLiteral("/media/1?x=1"),
                         page(body, status, contentType));
        const Web::BodyResult r = Web::GetBody(QStringLiteral("http://www.meipai.com/media/1?x=1"));
        QVERIFY2(r.text.has_value(), qPrintable(r.raw.errorString));
        QCOMPARE(*r.text, text);
        QCOMPARE(r.raw.httpStatus, status);
    }

    void notFoundPageIsTheText()
    {
        const Web::BodyResult r = Web::GetBody(QStringLiteral("http://www.gifshow.com/nothing"));
        QVERIFY(r.text.has_value());
        QVERIFY(r.text->contains(QStringLiteral("404 Not Found")));
        QCOMPARE(r.raw.httpStatus, 404);
    }

    void requestAsSent()
    {
        Web::GetBody(QStringLiteral("http://www.miaopai.com/show/abc.htm"));
        QCOMPARE(m_site->requestCount(), 1);
        const Demo::Request req = m_site->requests().constFirst();
        QCOMPARE(req.method, QByteArray("GET"));
        QCOMPARE(req.host, QStringLiteral("www.miaopai.com"));
        QCOMPARE(req.path, QStringLiteral("/show/abc.htm"));
        QCOMPARE(req.headers.value("if-modified-since"), QByteArray("0"));
        QCOMPARE(QString::fromUtf8(req.headers.value("user-agent")), Config::Settings().network.userAgent);

        Web::fetch(QStringLiteral("http://www.miaopai.com/plain"), {});
        QVERIFY(!m_site->requests().constLast().headers.contains("if-modified-since"));
    }

    void proxyForms_data()
    {
        QTest::addColumn<QString>("setting");
        QTest::addColumn<bool>("fromEnvironment");
        QTest::newRow("address") << QStringLiteral("http://127.0.0.1:%1") << false;
        QTest::newRow("host and port only") << QStringLiteral("127.0.0.1:%1") << false;
        QTest::newRow("http_proxy when unset") << QStringLiteral("http://127.0.0.1:%1") << true;
    }
    void proxyForms()
    {
        QFETCH(QString, setting);
        QFETCH(bool, fromEnvironment);
        Config::Settings s = siteSettings(*m_site);
        const QString proxy = setting.arg(m_site->port());
        s.network.proxy = fromEnvironment ? QString() : proxy;
        if (fromEnvironment)
            qputenv("http_proxy", proxy.toLatin1());
        Web::NetworkAccess::configure(s);
        m_site->setRoute(QStringLiteral("www.meipai.com"), QStringLiteral("/p"), page("through the proxy"));
        const Web::BodyResult r = Web::GetBody(QStringLiteral("http://www.meipai.com/p"));
        unsetProxyEnvironment();
        QCOMPARE(r.text.value_or(r.raw.errorString), QStringLiteral("through the proxy"));
    }

    void timeLimitKeepsEventsRunning()
    {
        configure(1);
        Response never;
        never.behaviour = Response::Behaviour::Never;
        m_site->setRoute(QStringLiteral("www.meipai.com"), QStringLiteral("/hang"), never);
        int ticks = 0;
        QTimer timer;
        connect(&timer, &QTimer::timeout, this, [&ticks] { ++ticks; });
        timer.start(50);
        const Web::BodyResult r = Web::GetBody(QStringLiteral("http://www.meipai.com/hang"));
        QVERIFY(!r.text);
        QCOMPARE(r.raw.error, FetchError::Timeout);
        QVERIFY(ticks > 0);
    }

    void sizeCap_data()
    {
        QTest::addColumn<qint64>("size");
        QTest::addColumn<bool>("generated");
        QTest::addColumn<bool>("ok");
        QTest::newRow("at the cap") << qint64(4096) << false << true;
        QTest::newRow("one byte over") << qint64(4097) << false << false;
        QTest::newRow("large generated body") << qint64(64) * 1024 * 1024 << true << false;
    }
    void sizeCap()
    {
        QFETCH(qint64, size);
        QFETCH(bool, generated);
        QFETCH(bool, ok);
        configure(2, 4096);
        Response r;
        if (generated)
            r.generatedSize = size;
        else
            r.body = QByteArray(size, 'x');
        m_site->setRoute(QStringLiteral("www.meipai.com"), QStringLiteral("/big"), r);
        const Web::FetchResult f = Web::fetch(QStringLiteral("http://www.meipai.com/big"), {});
        QCOMPARE(f.ok(), ok);
        QCOMPARE(f.error, ok ? FetchError::None : FetchError::TooLarge);
        QVERIFY(f.body.size() <= 4096);
        if (ok)
            QCOMPARE(f.body.size(), size);
    }

    void refusedAddress_data()
    {
        QTest::addColumn<QString>("url");
        QTest::newRow("file address") << QStringLiteral("file:///etc/passwd");
        QTest::newRow("ftp") << QStringLiteral("ftp://www.meipai.com/x");
        QTest::newRow("plain path") << QStringLiteral("/etc/passwd");
        QTest::newRow("empty") << QString();
        QTest::newRow("scheme only") << QStringLiteral("http://");
        QTest::newRow("script") << QStringLiteral("javascript:alert(1)");
        QTest::newRow("no scheme") << QStringLiteral("www.meipai.com/media/1");
        QTest::newRow("leading space") << QStringLiteral(" http://www.meipai.com/");
    }
    void refusedAddress()
    {
        QFETCH(QString, url);
        const Web::BodyResult r = Web::GetBody(url);
        QVERIFY(!r.text);
        QCOMPARE(r.raw.error, FetchError::BadScheme);
        QCOMPARE(m_site->requestCount(), 0);
    }

    // Callers that skip the check still cannot reach another scheme through the access point.
    void accessPointRefusesOtherSchemes_data()
    {
        QTest::addColumn<QString>("url");
        QTest::newRow("file") << QStringLiteral("file:///etc/hostname");
        QTest::newRow("data") << QStringLiteral("data:text/plain,secret");
        QTest::newRow("qrc") << QStringLiteral("qrc:/anything");
    }
    void accessPointRefusesOtherSchemes()
    {
        QFETCH(QString, url);
        std::unique_ptr<QNetworkReply> reply(Web::NetworkAccess::forThread().get(QNetworkRequest(QUrl(url))));
        QSignalSpy finished(reply.get(), &QNetworkReply::finished);
        QVERIFY(finished.wait(2000));
        QCOMPARE(reply->error(), QNetworkReply::ProtocolUnknownError);
        QVERIFY(reply->readAll().isEmpty());
    }

    void brokenTransfer_data()
    {
        QTest::addColumn<Response::Behaviour>("behaviour");
        QTest::addColumn<int>("status");
        QTest::newRow("reset") << Response::Behaviour::Reset << 200;
        QTest::newRow("short body") << Response::Behaviour::ShortBody << 200;
        QTest::newRow("short error page") << Response::Behaviour::ShortBody << 404;
        QTest::newRow("redirect loop") << Response::Behaviour::Normal << 302;
    }
    void brokenTransfer()
    {
        QFETCH(Response::Behaviour, behaviour);
        QFETCH(int, status);
        Response r = page(QByteArray(20000, 'a'), status);
        r.behaviour = behaviour;
        if (status == 302)
            r.headers.append(qMakePair(QByteArray("Location"), QByteArray("http://www.meipai.com/loop")));
        m_site->setRoute(QStringLiteral("www.meipai.com"), QStringLiteral("/loop"), r);
        const Web::BodyResult b = Web::GetBody(QStringLiteral("http://www.meipai.com/loop"));
        QVERIFY(!b.text);
        QCOMPARE(b.raw.error, FetchError::Network);
        QVERIFY(!b.raw.errorString.isEmpty());
        QVERIFY(b.raw.body.isEmpty());
    }

    void redirectFollowed()
    {
        Response moved = page("moved", 301);
        moved.headers.append(qMakePair(QByteArray("Location"), QByteArray("/new")));
        m_site->setRoute(QStringLiteral("www.meipai.com"), QStringLiteral("/old"), moved);
        m_site->setRoute(QStringLiteral("www.meipai.com"), QStringLiteral("/new"), page("the new page"));
        const Web::BodyResult b = Web::GetBody(QStringLiteral("http://www.meipai.com/old"));
        QCOMPARE(b.text.value_or(QString()), QStringLiteral("the new page"));
        QCOMPARE(m_site->requestCount(), 2);
    }

    void slowBodyArrivesWhole()
    {
        Response slow = page(Demo::LoopbackSite::generatedBytes(0, 3000), 200, "application/octet-stream");
        slow.behaviour = Response::Behaviour::Slow;
        slow.slowDelayMs = 20;
        m_site->setRoute(QStringLiteral("vfile.weishi.com"), QStringLiteral("/v.mp4"), slow);
        const Web::FetchResult f = Web::fetch(QStringLiteral("http://vfile.weishi.com/v.mp4"), {});
        QVERIFY2(f.ok(), qPrintable(f.errorString));
        QCOMPARE(f.body, slow.body);
    }

    void threadsFetchInParallel()
    {
        constexpr int count = 4;
        for (int i = 0; i < count; ++i) {
            Response slow = page("page " + QByteArray::number(i));
            slow.behaviour = Response::Behaviour::Slow;
            slow.slowDelayMs = 100;
            m_site->setRoute(QStringLiteral("www.meipai.com"), QStringLiteral("/t%1").arg(i), slow);
        }
        QList<QString> texts(count);
        QList<QThread *> threads;
        for (int i = 0; i < count; ++i) {
            threads.append(QThread::create([&texts, i] {
                texts[i] =
                    Web::GetBody(QStringLiteral("http://www.meipai.com/t%1").arg(i)).text.value_or(QString());
            }));
            threads.last()->start();
        }
        // The site answers from this thread, so keep its loop running while the workers wait.
        QTRY_VERIFY_WITH_TIMEOUT(
            std::all_of(threads.cbegin(), threads.cend(), [](QThread *t) { return t->isFinished(); }), 10000);
        for (int i = 0; i < count; ++i) {
            threads[i]->wait();
            delete threads[i];
            QCOMPARE(texts[i], QStringLiteral("page %1").arg(i));
        }
    }

    void fetchToFile_data()
    {
        QTest::addColumn<QString>("url");
        QTest::addColumn<bool>("ok");
        QTest::newRow("complete") << QStringLiteral("http://www.gifshow.com/face.png") << true;
        QTest::newRow("reset") << QStringLiteral("http://www.gifshow.com/reset") << false;
        QTest::newRow("short body") << QStringLiteral("http://www.gifshow.com/short") << false;
        QTest::newRow("not found") << QStringLiteral("http://www.gifshow.com/missing") << false;
        QTest::newRow("over the cap") << QStringLiteral("http://www.gifshow.com/huge") << false;
        QTest::newRow("refused scheme") << QStringLiteral("file:///etc/passwd") << false;
    }
    void fetchToFile()
    {
        QFETCH(QString, url);
        QFETCH(bool, ok);
        configure(2, 100000);
        const QByteArray avatar = Demo::LoopbackSite::generatedBytes(7, 30000);
        const QString host = QStringLiteral("www.gifshow.com");
        m_site->setRoute(host, QStringLiteral("/face.png"), page(avatar, 200, "image/png"));
        Response reset = page(avatar, 200, "image/png");
        reset.behaviour = Response::Behaviour::Reset;
        m_site->setRoute(host, QStringLiteral("/reset"), reset);
        Response shortBody = reset;
        shortBody.behaviour = Response::Behaviour::ShortBody;
        m_site->setRoute(host, QStringLiteral("/short"), shortBody);
        Response huge;
        huge.generatedSize = 300000;
        m_site->setRoute(host, QStringLiteral("/huge"), huge);

        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString target = dir.filePath(QStringLiteral("face"));
        {
            QFile old(target);
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write("previous avatar");
        }
        const Web::FileFetchResult r = Web::fetchToFile(url, target);
        QCOMPARE(r.ok, ok);
        QCOMPARE(r.error.isEmpty(), ok);
        QFile file(target);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), ok ? avatar : QByteArray("previous avatar"));
        // Nothing half-written is left beside it.
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files | QDir::Hidden), QStringList{QStringLiteral("face")});
    }
};

QTEST_GUILESS_MAIN(TestGetBody)
#include "test_getbody.moc"
