#include "clifixture.h"
#include "rescuesupport.h"
#include "demo/loopbackarchive.h"
#include "extract/road.h"
#include "web/archive.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>


using TestSupport::answer;
using TestSupport::meipaiPage;
using TestSupport::parseLine;

namespace {

const QString ownIndex = QStringLiteral("http://archive.test/cdx");
const QString ownReplay = QStringLiteral("http://archive.test/web/");

} // namespace

// Rescuing a list of lost pages: what the archive said is kept between runs, finished work is
// skipped, and a stopped run ends cleanly.
class TestCliRescue final : public TestSupport::CliFixture
{
    Q_OBJECT

    Demo::LoopbackArchive m_own{ownIndex, ownReplay};
    QTemporaryDir m_work;

    QStringList lostBatch(int count, int first)
    {
        QStringList addresses;
        for (int i = 0; i < count; ++i) {
            addresses << QStringLiteral("http://www.meipai.com/media/%1").arg(first + i);
            m_own.addCapture(addresses.last(), QStringLiteral("20150101000000"),
                             answer(meipaiPage(QStringLiteral("http://v.test/%1.mp4").arg(first + i))));
        }
        return addresses;
    }

    QStringList ownArchive(int indexPerMinute = 6000) const
    {
        return {QStringLiteral("--timeout"), QStringLiteral("5"), QStringLiteral("--set"),
                QStringLiteral("archive/cdx=") + ownIndex, QStringLiteral("--set"),
                QStringLiteral("archive/replay=") + ownReplay, QStringLiteral("--set"),
                QStringLiteral("archive/replayPerMinute=6000"), QStringLiteral("--set"),
                QStringLiteral("archive/indexPerMinute=%1").arg(indexPerMinute)};
    }


    // Makes every entry of the cache file look `days` older.
    static void age(const QString &cacheHome, int days)
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("ager"));
        db.setDatabaseName(cacheHome + QStringLiteral("/zavlen-video/lookups.sqlite"));
        QVERIFY(db.open());
        for (const char *table : {"lookups", "replays"})
            QVERIFY(QSqlQuery(db).exec(QStringLiteral("UPDATE %1 SET asked = asked - %2")
                                           .arg(QLatin1String(table))
                                           .arg(qint64(days) * 86400)));
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("ager"));
    }

private Q_SLOTS:
    void initTestCase()
    {
        Demo::useDemoSite(m_settings, QString());
        m_settings.archive.indexPerMinute = 6000;
        m_settings.archive.replayPerMinute = 6000;
        QVERIFY(startSite());
        QVERIFY(m_work.isValid());
        m_site.addHandler(m_own.handler());
    }

    void init()
    {
        m_own.clear();
        m_own.setIndexStatus(0);
        m_cacheHome.clear();
    }

    // A batch of lost pages run twice: what the second run (and one after it) asks the index.
    void cacheAcrossRuns_data()
    {
        QTest::addColumn<QStringList>("secondRun");
        QTest::addColumn<int>("ageDays");      // how much older the first run's entries are made
        QTest::addColumn<int>("firstStatus");  // of the index during the first run; 0: answers
        QTest::addColumn<int>("secondQueries"); // -1: as many as the addresses
        QTest::addColumn<int>("count");
        QTest::newRow("kept, 40 addresses") << QStringList() << 0 << 0 << 0 << 40;
        QTest::newRow("--refresh") << QStringList{QStringLiteral("--refresh")} << 0 << 0 << -1 << 5;
        QTest::newRow("--no-cache") << QStringList{QStringLiteral("--no-cache")} << 0 << 0 << -1 << 5;
        QTest::newRow("[cache] enabled=false")
            << QStringList{QStringLiteral("--set"), QStringLiteral("cache/enabled=false")} << 0 << 0 << -1 << 5;
        QTest::newRow("29 days old") << QStringList() << 29 << 0 << 0 << 5;
        QTest::newRow("expired") << QStringList() << 31 << 0 << -1 << 5;
        QTest::newRow("shorter maxAgeDays")
            << QStringList{QStringLiteral("--set"), QStringLiteral("cache/maxAgeDays=7")} << 8 << 0 << -1 << 5;
        QTest::newRow("429 is not kept") << QStringList() << 0 << 429 << -1 << 5;
        QTest::newRow("an error page is not kept") << QStringList() << 0 << 500 << -1 << 5;
    }

    void cacheAcrossRuns()
    {
        QFETCH(QStringList, secondRun);
        QFETCH(int, ageDays);
        QFETCH(int, firstStatus);
        QFETCH(int, secondQueries);
        QFETCH(int, count);
        if (secondQueries < 0)
            secondQueries = count;
        static int batch = 0;
        const QStringList addresses = lostBatch(count, 860000 + 100 * ++batch);
        m_cacheHome = m_work.filePath(QStringLiteral("cache-across-%1").arg(batch));

        m_own.setIndexStatus(firstStatus);
        const TestSupport::Run first = run(ownArchive() + QStringList{QStringLiteral("-j"), QStringLiteral("-J"),
                                                                      QStringLiteral("1")} + addresses);
        QCOMPARE(first.code, firstStatus ? 1 : 0);
        if (!firstStatus)
            QCOMPARE(m_own.indexQueries().size(), qsizetype(count));
        QVERIFY2(!first.err.contains("下次查询"), "no progress line on a pipe");
        m_own.setIndexStatus(0);
        if (ageDays)
            age(m_cacheHome, ageDays);
        const qsizetype asked = m_own.indexQueries().size();
        const qsizetype replays = m_own.replays().size();

        const TestSupport::Run second = run(ownArchive() + secondRun + QStringList{QStringLiteral("-j")} + addresses);
        QCOMPARE(second.code, 0);
        QCOMPARE(m_own.indexQueries().size() - asked, secondQueries);
        const QList<QByteArray> lines = second.lines();
        QCOMPARE(lines.size(), addresses.size());
        for (qsizetype i = 0; i < lines.size(); ++i) {
            const QJsonObject o = parseLine(lines[i]);
            QCOMPARE(o.value(QStringLiteral("video")).toString(), QStringLiteral("http://v.test/%1.mp4")
                                                                      .arg(addresses[i].section(u'/', -1)));
            QVERIFY(o.value(QStringLiteral("archived")).isObject());
        }
        // A capture found useful is replayed again for its page; one found useless is not.
        if (secondQueries == 0)
            QCOMPARE(m_own.replays().size() - replays, addresses.size());
    }

    void uselessCaptureIsNotReplayedAgain()
    {
        const QString address = QStringLiteral("http://www.meipai.com/media/869001");
        m_own.addCapture(address, QStringLiteral("20150101000000"), answer("<html>nothing here</html>"));
        m_own.addCapture(address, QStringLiteral("20160101000000"), answer(meipaiPage(QStringLiteral("http://v.test/x.mp4"))));
        m_cacheHome = m_work.filePath(QStringLiteral("cache-useless"));
        QCOMPARE(run(ownArchive() + QStringList{address}).code, 0);
        const qsizetype before = m_own.replays().size();
        QCOMPARE(run(ownArchive() + QStringList{address}).code, 0);
        for (const Demo::Request &replay : m_own.replays().mid(before))
            QVERIFY2(!replay.path.contains(u"20150101000000"), qPrintable(replay.path));
    }

    // Two processes of eight jobs each, on the same cache and the same addresses at once.
    void sharedByProcessesAndJobs()
    {
        const QStringList addresses = lostBatch(16, 870000);
        m_cacheHome = m_work.filePath(QStringLiteral("cache-shared"));
        QProcess a;
        QProcess b;
        QList<QProcess *> both{&a, &b};
        const QStringList args = ownArchive() + QStringList{QStringLiteral("-j"), QStringLiteral("-J"),
                                                            QStringLiteral("8"), QStringLiteral("--proxy"),
                                                            m_site.proxyUrl()} + addresses;
        for (QProcess *p : both) {
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert(QStringLiteral("XDG_CACHE_HOME"), m_cacheHome);
            env.insert(QStringLiteral("XDG_CONFIG_HOME"), m_home.filePath(QStringLiteral("config")));
            env.remove(QStringLiteral("http_proxy"));
            p->setProcessEnvironment(env);
            p->start(QStringLiteral(ZAVLEN_GET_PATH), args);
        }
        QTRY_VERIFY_WITH_TIMEOUT(a.state() == QProcess::NotRunning && b.state() == QProcess::NotRunning, 90000);
        for (QProcess *p : both) {
            const QByteArray err = p->readAllStandardError();
            QVERIFY2(p->exitCode() == 0 && !err.contains("lock"), err.constData());
            QCOMPARE(p->readAllStandardOutput().count('\n'), addresses.size());
        }
        const qsizetype asked = m_own.indexQueries().size();
        QVERIFY(asked >= addresses.size() && asked <= 2 * addresses.size());
        QCOMPARE(run(ownArchive() + addresses).code, 0);
        QCOMPARE(m_own.indexQueries().size(), asked);
    }

    // A cache that cannot be used costs a warning, never an address.
    void unusableCache_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QByteArray>("warning");
        QTest::newRow("corrupt file") << QStringLiteral("corrupt") << QByteArray("moved aside");
        QTest::newRow("folder is a file") << QStringLiteral("file") << QByteArray("going on without it");
        QTest::newRow("folder cannot be made") << QStringLiteral("proc") << QByteArray("going on without it");
        QTest::newRow("read-only folder") << QStringLiteral("readonly") << QByteArray("going on without it");
    }

    void unusableCache()
    {
        QFETCH(QString, kind);
        QFETCH(QByteArray, warning);
        m_cacheHome = m_work.filePath(QStringLiteral("cache-") + kind);
        const QString folder = m_cacheHome + QStringLiteral("/zavlen-video");
        if (kind == u"proc") {
            m_cacheHome = QStringLiteral("/proc/zavlen-no-such-folder");
        } else if (kind == u"file") {
            QVERIFY(QDir().mkpath(m_cacheHome));
            QFile f(folder);
            QVERIFY(f.open(QIODevice::WriteOnly));
        } else {
            QVERIFY(QDir().mkpath(folder));
            if (kind == u"corrupt") {
                QFile f(folder + QStringLiteral("/lookups.sqlite"));
                QVERIFY(f.open(QIODevice::WriteOnly));
                f.write(QByteArray(8192, '\x5a'));
            } else {
                if (!TestSupport::readOnlyHolds())
                    QSKIP("a read-only folder does not stop this process from writing into it");
                QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
            }
        }
        const QStringList addresses = lostBatch(3, 880000 + 10 * int(qHash(kind) % 1000));
        const TestSupport::Run r = run(ownArchive() + QStringList{QStringLiteral("-j")} + addresses);
        QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QVERIFY2(r.code == 0, r.err.constData());
        QCOMPARE(r.lines().size(), 3);
        QCOMPARE(r.err.count(warning), 1);
        if (kind == u"corrupt") {
            const QStringList aside = QDir(folder).entryList({QStringLiteral("lookups.sqlite.broken-*")});
            QCOMPARE(aside.size(), 1);
            QCOMPARE(QFileInfo(folder + u'/' + aside.first()).size(), 8192);
            // The fresh file works: the next run asks the index nothing.
            const qsizetype asked = m_own.indexQueries().size();
            QCOMPARE(run(ownArchive() + addresses).code, 0);
            QCOMPARE(m_own.indexQueries().size(), asked);
        }
    }

    // --download-archive: what it lists is skipped before any request, and downloads add to it.
    void downloadArchive_data()
    {
        QTest::addColumn<QByteArray>("before");   // the file's text; "-": no file
        QTest::addColumn<bool>("skipped");
        QTest::addColumn<QByteArray>("after");
        const QByteArray line = "meipai 642340001\n";
        QTest::newRow("listed") << QByteArray("kuaishou 1\n" + line) << true << QByteArray("kuaishou 1\n" + line);
        QTest::newRow("listed among lines that do not parse")
            << QByteArray("# mine\n\nnonsense\n" + line.trimmed()) << true << QByteArray("# mine\n\nnonsense\n" + line.trimmed());
        QTest::newRow("missing file") << QByteArray("-") << false << line;
        QTest::newRow("last line without its break") << QByteArray("weishi 5") << false << QByteArray("weishi 5\n" + line);
        QTest::newRow("another service's number") << QByteArray("miaopai 642340001\n") << false
                                                  << QByteArray("miaopai 642340001\n" + line);
        // A line over 64 KiB is one line that means nothing, however it is read.
        const QByteArray garbage = QByteArray(65535, 'x') + " meipai 642340001 tail\n";
        QTest::newRow("the identifier at the end of an over-long line") << garbage << false << garbage + line;
        const QByteArray longer = QByteArray(200000, 'y') + " meipai 642340001\nkuaishou 2\n";
        QTest::newRow("over-long line, then lines") << longer << false << longer + line;
        QTest::newRow("a line of exactly 64 KiB, then the line")
            << QByteArray(65536, 'z') + '\n' + line << true << QByteArray(65536, 'z') + '\n' + line;
    }

    void downloadArchive()
    {
        QFETCH(QByteArray, before);
        QFETCH(bool, skipped);
        QFETCH(QByteArray, after);
        QTemporaryDir out;
        QVERIFY(out.isValid());
        const QString listFile = out.filePath(QStringLiteral("done.txt"));
        if (before != "-") {
            QFile f(listFile);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(before);
        }
        const QString address = QStringLiteral("http://www.meipai.com/media/642340001");
        m_site.setRoute(QStringLiteral("www.meipai.com"), QStringLiteral("/media/642340001"),
                        answer(meipaiPage(QStringLiteral("http://mvvideo.test/642340001.mp4"))));
        m_site.setRoute(QStringLiteral("mvvideo.test"), QStringLiteral("/642340001.mp4"), answer("bytes", "video/mp4"));
        const qsizetype requests = m_site.requests().size();
        const TestSupport::Run r = run({QStringLiteral("-j"), QStringLiteral("-d"), QStringLiteral("-o"), out.path(),
                                        QStringLiteral("--download-archive"), listFile, address});
        QVERIFY2(r.code == 0, r.err.constData());
        const QJsonObject o = parseLine(r.out);
        QCOMPARE(o.value(QStringLiteral("ok")).toBool(), true);
        QCOMPARE(o.value(QStringLiteral("skipped")).toBool(), skipped);
        QCOMPARE(o.value(QStringLiteral("video")).toString().isEmpty(), skipped);
        QCOMPARE(r.err.contains("already in the download archive"), skipped);
        QCOMPARE(m_site.requests().size() == requests, skipped);
        QFile f(listFile);
        QVERIFY(f.open(QIODevice::ReadOnly));
        QCOMPARE(f.readAll(), after);
        const QList<QByteArray> lines = before.split('\n');
        const bool overLong = std::any_of(lines.cbegin(), lines.cend(), [](const QByteArray &l) { return l.size() > 65536; });
        QCOMPARE(r.err.contains("over 64 KiB"), overLong);
    }

    // The skip list the user asked for, where no file can be one: nothing is asked of anybody.
    void downloadArchiveRefused_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("a folder") << QStringLiteral("folder");
        QTest::newRow("a pipe") << QStringLiteral("fifo");
        QTest::newRow("a device") << QStringLiteral("device");
        QTest::newRow("a read-only file") << QStringLiteral("readonly");
    }

    void downloadArchiveRefused()
    {
        QFETCH(QString, kind);
        QTemporaryDir out;
        QVERIFY(out.isValid());
        QString listFile = out.filePath(QStringLiteral("done.txt"));
        if (kind == u"folder") {
            QVERIFY(QDir().mkdir(listFile));
        } else if (kind == u"fifo") {
            if (!TestSupport::makeFifo(listFile))
                QSKIP("no FIFOs in this system's file system");
        } else if (kind == u"device") {
            listFile = TestSupport::emptyDevice();
        } else {
            if (!TestSupport::readOnlyHolds())
                QSKIP("a read-only file does not stop this process from writing to it");
            QFile f(listFile);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.close();
            QVERIFY(QFile::setPermissions(listFile, QFile::ReadOwner));
        }
        const qsizetype requests = m_site.requests().size();
        const TestSupport::Run r = run({QStringLiteral("-d"), QStringLiteral("-o"), out.path(),
                                        QStringLiteral("--download-archive"), listFile,
                                        QStringLiteral("http://www.meipai.com/media/642340002")}, {}, 20000);
        QVERIFY(r.finished);
        QCOMPARE(r.code, 2);
        QVERIFY2(r.err.contains("--download-archive"), r.err.constData());
        QCOMPARE(m_site.requests().size(), requests);
    }

    // Another program holding the cache file in a write transaction: busy is not broken. The
    // run goes on without the cache, says so once, and the other program's work stays.
    void busyCacheIsNotBroken_data()
    {
        QTest::addColumn<QString>("journal");
        QTest::addColumn<QString>("lock");
        QTest::newRow("rollback journal, held exclusively") << QStringLiteral("delete") << QStringLiteral("exclusive");
        QTest::newRow("rollback journal, held for writing") << QStringLiteral("delete") << QStringLiteral("immediate");
        QTest::newRow("write-ahead log, held for writing") << QStringLiteral("wal") << QStringLiteral("immediate");
    }

    void busyCacheIsNotBroken()
    {
        QFETCH(QString, journal);
        QFETCH(QString, lock);
        static int batch = 0;
        m_cacheHome = m_work.filePath(QStringLiteral("cache-busy-%1").arg(++batch));
        const QString folder = m_cacheHome + QStringLiteral("/zavlen-video");
        const QString file = folder + QStringLiteral("/lookups.sqlite");
        // A cache made by an earlier run, with everything it needs already in it.
        QCOMPARE(run(ownArchive() + lostBatch(1, 895000 + 100 * batch)).code, 0);
        QVERIFY(QFile::exists(file));

        QProcess holder;
        holder.start(QStringLiteral(CACHE_HOLDER_PATH), {file, journal, lock});
        QVERIFY(holder.waitForStarted());
        QTRY_VERIFY_WITH_TIMEOUT(holder.canReadLine(), 20000);
        QCOMPARE(holder.readLine().trimmed(), QByteArray("held"));

        QTemporaryDir out;
        QVERIFY(out.isValid());
        const QStringList addresses = lostBatch(3, 895010 + 100 * batch);
        for (const QString &address : addresses)
            m_site.setRoute(QStringLiteral("v.test"), u'/' + address.section(u'/', -1) + QStringLiteral(".mp4"),
                            answer("video bytes", "video/mp4"));
        const TestSupport::Run r = run(ownArchive() + QStringList{QStringLiteral("-j"), QStringLiteral("-d"),
                                                                  QStringLiteral("-o"), out.path()} + addresses);
        holder.write("commit\n");
        QVERIFY(holder.waitForFinished(20000));
        const QByteArray said = holder.readAll();
        QVERIFY2(r.code == 0, r.err.constData());
        QCOMPARE(r.lines().size(), addresses.size());
        QCOMPARE(r.err.count("held by another program"), 1);
        QVERIFY2(holder.exitCode() == 0 && said.contains("committed"), said.constData());
        QCOMPARE(QDir(folder).entryList({QStringLiteral("lookups.sqlite.broken-*")}), QStringList());

        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("reader"));
        db.setDatabaseName(file);
        QVERIFY(db.open());
        {
            QSqlQuery q(db);
            QVERIFY(q.exec(QStringLiteral("SELECT x FROM mine")) && q.next());
            QCOMPARE(q.value(0).toString(), QStringLiteral("kept"));
        }
        db.close();
        db = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("reader"));
    }

    // A paced batch stopped by a signal, its progress line on a terminal.
    void stoppedBySignal_data()
    {
        QTest::addColumn<int>("signal");
        QTest::addColumn<int>("code");
        QTest::newRow("SIGINT") << 2 << 130;
        QTest::newRow("SIGTERM") << 15 << 143;
    }

    void stoppedBySignal()
    {
        QFETCH(int, signal);
        QFETCH(int, code);
        static int batch = 0;
        const QStringList addresses = lostBatch(6, 890000 + 100 * ++batch);
        // Its progress line on a terminal where there is one; elsewhere the run is stopped once the
        // archive has been asked about the first address.
        TestSupport::PseudoTerminal terminal;
        const bool onTerminal = terminal.open();
        QProcess p;
        if (onTerminal)
            terminal.becomeStandardError(p);
        TestSupport::prepareStopRequests(p);
        // One index query every 3 seconds: the run is stopped while the rest wait for theirs.
        const QStringList args = ownArchive(20) + QStringList{QStringLiteral("-j"), QStringLiteral("-J"),
                                                              QStringLiteral("2")} + addresses;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CACHE_HOME"), m_work.filePath(QStringLiteral("cache-signal")));
        env.remove(QStringLiteral("http_proxy"));
        p.setProcessEnvironment(env);
        const qsizetype askedBefore = m_own.indexQueries().size();
        p.start(QStringLiteral(ZAVLEN_GET_PATH), QStringList{QStringLiteral("--proxy"), m_site.proxyUrl()} + args);
        terminal.closeChildSide();
        QByteArray shown;
        if (onTerminal)
            QTRY_VERIFY_WITH_TIMEOUT((shown += terminal.readAvailable()).contains("网页存档 1/"), 30000);
        else
            QTRY_VERIFY_WITH_TIMEOUT(m_own.indexQueries().size() > askedBefore, 30000);
        if (!TestSupport::askToStop(p, signal)) {
            p.kill();
            p.waitForFinished();
            QSKIP("the stop request could not be delivered to the program here");
        }
        QVERIFY(p.waitForFinished(30000));
        shown += terminal.readAvailable();
        QCOMPARE(p.exitCode(), code);
        if (onTerminal)
            QVERIFY2(shown.contains("· 下次查询 ") && shown.contains(" 秒后 · 约 "), shown.constData());

        const QList<QByteArray> lines = p.readAllStandardOutput().split('\n').mid(0, addresses.size());
        QCOMPARE(lines.size(), addresses.size());
        int done = 0;
        for (qsizetype i = 0; i < lines.size(); ++i) {
            const QJsonObject o = parseLine(lines[i]);
            QCOMPARE(o.value(QStringLiteral("address")).toString(), addresses[i]);
            if (o.value(QStringLiteral("ok")).toBool())
                ++done;
            else
                QCOMPARE(o.value(QStringLiteral("error")).toString(), QStringLiteral("已中断"));
        }
        QVERIFY(done >= 1 && done < addresses.size());
        // What was found before the signal is kept: the next run asks only for the rest.
        const qsizetype asked = m_own.indexQueries().size();
        m_cacheHome = m_work.filePath(QStringLiteral("cache-signal"));
        QCOMPARE(run(ownArchive() + addresses).code, 0);
        QVERIFY(m_own.indexQueries().size() - asked <= addresses.size() - done);
        QDir(m_cacheHome).removeRecursively();
    }
};

QTEST_GUILESS_MAIN(TestCliRescue)
#include "test_cli_rescue.moc"
