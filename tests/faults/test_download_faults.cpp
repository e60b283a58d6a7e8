#include "demo/loopbacksite.h"
#include "download/downloader.h"
#include "support/testos.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>


using Demo::Response;

namespace {

const QString pageAddress = QStringLiteral("http://www.meipai.com/media/4242");
const QString videoHost = QStringLiteral("media.faults.example");
const QString videoPath = QStringLiteral("/clip/movie.mp4");
const QString videoAddress = QStringLiteral("http://media.faults.example/clip/movie.mp4");

QByteArray page()
{
    return QStringLiteral("<html><head><title>测试作者的视频 一段描述</title></head><body>"
                          "<div class=\"player\" data-video=\"%1\"></div>"
                          "<span class=\"date\">2015-06-01</span></body></html>")
        .arg(videoAddress)
        .toUtf8();
}

// Deterministic bytes that no off-by-one can turn into each other.
QByteArray source(qsizetype size)
{
    QByteArray b(size, Qt::Uninitialized);
    QRandomGenerator gen(20150601);
    for (qsizetype i = 0; i < size; ++i)
        b[i] = char(gen.bounded(256));
    return b;
}

QByteArray readAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class TestDownloadFaults final : public QObject
{
    Q_OBJECT

    Demo::LoopbackSite m_site;
    QByteArray m_source;
    QString m_fileName;

    void serveVideo(Response::Behaviour behaviour, int slowDelayMs = 20)
    {
        Response video;
        video.contentType = "video/mp4";
        video.body = m_source;
        video.behaviour = behaviour;
        video.slowDelayMs = slowDelayMs;
        m_site.setRoute(videoHost, videoPath, video);
    }

    void prepare(QProcess &proc, const QString &dir, const QString &configHome)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"http_proxy", "https_proxy", "HTTP_PROXY", "HTTPS_PROXY", "all_proxy", "ALL_PROXY"})
            env.remove(QString::fromLatin1(name));
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), configHome);
        // The runs of one case share what downloads wrote where, as one user's runs do.
        env.insert(QStringLiteral("XDG_CACHE_HOME"), configHome + QStringLiteral("/cache"));
        proc.setProcessEnvironment(env);
        proc.setProgram(QStringLiteral(ZAVLEN_GET_PATH));
        proc.setArguments({QStringLiteral("--download"), QStringLiteral("-o"), dir, QStringLiteral("--proxy"),
                           m_site.proxyUrl(), QStringLiteral("--timeout"), QStringLiteral("10"), pageAddress});
    }

    // Runs the tool with the server's event loop alive; counts the moments at which a file
    // stood under the final name without being the whole source.
    bool run(QProcess &proc, const QString &finalPath, int killAfterMs, int &earlySightings)
    {
        QSignalSpy finished(&proc, &QProcess::finished);
        QTimer watch;
        watch.setInterval(5);
        connect(&watch, &QTimer::timeout, this, [&] {
            if (QFile::exists(finalPath) && readAll(finalPath) != m_source)
                ++earlySightings;
        });
        watch.start();
        if (killAfterMs > 0)
            QTimer::singleShot(killAfterMs, &proc, [&proc] { proc.kill(); });
        proc.start();
        if (!proc.waitForStarted(10000))
            return false;
        const bool done = finished.wait(60000);
        watch.stop();
        return done;
    }

private Q_SLOTS:
    void initTestCase()
    {
        qunsetenv("http_proxy");
        QVERIFY(QFile::exists(QStringLiteral(ZAVLEN_GET_PATH)));
        QVERIFY(m_site.listen());
        Response p;
        p.body = page();
        m_site.setRoute(QStringLiteral("www.meipai.com"), QStringLiteral("/media/4242"), p);
        m_source = source(96 * 1024);
        m_fileName = Download::safeFileName(videoAddress);
        QVERIFY(!m_fileName.isEmpty());
    }

    void killedAndRestarted_data()
    {
        QTest::addColumn<int>("kills");
        QTest::addColumn<int>("minMs");
        QTest::addColumn<int>("maxMs");
        QTest::newRow("early") << 1 << 50 << 400;
        QTest::newRow("anywhere") << 1 << 50 << 2500;
        QTest::newRow("twice") << 2 << 100 << 1500;
    }

    void killedAndRestarted()
    {
        QFETCH(int, kills);
        QFETCH(int, minMs);
        QFETCH(int, maxMs);
        QTemporaryDir dir;
        QTemporaryDir config;
        QVERIFY(dir.isValid() && config.isValid());
        const QString finalPath = dir.filePath(m_fileName);
        const QString partPath = finalPath + QStringLiteral(".part");
        const quint32 seed = QRandomGenerator::global()->generate();
        QRandomGenerator gen(seed);
        qInfo("random seed %u", seed);

        serveVideo(Response::Behaviour::Slow);
        int early = 0;
        for (int k = 0; k < kills; ++k) {
            QProcess proc;
            prepare(proc, dir.path(), config.path());
            const int delay = int(gen.bounded(minMs, maxMs + 1));
            QVERIFY(run(proc, finalPath, delay, early));
            // The drip lasts seconds longer than any kill window: the kill always lands mid-way.
            QVERIFY2(proc.exitStatus() == QProcess::CrashExit,
                     qPrintable(QStringLiteral("ended by itself with %1 before the kill at %2 ms: %3")
                                    .arg(proc.exitCode())
                                    .arg(delay)
                                    .arg(QString::fromUtf8(proc.readAllStandardError()))));
            QVERIFY2(!QFile::exists(finalPath), qPrintable(QStringLiteral("final file after a kill at %1 ms").arg(delay)));
            // Whatever is kept is the start of the file, nothing else.
            const QByteArray part = readAll(partPath);
            QVERIFY(part.size() < m_source.size());
            QVERIFY(m_source.startsWith(part));
            qInfo("killed after %d ms with %lld bytes kept", delay, qint64(part.size()));
        }
        const qint64 kept = QFileInfo(partPath).size();

        serveVideo(Response::Behaviour::Normal);
        const int before = m_site.requestCount();
        QProcess proc;
        prepare(proc, dir.path(), config.path());
        QVERIFY(run(proc, finalPath, 0, early));
        QCOMPARE(proc.exitStatus(), QProcess::NormalExit);
        QVERIFY2(proc.exitCode() == 0, proc.readAllStandardError().constData());
        QCOMPARE(early, 0);
        QVERIFY(readAll(finalPath) == m_source);
        QVERIFY(!QFile::exists(partPath));
        QCOMPARE(QDir(dir.path()).entryList(QDir::Files), QStringList{m_fileName});

        if (kept > 0) {
            bool ranged = false;
            const QList<Demo::Request> reqs = m_site.requests().mid(before);
            for (const Demo::Request &r : reqs) {
                if (r.host == videoHost && r.headers.value("range") == "bytes=" + QByteArray::number(kept) + '-')
                    ranged = true;
            }
            QVERIFY2(ranged, "the restart did not continue the kept part");
        }
    }

    // A file-size limit stands in for a full disk: the write fails with EFBIG instead of a signal.
    void fullDisk_data()
    {
        QTest::addColumn<qint64>("limit");
        QTest::newRow("nothing fits") << qint64(0);
        QTest::newRow("one byte fits") << qint64(1);
        QTest::newRow("a few kilobytes fit") << qint64(20 * 1024);
        QTest::newRow("all but the last byte fits") << qint64(96 * 1024 - 1);
    }

    void fullDisk()
    {
        QFETCH(qint64, limit);
        QTemporaryDir dir;
        QTemporaryDir config;
        QVERIFY(dir.isValid() && config.isValid());
        const QString finalPath = dir.filePath(m_fileName);
        const QString partPath = finalPath + QStringLiteral(".part");
        serveVideo(Response::Behaviour::Normal);

        QProcess proc;
        prepare(proc, dir.path(), config.path());
        if (!TestSupport::limitFileSize(proc, limit))
            QSKIP("this system cannot make a full disk for one program");
        int early = 0;
        QVERIFY(run(proc, finalPath, 0, early));
        QCOMPARE(proc.exitStatus(), QProcess::NormalExit);
        QCOMPARE(proc.exitCode(), 1);
        QVERIFY(!QFile::exists(finalPath));
        // The message names the file whose writing failed.
        const QString err = QString::fromUtf8(proc.readAllStandardError());
        QVERIFY2(err.contains(QStringLiteral("无法写入文件 ") + QDir::toNativeSeparators(partPath)), qPrintable(err));
        // What was written is kept for a later resume, unless the lookup cache, which the same limit
        // stops too, could not remember whose it is; an empty ".part" need not be kept.
        QVERIFY(limit > 0 || !QFile::exists(partPath));
        QVERIFY2(QFile::exists(partPath) || limit == 0 || err.contains(QStringLiteral("lookup cache")), qPrintable(err));
        const QByteArray part = readAll(partPath);
        QVERIFY(part.size() <= limit);
        QVERIFY(m_source.startsWith(part));

        // With room again, the same command finishes the file.
        QProcess again;
        prepare(again, dir.path(), config.path());
        QVERIFY(run(again, finalPath, 0, early));
        QCOMPARE(again.exitCode(), 0);
        QCOMPARE(early, 0);
        QVERIFY(readAll(finalPath) == m_source);
        QVERIFY(!QFile::exists(partPath));
    }
};

QTEST_GUILESS_MAIN(TestDownloadFaults)
#include "test_download_faults.moc"
