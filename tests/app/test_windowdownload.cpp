#include "formfixture.h"

#include <QFile>
#include <QFileInfo>
#include <QLineEdit>
#include <QRadioButton>
#include <QStandardPaths>
#include <QTemporaryDir>

#include "download/records.h"
#include "web/lookupcache.h"

using TestSupport::control;

namespace {

const QString pageHost = QStringLiteral("www.meipai.com");
const QString pagePath = QStringLiteral("/media/642349876");
const QString pageAddress = QStringLiteral("http://www.meipai.com/media/642349876");
const QString pageVideo = QStringLiteral("http://mvvideo1.meipai.com/2014/03/15/642349876.mp4");
const QString storeHost = QStringLiteral("cdn.meipai.com");
const QString storePath = QStringLiteral("/store/final.mp4");
constexpr qint64 size = 90000;

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

Demo::Response video()
{
    Demo::Response r;
    r.contentType = "video/mp4";
    r.generatedSize = size;
    return r;
}

} // namespace

// The window's download button: where the file ends up and what the status line says.
class TestWindowDownload : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestSupport::SiteFixture> m_fx;
    TestSupport::Recorder m_rec;
    std::unique_ptr<App::Form1> m_form;
    std::unique_ptr<QTemporaryDir> m_dir;
    QString m_savePath;
    App::Form1::Hooks m_hooks;

    QString status() const { return control<QLabel>(*m_form, QStringLiteral("Label5"))->text(); }

    // A real extraction of a Meipai page whose video file lies at `video`.
    void extract(const QString &video)
    {
        QString page = QString::fromUtf8(
            fileBytes(qEnvironmentVariable("ZAVLEN_TEST_DATA") + QStringLiteral("/pages/meipai.html")));
        QVERIFY(page.contains(pageVideo));
        page.replace(pageVideo, video);
        Demo::Response answer;
        answer.body = page.toUtf8();
        m_fx->site.setRoute(pageHost, pagePath, answer);
        control<QRadioButton>(*m_form, QStringLiteral("Option1(1)"))->setChecked(true);
        control<QLineEdit>(*m_form, QStringLiteral("Text1"))->setText(pageAddress);
        m_form->Command1_Click();
        QVERIFY(TestSupport::waitIdle(*m_form));
        QCOMPARE(m_form->resultSlots()[2], video);
    }

    // Presses the download button and waits for the outcome on the status line.
    QString download()
    {
        m_form->Command2_Click();
        if (!QTest::qWaitFor([this] { return !status().startsWith(QStringLiteral("正在下载视频")); }, 10000))
            return QStringLiteral("no outcome: ") + status();
        return status();
    }

private slots:
    void initTestCase()
    {
        m_fx = std::make_unique<TestSupport::SiteFixture>();
        m_fx->site.setRoute(storeHost, storePath, video());
    }

    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_rec = {};
        m_form = std::make_unique<App::Form1>(m_fx->settings);
        m_hooks = {};
        m_hooks.messageBox = [this](const QString &text, int style) { m_rec.messages.append({text, style}); };
        m_hooks.openPage = [](const QString &) {};
        m_hooks.endProgram = [] {};
        m_hooks.askSavePath = [this](const QString &) { return m_savePath; };
        m_hooks.startMove = [] {};
        m_form->setHooks(m_hooks);
    }

    void cleanup()
    {
        m_form.reset();
        m_fx->settings.download.writeInfoJson = false;
    }

    void redirectFollowed()
    {
        m_fx->site.setRoute(QUrl(pageVideo).host(), QUrl(pageVideo).path(),
                            Demo::Response::redirect("http://cdn.meipai.com/store/final.mp4"));
        extract(pageVideo);
        if (QTest::currentTestFailed())
            return;
        m_savePath = m_dir->filePath(QStringLiteral("moved.mp4"));
        const QString outcome = download();
        QCOMPARE(outcome, QStringLiteral("视频下载完成: ") + QDir::toNativeSeparators(m_savePath));
        QCOMPARE(fileBytes(m_savePath), Demo::LoopbackSite::generatedBytes(0, size));
        QVERIFY(!QFile::exists(m_savePath + QStringLiteral(".part")));
    }

    // Whatever name the dialog returns, the file ends up under a final name of its own.
    void chosenNames_data()
    {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QStringList>("existing");
        QTest::addColumn<QString>("saved");
        QTest::newRow("plain") << QStringLiteral("clip.mp4") << QStringList() << QStringLiteral("clip.mp4");
        QTest::newRow("ends in part") << QStringLiteral("clip.mp4.part") << QStringList() << QStringLiteral("clip.mp4");
        QTest::newRow("ends in part, final name taken")
            << QStringLiteral("clip.mp4.part") << QStringList{QStringLiteral("clip.mp4")} << QStringLiteral("clip (2).mp4");
        QTest::newRow("taken, next one unfinished")
            << QStringLiteral("clip.mp4") << QStringList{QStringLiteral("clip.mp4"), QStringLiteral("clip (2).mp4.part")}
            << QStringLiteral("clip (3).mp4");
        // Nobody recorded it as this video's: somebody else's bytes, neither continued nor touched.
        QTest::newRow("an unfinished file of unknown origin")
            << QStringLiteral("clip.mp4") << QStringList{QStringLiteral("clip.mp4.part")} << QStringLiteral("clip (2).mp4");
        QTest::newRow("a stranger's file where the record goes")
            << QStringLiteral("clip.mp4") << QStringList{QStringLiteral("clip.info.json")} << QStringLiteral("clip (2).mp4");
    }

    void chosenNames()
    {
        QFETCH(QString, chosen);
        QFETCH(QStringList, existing);
        QFETCH(QString, saved);
        m_fx->site.setRoute(QUrl(pageVideo).host(), QUrl(pageVideo).path(), video());
        m_fx->settings.download.writeInfoJson = true;
        m_form = std::make_unique<App::Form1>(m_fx->settings);
        m_form->setHooks(m_hooks);
        extract(pageVideo);
        if (QTest::currentTestFailed())
            return;
        for (const QString &name : std::as_const(existing)) {
            QFile f(m_dir->filePath(name));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(name.toUtf8());
        }
        m_savePath = m_dir->filePath(chosen);
        const QString outcome = download();
        QCOMPARE(outcome, QStringLiteral("视频下载完成: ") + QDir::toNativeSeparators(m_dir->filePath(saved)));
        QCOMPARE(fileBytes(m_dir->filePath(saved)), Demo::LoopbackSite::generatedBytes(0, size));
        for (const QString &name : std::as_const(existing))
            QCOMPARE(fileBytes(m_dir->filePath(name)), name.toUtf8());
        // The video and, once it is written, its record beside it.
        QTRY_COMPARE(QDir(m_dir->path()).entryList(QDir::Files).size(), existing.size() + 2);
        QVERIFY(QFile::exists(m_dir->filePath(QFileInfo(saved).completeBaseName() + QStringLiteral(".info.json"))));
    }

    // A ".part" an earlier download of this very video left is continued where it stopped.
    void resumesItsOwnPart()
    {
        m_fx->site.setRoute(QUrl(pageVideo).host(), QUrl(pageVideo).path(), video());
        extract(pageVideo);
        if (QTest::currentTestFailed())
            return;
        m_savePath = m_dir->filePath(QStringLiteral("mine.mp4"));
        QFile part(m_savePath + QStringLiteral(".part"));
        QVERIFY(part.open(QIODevice::WriteOnly));
        part.write(Demo::LoopbackSite::generatedBytes(0, 30000));
        part.close();
        Download::Records(std::make_shared<Web::DeferredLookupCache>(Web::LookupCache::defaultPath(), 30, nullptr))
            .startedPart(m_savePath, pageVideo, QString());
        const qsizetype before = m_fx->site.requests().size();
        QCOMPARE(download(), QStringLiteral("视频下载完成: ") + QDir::toNativeSeparators(m_savePath));
        QCOMPARE(fileBytes(m_savePath), Demo::LoopbackSite::generatedBytes(0, size));
        QCOMPARE(m_fx->site.requests().mid(before).last().headers.value("range"), QByteArray("bytes=30000-"));
    }

    // The name the window proposes for a long Chinese title is one the file system takes.
    void proposedLongName()
    {
        const QString wide = QString(120, QChar(0x89C6));
        const QString address = QStringLiteral("http://mvvideo1.meipai.com/2014/")
                                + QString::fromLatin1(QUrl::toPercentEncoding(wide)) + QStringLiteral(".mp4");
        m_fx->site.setRoute(QUrl(address).host(), QUrl(address).path(QUrl::FullyEncoded), video());
        extract(address);
        if (QTest::currentTestFailed())
            return;
        QString proposed;
        App::Form1::Hooks hooks;
        hooks.messageBox = [this](const QString &text, int style) { m_rec.messages.append({text, style}); };
        hooks.askSavePath = [&](const QString &path) {
            proposed = path;
            return m_dir->filePath(QFileInfo(path).fileName());
        };
        m_form->setHooks(hooks);
        const QString outcome = download();
        const QString name = QFileInfo(proposed).fileName();
        // An installed desktop program saves where the desktop keeps downloads, not in its own folder.
        QCOMPARE(QFileInfo(proposed).absolutePath(),
                 QStandardPaths::writableLocation(QStandardPaths::DownloadLocation));
        QVERIFY(name.startsWith(QString(80, QChar(0x89C6))));
        QCOMPARE(outcome, QStringLiteral("视频下载完成: ") + QDir::toNativeSeparators(m_dir->filePath(name)));
        QCOMPARE(fileBytes(m_dir->filePath(name)), Demo::LoopbackSite::generatedBytes(0, size));
    }

    void unwritableFolderIsNamed()
    {
        m_fx->site.setRoute(QUrl(pageVideo).host(), QUrl(pageVideo).path(), video());
        extract(pageVideo);
        if (QTest::currentTestFailed())
            return;
        QFile plain(m_dir->filePath(QStringLiteral("plainfile")));
        QVERIFY(plain.open(QIODevice::WriteOnly));
        plain.close();
        m_savePath = m_dir->filePath(QStringLiteral("plainfile/clip.mp4"));
        const QString outcome = download();
        QCOMPARE(outcome, QStringLiteral("下载失败: 无法在文件夹 %1 中创建文件 (不是文件夹)")
                              .arg(QDir::toNativeSeparators(m_dir->filePath(QStringLiteral("plainfile")))));
    }
};

ZAVLEN_GUI_TEST_MAIN(TestWindowDownload)
#include "test_windowdownload.moc"
