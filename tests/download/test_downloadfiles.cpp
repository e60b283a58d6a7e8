#include "config/settings.h"
#include "demo/loopbacksite.h"
#include "download/downloader.h"
#include "download/records.h"
#include "web/lookupcache.h"
#include "web/network.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QScopeGuard>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

using Demo::Response;
using Download::DownloadResult;
using Status = Download::DownloadResult::Status;

Q_DECLARE_METATYPE(Download::DownloadResult)

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

// The file side of a download: which names it writes, and what it says when it cannot.
class TestDownloadFiles : public QObject
{
    Q_OBJECT

    Demo::LoopbackSite m_site;
    Config::Settings m_settings;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::shared_ptr<Download::Records> m_records;
    std::vector<std::unique_ptr<QTemporaryDir>> m_cacheDirs; // outside the folders whose entries are compared
    qsizetype m_seenBefore = 0;

    DownloadResult run(Download::Downloader &downloader, const QString &file)
    {
        downloader.setRecords(m_records);
        QSignalSpy done(&downloader, &Download::Downloader::finished);
        if (!downloader.start(QUrl(address), file))
            return {Status::Busy, QStringLiteral("start refused"), {}, 0, false, {}};
        if (!done.wait(10000))
            return {Status::NetworkError, QStringLiteral("no finished signal"), {}, 0, false, {}};
        return done.at(0).at(0).value<DownloadResult>();
    }

    int videoRequests() const
    {
        int n = 0;
        for (const Demo::Request &r : m_site.requests().mid(m_seenBefore))
            n += r.host == host && r.path == path;
        return n;
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
        QTemporaryDir *cacheDir = new QTemporaryDir;
        m_cacheDirs.emplace_back(cacheDir);
        m_records = std::make_shared<Download::Records>(std::make_shared<Web::DeferredLookupCache>(
            cacheDir->filePath(QStringLiteral("lookups.sqlite")), 30, nullptr));
        m_site.clearRoutes();
        m_seenBefore = m_site.requests().size();
    }

    // Names that something else takes while the transfer runs are left alone.
    void finalNameTakenMeanwhile_data()
    {
        QTest::addColumn<QStringList>("taken");
        QTest::addColumn<QString>("expected");
        QTest::newRow("the target") << QStringList{QStringLiteral("abc.mp4")} << QStringLiteral("abc (2).mp4");
        QTest::newRow("the target and the next name")
            << QStringList{QStringLiteral("abc.mp4"), QStringLiteral("abc (2).mp4")} << QStringLiteral("abc (3).mp4");
        QTest::newRow("the target and an unfinished file")
            << QStringList{QStringLiteral("abc.mp4"), QStringLiteral("abc (2).mp4.part")} << QStringLiteral("abc (3).mp4");
    }

    void finalNameTakenMeanwhile()
    {
        QFETCH(QStringList, taken);
        QFETCH(QString, expected);
        const qint64 size = 60000;
        m_site.setRoute(host, path, generated(size, Response::Behaviour::Slow));
        Download::Downloader downloader;
        bool placed = false;
        connect(&downloader, &Download::Downloader::progress, this, [&](qint64 received) {
            if (placed || received == 0)
                return;
            placed = true;
            for (const QString &name : std::as_const(taken))
                writeFile(m_dir->filePath(name), name.toUtf8());
        });
        const DownloadResult result = run(downloader, m_dir->filePath(QStringLiteral("abc.mp4")));
        QVERIFY(placed);
        QVERIFY2(result.ok(), qPrintable(result.error));
        QCOMPARE(result.path, m_dir->filePath(expected));
        QCOMPARE(result.bytes, size);
        QCOMPARE(readAll(result.path), Demo::LoopbackSite::generatedBytes(0, size));
        for (const QString &name : std::as_const(taken))
            QCOMPARE(readAll(m_dir->filePath(name)), name.toUtf8());
        QVERIFY(!QFile::exists(m_dir->filePath(QStringLiteral("abc.mp4.part"))));
    }

    // The text names what failed ({dir} stands for the test's folder); no ".part" is claimed
    // where none was made.
    void cannotCreate_data()
    {
        QTest::addColumn<QString>("relative");
        QTest::addColumn<QString>("expected");
        QTest::newRow("folder is a file")
            << QStringLiteral("plainfile/abc.mp4")
            << QStringLiteral("下载失败: 无法在文件夹 {dir}/plainfile 中创建文件 (不是文件夹)");
        QTest::newRow("below a file")
            << QStringLiteral("plainfile/sub/abc.mp4")
            << QStringLiteral("下载失败: 无法在文件夹 {dir}/plainfile/sub 中创建文件 (文件夹不存在)");
        QTest::newRow("folder does not exist")
            << QStringLiteral("missing/deeper/abc.mp4")
            << QStringLiteral("下载失败: 无法在文件夹 {dir}/missing/deeper 中创建文件 (文件夹不存在)");
        QTest::newRow("name too long") << QString(300, QChar(0x89C6)) + QStringLiteral(".mp4")
                                       << QStringLiteral("下载失败: 文件名太长, 文件系统不接受");
        QTest::newRow("part is a folder")
            << QStringLiteral("taken/abc.mp4")
            << QStringLiteral("下载失败: 无法打开文件 {dir}/taken/abc.mp4.part");
        QTest::newRow("name ends in part") << QStringLiteral("abc.mp4.part")
                                           << QStringLiteral("下载失败: 文件名不能以 .part 结尾, 它是未完成下载的名字");
    }

    void cannotCreate()
    {
        QFETCH(QString, relative);
        QFETCH(QString, expected);
        QVERIFY(writeFile(m_dir->filePath(QStringLiteral("plainfile")), "x"));
        QVERIFY(QDir(m_dir->path()).mkpath(QStringLiteral("taken/abc.mp4.part")));
        // As if an earlier download of this video had left it: its own ".part", which cannot be opened.
        m_records->startedPart(m_dir->filePath(QStringLiteral("taken/abc.mp4")), address, QString());
        m_site.setRoute(host, path, generated(1000));
        const QStringList before = QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot);
        Download::Downloader downloader;
        const DownloadResult result = run(downloader, m_dir->filePath(relative));
        QCOMPARE(result.status, Status::FileError);
        QCOMPARE(result.error, QDir::toNativeSeparators(expected.replace(QStringLiteral("{dir}"), m_dir->path())));
        QCOMPARE(result.path, QString());
        QCOMPARE(result.bytes, 0);
        QCOMPARE(videoRequests(), 0);
        QCOMPARE(QDir(m_dir->path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), before);
    }

    // Permission bits do not stop root: then there is nothing to test here.
    void readOnlyFolder()
    {
        const QString folder = m_dir->filePath(QStringLiteral("locked"));
        QVERIFY(QDir().mkdir(folder));
        QVERIFY(QFile::setPermissions(folder, QFile::ReadOwner | QFile::ExeOwner));
        const auto unlock = qScopeGuard(
            [&] { QFile::setPermissions(folder, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner); });
        if (QFile(QDir(folder).filePath(QStringLiteral("probe"))).open(QIODevice::WriteOnly))
            QSKIP("permission bits do not stop this user from writing");
        m_site.setRoute(host, path, generated(1000));
        Download::Downloader downloader;
        const DownloadResult result = run(downloader, QDir(folder).filePath(QStringLiteral("abc.mp4")));
        QCOMPARE(result.status, Status::FileError);
        QCOMPARE(result.error, QStringLiteral("下载失败: 无法在文件夹 %1 中创建文件 (没有写入权限)")
                                   .arg(QDir::toNativeSeparators(folder)));
        QCOMPARE(result.path, QString());
    }

    void longChineseName()
    {
        const QString wide = QString(120, QChar(0x89C6));
        const QString video = QStringLiteral("http://video.weishi.com/clips/")
                              + QString::fromLatin1(QUrl::toPercentEncoding(wide)) + QStringLiteral(".mp4");
        const QString name = Download::safeFileName(video);
        QVERIFY(name.startsWith(QString(80, QChar(0x89C6))));
        m_site.setRoute(host, QUrl(video).path(QUrl::FullyEncoded), generated(5000));
        Download::Downloader downloader;
        QSignalSpy done(&downloader, &Download::Downloader::finished);
        QVERIFY(downloader.start(QUrl(video), m_dir->filePath(name)));
        QVERIFY(done.wait(10000));
        const DownloadResult result = done.at(0).at(0).value<DownloadResult>();
        QVERIFY2(result.ok(), qPrintable(result.error));
        QCOMPARE(result.path, m_dir->filePath(name));
        QCOMPARE(readAll(result.path), Demo::LoopbackSite::generatedBytes(0, 5000));
    }

    // What the status line says of an unfinished download matches what is on the disk.
    void unfinishedTexts_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("partKept");
        QTest::newRow("announced larger than the disk")
            << QStringLiteral("huge") << int(Status::FileError) << QStringLiteral("下载失败: 磁盘空间不足") << false;
        QTest::newRow("cancelled before any byte")
            << QStringLiteral("cancel at once") << int(Status::Cancelled) << QStringLiteral("下载已取消") << false;
        QTest::newRow("cancelled with bytes written") << QStringLiteral("cancel later") << int(Status::Cancelled)
                                                      << QStringLiteral("下载已取消, 已保留 .part 文件以便续传") << true;
    }
    void unfinishedTexts()
    {
        QFETCH(QString, kind);
        QFETCH(int, status);
        QFETCH(QString, text);
        QFETCH(bool, partKept);
        const QString target = m_dir->filePath(QStringLiteral("abc.mp4"));
        Response never;
        never.behaviour = Response::Behaviour::Never;
        m_site.setRoute(host, path, kind == u"huge" ? generated(1000LL * 1000 * 1000 * 1000 * 1000)
                                    : kind == u"cancel at once" ? never
                                                                : generated(600000, Response::Behaviour::Slow));
        Download::Downloader downloader;
        connect(&downloader, &Download::Downloader::progress, this, [&](qint64 received) {
            if (received > 0 && kind == u"cancel later")
                downloader.cancel();
        });
        if (kind == u"cancel at once")
            QTimer::singleShot(200, &downloader, &Download::Downloader::cancel);
        const DownloadResult result = run(downloader, target);
        QCOMPARE(int(result.status), status);
        QVERIFY2(result.error.startsWith(text), qPrintable(result.error));
        if (kind == u"huge")
            QVERIFY2(result.error.contains(QDir::toNativeSeparators(m_dir->path())), qPrintable(result.error));
        else
            QCOMPARE(result.error, text);
        QCOMPARE(QFileInfo::exists(target + QStringLiteral(".part")), partKept);
        QCOMPARE(result.path.isEmpty(), !partKept);
        QVERIFY(!QFileInfo::exists(target));
    }
};

QTEST_GUILESS_MAIN(TestDownloadFiles)
#include "test_downloadfiles.moc"
