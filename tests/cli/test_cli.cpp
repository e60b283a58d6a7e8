#include "clifixture.h"

#include "cli/batch.h"
#include "cli/jsonline.h"
#include "cli/options.h"
#include "cli/record.h"
#include "config/settings.h"
#include "demo/demosite.h"
#include "demo/loopbacksite.h"
#include "download/downloader.h"
#include "web/getbody.h"
#include "web/network.h"

#include <QDir>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRandomGenerator>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

using TestSupport::parseLine;
using TestSupport::Run;

class TestCli final : public TestSupport::CliFixture
{
    Q_OBJECT

    QString m_bareMeipai;   // a Meipai address whose page has none of the markers
    QString m_emptyMeipai;  // a Meipai address whose page is empty
    QString m_slowMeipai;   // the sample Meipai page, served slowly
    bool m_shortVideo = false;
    QString m_videoPath;
    QByteArray m_videoBytes;

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(startSite());

        const QString meipai = QStringLiteral("http://%1/media/").arg(m_settings.services.meipai.host);
        m_bareMeipai = meipai + QStringLiteral("500001");
        m_emptyMeipai = meipai + QStringLiteral("500002");
        m_slowMeipai = meipai + QStringLiteral("500003");
        Demo::Response bare;
        bare.body = "<html><body>这一页没有视频</body></html>";
        m_site.setRoute(m_settings.services.meipai.host, QStringLiteral("/media/500001"), bare);
        Demo::Response empty;
        empty.body.clear();
        m_site.setRoute(m_settings.services.meipai.host, QStringLiteral("/media/500002"), empty);
        for (const auto &p : m_pages) {
            if (p.first == Extract::Service::Meipai) {
                Demo::Response slow;
                slow.body = Web::fetch(p.second, {}).body;
                slow.behaviour = Demo::Response::Behaviour::Slow;
                slow.slowDelayMs = 150;
                m_site.setRoute(m_settings.services.meipai.host, QStringLiteral("/media/500003"), slow);
            }
        }
        m_site.setHandler([this](const Demo::Request &req) -> std::optional<Demo::Response> {
            if (!m_shortVideo || req.path != m_videoPath)
                return std::nullopt;
            Demo::Response r;
            r.contentType = "video/mp4";
            r.body = m_videoBytes;
            r.behaviour = Demo::Response::Behaviour::ShortBody;
            return r;
        });
    }

    void versionAndHelp()
    {
        Run r = run({QStringLiteral("--version")});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, QByteArray("zavlen-get " ZAVLEN_VERSION "\n"));
        r = run({QStringLiteral("--help")});
        QCOMPARE(r.code, 0);
        for (const char *option : {"--site", "--json", "--batch-file", "--jobs", "--download", "--output", "--proxy",
                                   "--config", "--timeout", "--quiet"})
            QVERIFY2(r.out.contains(option), option);
    }

    void usageErrors_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::newRow("unknown option") << QStringList{QStringLiteral("--frobnicate"), QStringLiteral("x")};
        QTest::newRow("no address") << QStringList{QStringLiteral("--json")};
        QTest::newRow("jobs zero") << QStringList{QStringLiteral("-J"), QStringLiteral("0"), QStringLiteral("x")};
        QTest::newRow("jobs not a number") << QStringList{QStringLiteral("--jobs=lots"), QStringLiteral("x")};
        QTest::newRow("unknown site") << QStringList{QStringLiteral("--site"), QStringLiteral("vimeo"),
                                                     QStringLiteral("x")};
        QTest::newRow("missing batch file") << QStringList{QStringLiteral("-a"), QStringLiteral("/nonexistent/list")};
        QTest::newRow("missing config") << QStringList{QStringLiteral("--config"), QStringLiteral("/nonexistent/c.ini"),
                                                       QStringLiteral("x")};
    }

    void usageErrors()
    {
        QFETCH(QStringList, args);
        const Run r = run(args);
        QVERIFY(r.finished);
        QCOMPARE(r.status, QProcess::NormalExit);
        QCOMPARE(r.code, 2);
        QVERIFY(r.out.isEmpty());
        QVERIFY2(r.err.startsWith("zavlen-get: "), r.err.constData());
    }

    void perService_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("site");
        for (const auto &p : m_pages) {
            const QString key = Extract::serviceKey(p.first);
            QTest::newRow(qPrintable(key)) << p.second << key << key;
            QTest::newRow(qPrintable(key + QStringLiteral(" auto"))) << p.second << key << QStringLiteral("auto");
        }
    }

    void perService()
    {
        QFETCH(QString, address);
        QFETCH(QString, key);
        QFETCH(QString, site);
        const Cli::Record want = expected(address, Extract::serviceFromKey(key));
        QVERIFY(want.ok());
        QVERIFY(want.info.video.startsWith(QLatin1String("http")));

        Run r = run({QStringLiteral("-s"), site, address});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, want.info.video.toUtf8() + '\n');
        QVERIFY2(r.err.isEmpty(), r.err.constData());

        r = run({QStringLiteral("--site"), site, QStringLiteral("--json"), address});
        QCOMPARE(r.code, 0);
        QCOMPARE(r.lines().size(), 1);
        QVERIFY2(!r.out.contains("\\u"), r.out.constData());
        const QJsonObject o = parseLine(r.lines().first());
        QCOMPARE(o.value(QStringLiteral("address")).toString(), address);
        QCOMPARE(o.value(QStringLiteral("site")).toString(), key);
        QCOMPARE(o.value(QStringLiteral("ok")).toBool(), true);
        QCOMPARE(o.value(QStringLiteral("video")).toString(), want.info.video);
        QCOMPARE(o.value(QStringLiteral("cover")).toString(), want.info.cover);
        QCOMPARE(o.value(QStringLiteral("avatar")).toString(), want.info.avatar);
        QCOMPARE(o.value(QStringLiteral("author")).toString(), want.info.author);
        QCOMPARE(o.value(QStringLiteral("description")).toString(), want.info.description);
        QCOMPARE(o.value(QStringLiteral("date")).toString(), want.info.date);
        QCOMPARE(o.value(QStringLiteral("verified")).toBool(), want.info.verified);
        QVERIFY(o.value(QStringLiteral("error")).isNull());
        QVERIFY(!want.info.author.isEmpty());
        QVERIFY(r.out.contains(want.info.author.toUtf8()));
    }

    void failures_data()
    {
        QTest::addColumn<QString>("address");
        QTest::addColumn<QString>("site");
        QTest::addColumn<QString>("error");
        QTest::addColumn<QString>("jsonSite");
        const QString weishi = m_pages.first().second;
        QTest::newRow("auto, no service") << QStringLiteral("http://example.org/v/1") << QStringLiteral("auto")
                                          << Cli::errorUnknownService << QString();
        QTest::newRow("auto, empty address") << QString() << QStringLiteral("auto") << Cli::errorUnknownService
                                             << QString();
        QTest::newRow("weishi, empty address")
            << QString() << QStringLiteral("weishi")
            << Extract::checkAddress(Extract::Service::Weishi, QString(), m_settings).value_or(QString())
            << QStringLiteral("weishi");
        QTest::newRow("meipai, wrong service")
            << weishi << QStringLiteral("meipai")
            << Extract::checkAddress(Extract::Service::Meipai, weishi, m_settings).value_or(QString())
            << QStringLiteral("meipai");
        QTest::newRow("no scheme") << m_bareMeipai.mid(7) << QStringLiteral("meipai")
                                   << QStringLiteral("请在网之前加入http://") << QStringLiteral("meipai");
        QTest::newRow("page without markers") << m_bareMeipai << QStringLiteral("auto") << Extract::statusNoVideo
                                              << QStringLiteral("meipai");
        QTest::newRow("empty page") << m_emptyMeipai << QStringLiteral("meipai") << Extract::statusFetchFailed
                                    << QStringLiteral("meipai");
    }

    void failures()
    {
        QFETCH(QString, address);
        QFETCH(QString, site);
        QFETCH(QString, error);
        QFETCH(QString, jsonSite);
        QVERIFY(!error.isEmpty());
        // The live road's own failures: the web archive is not asked.
        const QString noArchive = QStringLiteral("--archive=off");
        Run r = run({noArchive, QStringLiteral("-s"), site, address});
        QCOMPARE(r.code, 1);
        QCOMPARE(r.out, QByteArray("\n"));
        QVERIFY2(r.err.contains(error.toUtf8()), r.err.constData());

        r = run({noArchive, QStringLiteral("-s"), site, QStringLiteral("-j"), address});
        QCOMPARE(r.code, 1);
        const QJsonObject o = parseLine(r.out);
        QCOMPARE(o.value(QStringLiteral("ok")).toBool(true), false);
        QCOMPARE(o.value(QStringLiteral("error")).toString(), error);
        QCOMPARE(o.value(QStringLiteral("video")).toString(QStringLiteral("missing")), QString());
        if (jsonSite.isEmpty())
            QVERIFY(o.value(QStringLiteral("site")).isNull());
        else
            QCOMPARE(o.value(QStringLiteral("site")).toString(), jsonSite);
    }

    void batch_data()
    {
        QTest::addColumn<bool>("fromStdin");
        QTest::addColumn<bool>("json");
        QTest::newRow("file, plain") << false << false;
        QTest::newRow("file, json") << false << true;
        QTest::newRow("stdin, plain") << true << false;
        QTest::newRow("stdin, json") << true << true;
    }

    void batch()
    {
        QFETCH(bool, fromStdin);
        QFETCH(bool, json);
        const QStringList good = pageAddresses();
        // A good page right before a bad one: nothing of it may show up in the bad one's record.
        const QStringList order{good[0], QStringLiteral("www.meipai.com/media/1"), good[1], m_bareMeipai,
                                good[2], good[3], m_bareMeipai};
        QByteArray list = "# sample pages\r\n\r\n";
        for (const QString &a : order)
            list += "  " + a.toUtf8() + "\r\n\n";

        QStringList args{QStringLiteral("-a")};
        if (fromStdin) {
            args << QStringLiteral("-");
        } else {
            const QString file = m_home.filePath(QStringLiteral("batch.txt"));
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(list);
            f.close();
            args << file;
        }
        if (json)
            args << QStringLiteral("--json");
        const Run r = run(args, fromStdin ? list : QByteArray());
        QCOMPARE(r.code, 1);
        const QList<QByteArray> lines = r.lines();
        QCOMPARE(lines.size(), order.size());
        for (int i = 0; i < order.size(); ++i) {
            const Cli::Record want = expected(order[i]);
            if (!json) {
                QCOMPARE(lines[i], want.ok() ? want.info.video.toUtf8() : QByteArray());
                continue;
            }
            const QJsonObject o = parseLine(lines[i]);
            QCOMPARE(o.value(QStringLiteral("address")).toString(), order[i]);
            QCOMPARE(o.value(QStringLiteral("ok")).toBool(), want.ok());
            QCOMPARE(o.value(QStringLiteral("video")).toString(), want.info.video);
            QCOMPARE(o.value(QStringLiteral("author")).toString(), want.info.author);
            QCOMPARE(o.value(QStringLiteral("cover")).toString(), want.info.cover);
        }
        if (json) {
            const QJsonObject bare = parseLine(lines[3]);
            const QJsonObject before = parseLine(lines[2]);
            for (const char *key : {"video", "cover", "author", "description", "date", "avatar"}) {
                const QString k = QLatin1String(key);
                QVERIFY2(bare.value(k).toString().isEmpty() || bare.value(k) != before.value(k), key);
            }
        }
    }

    void commandLineBeforeBatch()
    {
        const QStringList pages = pageAddresses();
        const Run r = run({QStringLiteral("-a"), QStringLiteral("-"), pages[3], pages[2]}, pages[0].toUtf8());
        QCOMPARE(r.code, 0);
        QCOMPARE(r.lines(), (QList<QByteArray>{expected(pages[3]).info.video.toUtf8(), expected(pages[2]).info.video.toUtf8(),
                                               expected(pages[0]).info.video.toUtf8()}));
    }

    void jobsKeepOrder_data()
    {
        QTest::addColumn<bool>("json");
        QTest::newRow("plain") << false;
        QTest::newRow("json") << true;
    }

    void jobsKeepOrder()
    {
        QFETCH(bool, json);
        // The slow page first, so that later addresses finish before it when several run at once.
        QStringList order{m_slowMeipai};
        order += pageAddresses();
        order << QStringLiteral("not an address") << m_bareMeipai;
        order += pageAddresses();
        QByteArray list;
        for (const QString &a : order)
            list += a.toUtf8() + '\n';
        QStringList args{QStringLiteral("-a"), QStringLiteral("-")};
        if (json)
            args << QStringLiteral("-j");

        const Run one = run(args + QStringList{QStringLiteral("--jobs"), QStringLiteral("1")}, list);
        const Run four = run(args + QStringList{QStringLiteral("--jobs"), QStringLiteral("4")}, list);
        QCOMPARE(one.code, 1);
        QCOMPARE(four.code, 1);
        QCOMPARE(four.lines().size(), order.size());
        QCOMPARE(four.out, one.out);
        for (int i = 0; i < order.size(); ++i) {
            const Cli::Record want = expected(order[i]);
            const QByteArray video = json ? parseLine(four.lines()[i]).value(QStringLiteral("video")).toString().toUtf8()
                                          : four.lines()[i];
            QCOMPARE(video, want.info.video.toUtf8());
        }
    }

    void downloadCompletes()
    {
        QTemporaryDir out;
        QVERIFY(out.isValid());
        const Cli::Record want = expected(m_pages.at(1).second);
        QVERIFY(want.ok());
        const Web::FetchResult served = Web::fetch(want.info.video, {});
        QVERIFY(served.ok());
        QVERIFY(!served.body.isEmpty());

        const QStringList args{QStringLiteral("-d"), QStringLiteral("-o"), out.path(), m_pages.at(1).second};
        // One user's runs: they share what downloads wrote where.
        m_cacheHome = m_home.filePath(QStringLiteral("cache-completes"));
        const auto ownCache = qScopeGuard([this] { m_cacheHome.clear(); });
        Run r = run(args);
        QCOMPARE(r.code, 0);
        QCOMPARE(r.out, want.info.video.toUtf8() + '\n');
        const QString target = QDir(out.path()).filePath(Download::safeFileName(want.info.video));
        QFile file(target);
        QVERIFY2(file.open(QIODevice::ReadOnly), qPrintable(target));
        QCOMPARE(file.readAll(), served.body);
        file.close();
        QVERIFY(!QFile::exists(target + QStringLiteral(".part")));

        // A second run leaves the complete file alone.
        r = run(args);
        QCOMPARE(r.code, 0);
        QVERIFY2(r.err.contains("already downloaded"), r.err.constData());
        QCOMPARE(QDir(out.path()).entryList(QDir::Files).size(), 1);
    }

    void downloadResumes()
    {
        QTemporaryDir out;
        QVERIFY(out.isValid());
        const QString page = m_pages.at(0).second;
        const Cli::Record want = expected(page);
        QVERIFY(want.ok());
        const QByteArray full = Web::fetch(want.info.video, {}).body;
        QVERIFY(full.size() > 2);
        m_videoBytes = full;
        const QUrl url(want.info.video);
        m_videoPath = url.path(QUrl::FullyEncoded);
        if (url.hasQuery())
            m_videoPath += u'?' + url.query(QUrl::FullyEncoded);
        const QString target = QDir(out.path()).filePath(Download::safeFileName(want.info.video));
        const QStringList args{QStringLiteral("--download"), QStringLiteral("--output"), out.path(), page};
        m_cacheHome = m_home.filePath(QStringLiteral("cache-resumes"));
        const auto ownCache = qScopeGuard([this] { m_cacheHome.clear(); });

        m_shortVideo = true;
        Run r = run(args);
        m_shortVideo = false;
        QCOMPARE(r.code, 1);
        QCOMPARE(r.out, want.info.video.toUtf8() + '\n');
        QVERIFY(!QFile::exists(target));
        const qint64 kept = QFileInfo(target + QStringLiteral(".part")).size();
        QVERIFY2(kept > 0 && kept < full.size(), qPrintable(QString::number(kept)));

        const int before = m_site.requestCount();
        r = run(args);
        QCOMPARE(r.code, 0);
        QFile file(target);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), full);
        QVERIFY(!QFile::exists(target + QStringLiteral(".part")));
        bool ranged = false;
        const QList<Demo::Request> seen = m_site.requests().mid(before);
        for (const Demo::Request &req : seen)
            ranged |= req.path == m_videoPath && req.headers.value("range") == "bytes=" + QByteArray::number(kept) + '-';
        QVERIFY(ranged);
    }

    // An inactivity limit never fires for a server that sends a byte every half second.
    void tricklingPageEndsAtTheTimeLimit()
    {
        Demo::Response drip;
        drip.body = QByteArray(400, ' ');
        drip.behaviour = Demo::Response::Behaviour::Slow;
        drip.slowDelayMs = 500;
        drip.slowChunkBytes = 1;
        m_site.setRoute(m_settings.services.meipai.host, QStringLiteral("/media/500004"), drip);
        const QString address = QStringLiteral("http://%1/media/500004").arg(m_settings.services.meipai.host);
        const Run r = run({QStringLiteral("--timeout"), QStringLiteral("2"), QStringLiteral("--archive"),
                           QStringLiteral("off"), QStringLiteral("-j"), address},
                          {}, 20000);
        QVERIFY(r.finished);
        QCOMPARE(r.code, 1);
        QCOMPARE(parseLine(r.out).value(QStringLiteral("error")).toString(), Extract::statusFetchFailed);
    }

    void badInput_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QByteArray>("input");
        QTest::addColumn<int>("lines");
        const QByteArray mb(1024 * 1024, 'x');
        QTest::newRow("1 MB line") << QStringList{QStringLiteral("-a"), QStringLiteral("-")} << mb << 1;
        QTest::newRow("1 MB Meipai address")
            << QStringList{QStringLiteral("-a"), QStringLiteral("-"), QStringLiteral("-j")}
            << QByteArray("http://www.meipai.com/media/" + QByteArray(1024 * 1024, '7')) << 1;
        QTest::newRow("100 KB argument") << QStringList{QString(100 * 1024, u'x')} << QByteArray() << 1;
        QTest::newRow("empty argument") << QStringList{QString()} << QByteArray() << 1;
        QTest::newRow("blank lines only") << QStringList{QStringLiteral("-a"), QStringLiteral("-")}
                                          << QByteArray("\n\n  \n# x\n") << 0;
        QByteArray binary(64 * 1024, '\0');
        QRandomGenerator gen(20160501);
        for (char &c : binary)
            c = char(gen.bounded(256));
        binary.replace('\n', '\x1b'); // escape sequences must not reach the terminal raw
        for (qsizetype i = 100; i < binary.size(); i += 4096)
            binary[i] = '\n';
        QTest::newRow("binary stdin") << QStringList{QStringLiteral("-a"), QStringLiteral("-")} << binary
                                      << int(Cli::batchLines(binary).size());
    }

    void badInput()
    {
        QFETCH(QStringList, args);
        QFETCH(QByteArray, input);
        QFETCH(int, lines);
        const Run r = run(args, input);
        QVERIFY(r.finished);
        QCOMPARE(r.status, QProcess::NormalExit);
        QCOMPARE(r.code, lines == 0 ? 0 : 1);
        QCOMPARE(r.out.count('\n'), lines);
        QVERIFY(!r.err.contains('\x1b'));
        QVERIFY(r.err.size() < 64 * 1024);
    }
};

QTEST_GUILESS_MAIN(TestCli)
#include "test_cli.moc"
