#include "config/settings.h"
#include "demo/loopbacksite.h"
#include "web/fetchfile.h"
#include "web/getbody.h"
#include "web/network.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using Demo::Response;
using Behaviour = Demo::Response::Behaviour;

namespace {

const QString pageHost = QStringLiteral("www.meipai.com");
const QString pagePath = QStringLiteral("/media/4242");
const QString pageUrl = QStringLiteral("http://www.meipai.com/media/4242");
constexpr int timeLimitSeconds = 2;
// Far above any honest failure path; only a hang gets near it.
constexpr qint64 hangMs = 20000;

} // namespace

// Servers that take their time: every request ends at the time limit, and the thread's events
// keep running until then.
class TestFetchTimeouts final : public QObject
{
    Q_OBJECT

    Demo::LoopbackSite m_site;

private Q_SLOTS:
    void initTestCase()
    {
        qunsetenv("http_proxy");
        qunsetenv("HTTP_PROXY");
        QVERIFY(m_site.listen());
    }

    void init()
    {
        m_site.clearRoutes();
        Config::Settings s;
        s.network.proxy = m_site.proxyUrl();
        s.network.timeoutSeconds = timeLimitSeconds;
        Web::NetworkAccess::configure(s);
    }

    // The window keeps running while the page never comes: its timers fire, and one of them
    // may even start another fetch of its own.
    void neverAnsweringServer()
    {
        Response never;
        never.behaviour = Behaviour::Never;
        m_site.setRoute(pageHost, pagePath, never);
        Response quick;
        quick.body = QByteArrayLiteral("<html>quick</html>");
        m_site.setRoute(pageHost, QStringLiteral("/media/1"), quick);

        int ticks = 0;
        int nestedOk = 0;
        QTimer timer;
        timer.setInterval(50);
        connect(&timer, &QTimer::timeout, this, [&] {
            ++ticks;
            if (ticks == 3) {
                const Web::BodyResult nested = Web::GetBody(QStringLiteral("http://www.meipai.com/media/1"));
                if (nested.text && nested.text->contains(QStringLiteral("quick")))
                    ++nestedOk;
            }
        });
        timer.start();

        QElapsedTimer clock;
        clock.start();
        const Web::BodyResult r = Web::GetBody(pageUrl);
        const qint64 ms = clock.elapsed();
        timer.stop();

        QVERIFY(!r.text.has_value());
        QCOMPARE(r.raw.error, Web::FetchError::Timeout);
        QVERIFY(!r.raw.errorString.isEmpty());
        QVERIFY2(ms >= timeLimitSeconds * 1000 - 200, qPrintable(QString::number(ms)));
        QVERIFY2(ms < hangMs, qPrintable(QString::number(ms)));
        QVERIFY2(ticks >= 10, qPrintable(QString::number(ticks)));
        QCOMPARE(nestedOk, 1);
    }

    // A server that keeps the connection busy with a byte every half second defeats an
    // inactivity limit; every kind of request must still end at the time limit.
    void tricklingServer_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("page") << QStringLiteral("page");
        QTest::newRow("plain fetch (pictures, index)") << QStringLiteral("fetch");
        QTest::newRow("file") << QStringLiteral("file");
        QTest::newRow("status probe, body trickled") << QStringLiteral("probe");
    }

    void tricklingServer()
    {
        QFETCH(QString, kind);
        Response drip;
        drip.body = QByteArray(400, 'x');
        drip.behaviour = Behaviour::Slow;
        drip.slowDelayMs = 500;
        drip.slowChunkBytes = 1;
        m_site.setRoute(pageHost, pagePath, drip);
        QTemporaryDir dir;
        QVERIFY(dir.isValid());
        const QString file = dir.filePath(QStringLiteral("face"));

        QElapsedTimer clock;
        clock.start();
        bool failed = false;
        Web::FetchError error = Web::FetchError::None;
        if (kind == u"page") {
            const Web::BodyResult r = Web::GetBody(pageUrl);
            failed = !r.text;
            error = r.raw.error;
        } else if (kind == u"fetch") {
            const Web::FetchResult r = Web::fetch(pageUrl, {});
            failed = !r.ok();
            error = r.error;
            QVERIFY(r.body.isEmpty());
        } else if (kind == u"file") {
            const Web::FileFetchResult r = Web::fetchToFile(pageUrl, file);
            failed = !r.ok;
            error = r.error.startsWith(QLatin1String("No answer within")) ? Web::FetchError::Timeout
                                                                          : Web::FetchError::Network;
            QVERIFY(!QFile::exists(file));
        } else {
            // The status arrives at once: nothing of the body is waited for.
            Web::FetchOptions statusOnly;
            statusOnly.statusOnly = true;
            const Web::FetchResult r = Web::fetch(pageUrl, statusOnly);
            QVERIFY2(r.ok(), qPrintable(r.errorString));
            QCOMPARE(r.httpStatus, 200);
            QVERIFY2(clock.elapsed() < timeLimitSeconds * 1000, qPrintable(QString::number(clock.elapsed())));
            return;
        }
        const qint64 ms = clock.elapsed();
        QVERIFY(failed);
        QCOMPARE(error, Web::FetchError::Timeout);
        QVERIFY2(ms >= timeLimitSeconds * 1000 - 200, qPrintable(QString::number(ms)));
        QVERIFY2(ms < timeLimitSeconds * 1000 + 3000, qPrintable(QString::number(ms)));
    }
};

QTEST_GUILESS_MAIN(TestFetchTimeouts)
#include "test_fetch_timeouts.moc"
