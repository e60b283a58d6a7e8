#include "config/settings.h"
#include "demo/loopbacksite.h"
#include "download/downloader.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUrl>

using Demo::Response;

namespace {

struct Run
{
    int code = -1;
    bool finished = false;
    QByteArray out;
    QString err;
};

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

Response video(qint64 size, qint64 seed = 0)
{
    Response r;
    r.contentType = "video/mp4";
    r.body = Demo::LoopbackSite::generatedBytes(seed, size);
    return r;
}

} // namespace

// zavlen-get --download against pages whose video addresses need more care than a plain name.
class TestCliDownload final : public QObject
{
    Q_OBJECT

    Demo::LoopbackSite m_site;
    Config::Settings m_settings;
    QTemporaryDir m_home;
    int m_nextPage = 700001;

    Run run(const QStringList &pages, const QString &outputDir, int jobs = 1)
    {
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy", "ALL_PROXY",
                                 "no_proxy", "NO_PROXY"})
            env.remove(QLatin1String(name));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home.filePath(QStringLiteral("config")));
        // Where downloads are remembered: the test's own, never the user's.
        env.insert(QStringLiteral("XDG_CACHE_HOME"), m_home.filePath(QStringLiteral("cache")));
        p.setProcessEnvironment(env);
        const QStringList args = QStringList{QStringLiteral("--proxy"), m_site.proxyUrl(), QStringLiteral("--timeout"),
                                             QStringLiteral("5"), QStringLiteral("--jobs"), QString::number(jobs),
                                             QStringLiteral("-d"), QStringLiteral("-o"), outputDir}
                                 + pages;
        QSignalSpy done(&p, &QProcess::finished);
        p.start(QStringLiteral(ZAVLEN_GET_PATH), args);
        p.closeWriteChannel();
        Run r;
        // The site answers on this thread: wait with the event loop running.
        r.finished = done.wait(30000);
        if (!r.finished) {
            p.kill();
            p.waitForFinished();
        }
        r.code = p.exitCode();
        r.out = p.readAllStandardOutput();
        r.err = QString::fromUtf8(p.readAllStandardError());
        return r;
    }

    // A Meipai page naming `videoAddress`; returns the page's address.
    QString addPage(const QString &videoAddress)
    {
        const QString path = QStringLiteral("/media/%1").arg(m_nextPage++);
        Response page;
        page.body = QStringLiteral("<html><head><title>测试作者的视频 一段描述</title></head><body>"
                                   "<div class=\"player\" data-video=\"%1\"></div>"
                                   "<span class=\"date\">2016-05-01</span></body></html>")
                        .arg(videoAddress)
                        .toUtf8();
        m_site.setRoute(m_settings.services.meipai.host, path, page);
        return QStringLiteral("http://") + m_settings.services.meipai.host + path;
    }

    static QStringList files(const QString &dir) { return QDir(dir).entryList(QDir::Files, QDir::Name); }

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(QFile::exists(QStringLiteral(ZAVLEN_GET_PATH)));
        QVERIFY(m_home.isValid());
        QVERIFY(m_site.listen());
        m_settings.network.proxy = m_site.proxyUrl();
    }

    void redirectedVideo()
    {
        QTemporaryDir out;
        QVERIFY(out.isValid());
        m_site.setRoute(QStringLiteral("mvvideo1.meipai.com"), QStringLiteral("/moved/clip.mp4"),
                        Response::redirect("http://cdn.meipai.com/store/final.mp4"));
        m_site.setRoute(QStringLiteral("cdn.meipai.com"), QStringLiteral("/store/final.mp4"), video(70000));
        const Run r = run({addPage(QStringLiteral("http://mvvideo1.meipai.com/moved/clip.mp4"))}, out.path());
        QVERIFY(r.finished);
        QVERIFY2(r.code == 0, qPrintable(r.err));
        QVERIFY2(r.err.contains(QStringLiteral("saved")), qPrintable(r.err));
        QCOMPARE(files(out.path()), QStringList{QStringLiteral("clip.mp4")});
        QCOMPARE(readAll(out.filePath(QStringLiteral("clip.mp4"))), Demo::LoopbackSite::generatedBytes(0, 70000));
    }

    // One video named like the other's unfinished file: each keeps its own bytes, in either order.
    void partNamesInOneBatch_data()
    {
        QTest::addColumn<bool>("partFirst");
        QTest::addColumn<int>("jobs");
        QTest::newRow("plain name first") << false << 1;
        QTest::newRow("part name first") << true << 1;
        QTest::newRow("plain name first, two at once") << false << 2;
        QTest::newRow("part name first, two at once") << true << 2;
    }

    void partNamesInOneBatch()
    {
        QFETCH(bool, partFirst);
        QFETCH(int, jobs);
        QTemporaryDir out;
        QVERIFY(out.isValid());
        const QString host = QStringLiteral("mvvideo2.meipai.com");
        Response plain = video(150000, 0);
        Response part = video(90000, 7777777);
        plain.behaviour = part.behaviour = Response::Behaviour::Slow;
        plain.slowDelayMs = part.slowDelayMs = 2;
        m_site.setRoute(host, QStringLiteral("/a/zvx.mp4"), plain);
        m_site.setRoute(host, QStringLiteral("/b/zvx.mp4.part"), part);
        const QString plainPage = addPage(QStringLiteral("http://mvvideo2.meipai.com/a/zvx.mp4"));
        const QString partPage = addPage(QStringLiteral("http://mvvideo2.meipai.com/b/zvx.mp4.part"));
        const QStringList pages = partFirst ? QStringList{partPage, plainPage} : QStringList{plainPage, partPage};

        const Run r = run(pages, out.path(), jobs);
        QVERIFY(r.finished);
        QVERIFY2(r.code == 0, qPrintable(r.err));
        QCOMPARE(r.err.count(QStringLiteral(": saved ")), 2);
        QVERIFY2(!r.err.contains(QStringLiteral("skipped")), qPrintable(r.err));
        QCOMPARE(files(out.path()), (QStringList{QStringLiteral("zvx (2).mp4"), QStringLiteral("zvx.mp4")}));
        const QString first = out.filePath(QStringLiteral("zvx.mp4"));
        const QString second = out.filePath(QStringLiteral("zvx (2).mp4"));
        QCOMPARE(readAll(partFirst ? first : second), part.body);
        QCOMPARE(readAll(partFirst ? second : first), plain.body);
        QVERIFY2(r.err.contains(QDir::toNativeSeparators(first)) && r.err.contains(QDir::toNativeSeparators(second)),
                 qPrintable(r.err));
    }

    // 120 Chinese characters are 360 bytes; the file system takes 255.
    void longChineseNames()
    {
        QTemporaryDir out;
        QVERIFY(out.isValid());
        const QString wide = QString(120, QChar(0x89C6));
        const QString encoded = QString::fromLatin1(QUrl::toPercentEncoding(wide)) + QStringLiteral(".mp4");
        const QString host = QStringLiteral("mvvideo3.meipai.com");
        m_site.setRoute(host, QStringLiteral("/a/") + encoded, video(40000, 1));
        m_site.setRoute(host, QStringLiteral("/b/") + encoded, video(30000, 2));
        const QStringList pages{addPage(QStringLiteral("http://%1/a/%2").arg(host, encoded)),
                                addPage(QStringLiteral("http://%1/b/%2").arg(host, encoded))};

        const Run r = run(pages, out.path());
        QVERIFY(r.finished);
        QVERIFY2(r.code == 0, qPrintable(r.err));
        const QStringList names = files(out.path());
        QCOMPARE(names.size(), 2);
        const QString first = Download::safeFileName(QStringLiteral("http://h/") + encoded);
        QCOMPARE(names, (QStringList{Download::numberedName(first, 2), first}));
        for (const QString &name : names) {
            QVERIFY(name.startsWith(QString(40, QChar(0x89C6))));
            QVERIFY(QFile::encodeName(name + Download::partSuffix).size() <= Download::maxFileNameBytes);
        }
        QCOMPARE(readAll(out.filePath(first)), Demo::LoopbackSite::generatedBytes(1, 40000));
        QCOMPARE(readAll(out.filePath(Download::numberedName(first, 2))), Demo::LoopbackSite::generatedBytes(2, 30000));
    }
};

QTEST_GUILESS_MAIN(TestCliDownload)
#include "test_cli_download.moc"
