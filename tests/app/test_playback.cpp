#include "formfixture.h"
#include "support/testos.h"

#include "app/alphapicture.h"
#include "player/mediaplayer.h"

#include <QBuffer>
#include <QClipboard>
#include <QFile>
#include <QImage>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QLineEdit>
#include <QSignalSpy>
#include <QSlider>
#include <QTemporaryDir>

using TestSupport::control;

namespace {

const QString pageHost = QStringLiteral("www.meipai.com");
const QString pagePath = QStringLiteral("/media/642349876");
const QString pageAddress = QStringLiteral("http://www.meipai.com/media/642349876");
const QString pageVideo = QStringLiteral("http://mvvideo1.meipai.com/2014/03/15/642349876.mp4");
const QString coverHost = QStringLiteral("mvimg1.meipai.com");
const QString coverPath = QStringLiteral("/2014/03/15/642349876.jpg");
const QString noVideo = QStringLiteral("请先获取视频!");

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray pictureBytes(const QColor &colour)
{
    QImage image(16, 16, QImage::Format_ARGB32);
    image.fill(colour);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    image.save(&buffer, "PNG");
    return bytes;
}

} // namespace

class TestPlayback : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestSupport::SiteFixture> m_fx;
    TestSupport::Recorder m_rec;
    std::unique_ptr<App::Form1> m_form;
    QTemporaryDir m_dir;
    QString m_savePath;

    QString status() const { return control<QLabel>(*m_form, QStringLiteral("Label5"))->text(); }
    bool shown(const QString &name) const { return !control<QWidget>(*m_form, name)->isHidden(); }
    Player::MediaPlayer *w1() const { return control<Player::MediaPlayer>(*m_form, QStringLiteral("W1")); }
    int coverRequests() const { return m_fx->requestsFor(QStringLiteral("http://") + coverHost + coverPath); }
    QString localVideo(const QString &path) const
    {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(m_fx->site.port()).arg(path);
    }

    void installHooks()
    {
        App::Form1::Hooks hooks;
        hooks.messageBox = [this](const QString &text, int style) { m_rec.messages.append({text, style}); };
        hooks.openPage = [this](const QString &address) { m_rec.pages.append(address); };
        hooks.endProgram = [this] { ++m_rec.ends; };
        hooks.askSavePath = [this](const QString &) { return m_savePath; };
        hooks.startMove = [] {};
        m_form->setHooks(hooks);
    }

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
        QCOMPARE(m_form->playingFlag(), 0);
    }

    void play()
    {
        m_form->aicAlphaImage1_MouseMove();
        m_form->aicAlphaImage2_MouseUp();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_fx = std::make_unique<TestSupport::SiteFixture>();
        // The previews play straight from the loopback site's own address, which a page may only
        // name when the settings allow it.
        m_fx->settings.network.allowLocalAddresses = true;
        Demo::Response cover;
        cover.contentType = "image/png";
        cover.body = pictureBytes(Qt::red);
        m_fx->site.setRoute(coverHost, coverPath, cover);
        Demo::Response avatar = cover;
        avatar.body = pictureBytes(Qt::blue);
        m_fx->site.setRoute(QStringLiteral("mvavatar1.meipai.com"), QStringLiteral("/avatar/2014/03/cxy.jpg"), avatar);
        Demo::Response video;
        video.contentType = "video/mp4";
        video.body = fileBytes(QStringLiteral(ZAVLEN_SAMPLE_VIDEO));
        QVERIFY(!video.body.isEmpty());
        m_fx->site.setRoute(QStringLiteral("127.0.0.1"), QStringLiteral("/media/sample.mp4"), video);
        Demo::Response garbage;
        garbage.contentType = "video/mp4";
        garbage.body = QByteArray(4096, 'z');
        m_fx->site.setRoute(QStringLiteral("127.0.0.1"), QStringLiteral("/media/garbage.mp4"), garbage);
    }

    void init()
    {
        m_rec = {};
        m_savePath.clear();
        m_form = std::make_unique<App::Form1>(m_fx->settings);
        installHooks();
        QGuiApplication::clipboard()->setText(QStringLiteral("sentinel"));
    }

    void cleanup() { m_form.reset(); }

    void actionsWithoutVideo_data()
    {
        QTest::addColumn<QString>("action");
        QTest::newRow("play") << QStringLiteral("play");
        QTest::newRow("download") << QStringLiteral("download");
        QTest::newRow("copy") << QStringLiteral("copy");
    }

    void actionsWithoutVideo()
    {
        QFETCH(QString, action);
        m_savePath = m_dir.filePath(QStringLiteral("never.mp4"));
        const QString before = status();
        if (action == QStringLiteral("play"))
            m_form->aicAlphaImage2_MouseUp();
        else if (action == QStringLiteral("download"))
            m_form->Command2_Click();
        else
            m_form->Command3_Click();

        QCOMPARE(m_rec.messages.size(), 1);
        QCOMPARE(m_rec.messages.first().first, noVideo);
        QCOMPARE(m_rec.messages.first().second, 64);
        QCOMPARE(status(), before);
        QCOMPARE(m_form->playingFlag(), 0);
        QVERIFY(shown(QStringLiteral("aicAlphaImage1")));
        QVERIFY(!shown(QStringLiteral("aicAlphaImage2")));
        QVERIFY(shown(QStringLiteral("Image1")));
        QVERIFY(w1()->URL().isEmpty());
        QCOMPARE(QGuiApplication::clipboard()->text(), QStringLiteral("sentinel"));
        QVERIFY(!shown(QStringLiteral("downloadBar")));
        QTest::qWait(50);
        QVERIFY(!QFile::exists(m_savePath));
        QVERIFY(!QFile::exists(m_savePath + QStringLiteral(".part")));
    }

    void hoverFollowsPointer()
    {
        extract(localVideo(QStringLiteral("/media/sample.mp4")));
        m_form->aicAlphaImage1_MouseMove();
        QVERIFY(!shown(QStringLiteral("aicAlphaImage1")));
        QVERIFY(shown(QStringLiteral("aicAlphaImage2")));
        m_form->aicAlphaImage2_MouseLeave();
        QVERIFY(shown(QStringLiteral("aicAlphaImage1")));
        QVERIFY(!shown(QStringLiteral("aicAlphaImage2")));
    }

    void playEntersPlaying()
    {
        const QString video = localVideo(QStringLiteral("/media/sample.mp4"));
        extract(video);
        play();
        QCOMPARE(m_form->playingFlag(), 1);
        QCOMPARE(w1()->URL(), video);
        QCOMPARE(status(), QStringLiteral("正在播放视频.."));
        QVERIFY(!shown(QStringLiteral("aicAlphaImage1")));
        QVERIFY(!shown(QStringLiteral("aicAlphaImage2")));
        QVERIFY(!shown(QStringLiteral("Image1")));
        QVERIFY(shown(QStringLiteral("W1")));
        QVERIFY(m_rec.messages.isEmpty());

        // Hovering does nothing while playing.
        m_form->aicAlphaImage1_MouseMove();
        m_form->aicAlphaImage2_MouseLeave();
        QVERIFY(!shown(QStringLiteral("aicAlphaImage1")));
        QVERIFY(!shown(QStringLiteral("aicAlphaImage2")));
        m_form->tzstop();
        QVERIFY(TestSupport::waitIdle(*m_form));
    }

    void playStateNotifications_data()
    {
        QTest::addColumn<int>("state");
        QTest::addColumn<bool>("stops");
        QTest::newRow("undefined") << 0 << false;
        QTest::newRow("stopped") << 1 << true;
        QTest::newRow("paused") << 2 << false;
        QTest::newRow("playing") << 3 << false;
        QTest::newRow("buffering") << 6 << false;
        QTest::newRow("media ended") << 8 << false;
        QTest::newRow("transitioning") << 9 << false;
        QTest::newRow("ready") << 10 << false;
    }

    void playStateNotifications()
    {
        QFETCH(int, state);
        QFETCH(bool, stops);
        extract(localVideo(QStringLiteral("/media/sample.mp4")));
        play();
        const int coversBefore = coverRequests();
        // Straight after Play, before the player's own events can run.
        m_form->W1_PlayStateChange(state);
        if (stops) {
            QCOMPARE(m_form->playingFlag(), 0);
            QCOMPARE(status(), QStringLiteral("视频已停止.."));
            QVERIFY(w1()->URL().isEmpty());
            QVERIFY(!shown(QStringLiteral("W1")));
            QVERIFY(shown(QStringLiteral("Image1")));
            QVERIFY(shown(QStringLiteral("aicAlphaImage1")));
            QVERIFY(!shown(QStringLiteral("aicAlphaImage2")));
            QVERIFY(TestSupport::waitIdle(*m_form)); // the cover comes back asynchronously
            QCOMPARE(coverRequests(), coversBefore + 1);
            QVERIFY(!control<QLabel>(*m_form, QStringLiteral("Image1"))->pixmap().isNull());
            // Hover works again.
            m_form->aicAlphaImage1_MouseMove();
            QVERIFY(shown(QStringLiteral("aicAlphaImage2")));
        } else {
            QCOMPARE(m_form->playingFlag(), 1);
            QCOMPARE(status(), QStringLiteral("正在播放视频.."));
            QVERIFY(!shown(QStringLiteral("Image1")));
            QVERIFY(!w1()->URL().isEmpty());
            QCOMPARE(coverRequests(), coversBefore);
            m_form->tzstop();
            QVERIFY(TestSupport::waitIdle(*m_form));
        }
    }

    void stopWhileIdle_data()
    {
        QTest::addColumn<bool>("viaNotification");
        QTest::newRow("tzstop") << false;
        QTest::newRow("stopped notification") << true;
    }

    void stopWhileIdle()
    {
        QFETCH(bool, viaNotification);
        extract(localVideo(QStringLiteral("/media/sample.mp4")));
        const int coversBefore = coverRequests();
        if (viaNotification)
            m_form->W1_PlayStateChange(1);
        else
            m_form->tzstop();
        QCOMPARE(status(), QStringLiteral("视频已停止.."));
        QCOMPARE(m_form->playingFlag(), 0);
        QVERIFY(TestSupport::waitIdle(*m_form)); // the cover comes back asynchronously
        QCOMPARE(coverRequests(), coversBefore + 1);
        QVERIFY(shown(QStringLiteral("Image1")));
        QVERIFY(shown(QStringLiteral("aicAlphaImage1")));
        QVERIFY(!shown(QStringLiteral("aicAlphaImage2")));
    }

    // Clearing the address while a preview plays stops it once, never in a loop.
    void clearingAddressStopsOnce()
    {
        extract(localVideo(QStringLiteral("/media/sample.mp4")));
        play();
        QSignalSpy states(w1(), &Player::MediaPlayer::PlayStateChange);
        const int coversBefore = coverRequests();
        w1()->setURL(QString());
        QCOMPARE(m_form->playingFlag(), 0);
        int stopped = 0;
        for (const auto &args : states)
            stopped += args.at(0).toInt() == 1 ? 1 : 0;
        QCOMPARE(stopped, 1);
        QVERIFY(TestSupport::waitIdle(*m_form)); // the cover comes back asynchronously
        QCOMPARE(coverRequests(), coversBefore + 1);
        QTest::qWait(200);
        stopped = 0;
        for (const auto &args : states)
            stopped += args.at(0).toInt() == 1 ? 1 : 0;
        QCOMPARE(stopped, 1);
        QCOMPARE(m_form->playingFlag(), 0);
    }

    void newExtractionDuringPlayback()
    {
        const QString video = localVideo(QStringLiteral("/media/sample.mp4"));
        extract(video);
        play();
        QCOMPARE(m_form->playingFlag(), 1);
        extract(video);
        QCOMPARE(m_form->playingFlag(), 0);
        QVERIFY(w1()->URL().isEmpty());
        QVERIFY(shown(QStringLiteral("Image1")));
        QVERIFY(shown(QStringLiteral("aicAlphaImage1")));
        QVERIFY(!shown(QStringLiteral("aicAlphaImage2")));
        QCOMPARE(status(), QStringLiteral("视频提取完毕.."));
    }

    void volume_data()
    {
        QTest::addColumn<int>("value");
        QTest::newRow("silent") << 0;
        QTest::newRow("35") << 35;
        QTest::newRow("maximum") << 100;
    }

    void volume()
    {
        QFETCH(int, value);
        auto *slider = control<QSlider>(*m_form, QStringLiteral("Slider1"));
        slider->setValue(value == 50 ? 49 : 50);
        slider->setValue(value);
        QCOMPARE(w1()->volume(), value);
        QCOMPARE(status(), QStringLiteral("当前音量为:") + QString::number(value));
    }

    void copyPutsExactAddress()
    {
        const QString video = localVideo(QStringLiteral("/media/sample.mp4?sign=a%20b&x=%2F&y=\u4E2D"));
        extract(video);
        m_form->Command3_Click();
        QCOMPARE(QGuiApplication::clipboard()->text(), video);
        QCOMPARE(status(), QStringLiteral("视频链接地址已复制.."));
        QVERIFY(m_rec.messages.isEmpty());
    }

    void downloadSavesWithoutOverwriting()
    {
        const QString video = pageVideo;
        Demo::Response file;
        file.contentType = "video/mp4";
        file.generatedSize = 300000;
        file.behaviour = Demo::Response::Behaviour::Slow;
        file.slowDelayMs = 5;
        m_fx->site.setRoute(QUrl(video).host(), QUrl(video).path(), file);
        extract(video);

        m_savePath = m_dir.filePath(QStringLiteral("kept.mp4"));
        QFile existing(m_savePath);
        QVERIFY(existing.open(QIODevice::WriteOnly));
        existing.write("do not overwrite");
        existing.close();

        const int before = m_fx->requestsFor(video);
        m_form->Command2_Click();
        QVERIFY(status().startsWith(QStringLiteral("正在下载视频")));
        QVERIFY(shown(QStringLiteral("downloadBar")));
        QVERIFY(shown(QStringLiteral("cancelDownload")));
        m_form->Command2_Click(); // a second press while the first runs
        QVERIFY(!status().startsWith(QStringLiteral("视频下载完成")));

        QTRY_VERIFY_WITH_TIMEOUT(status().startsWith(QStringLiteral("视频下载完成")), 20000);
        const QString saved = m_dir.filePath(QStringLiteral("kept (2).mp4"));
        QVERIFY2(status().endsWith(QDir::toNativeSeparators(saved)), qPrintable(status()));
        QCOMPARE(fileBytes(saved), Demo::LoopbackSite::generatedBytes(0, 300000));
        QCOMPARE(fileBytes(m_savePath), QByteArray("do not overwrite"));
        QCOMPARE(m_fx->requestsFor(video), before + 1);
        QVERIFY(!shown(QStringLiteral("cancelDownload")));
        QVERIFY(m_rec.messages.isEmpty());
    }

    void downloadFailureIsReported()
    {
        const QString video = QStringLiteral("http://mvvideo1.meipai.com/gone.mp4");
        Demo::Response gone;
        gone.status = 404;
        m_fx->site.setRoute(QUrl(video).host(), QUrl(video).path(), gone);
        extract(video);
        m_savePath = m_dir.filePath(QStringLiteral("gone.mp4"));
        m_form->Command2_Click();
        QTRY_VERIFY_WITH_TIMEOUT(status().contains(QStringLiteral("404")), 20000);
        QVERIFY(!QFile::exists(m_savePath));
    }

    void downloadCancelled()
    {
        const QString video = QStringLiteral("http://mvvideo1.meipai.com/long.mp4");
        Demo::Response file;
        file.generatedSize = 3000000;
        file.behaviour = Demo::Response::Behaviour::Slow;
        file.slowDelayMs = 20;
        m_fx->site.setRoute(QUrl(video).host(), QUrl(video).path(), file);
        extract(video);
        m_savePath = m_dir.filePath(QStringLiteral("long.mp4"));
        m_form->Command2_Click();
        QTRY_VERIFY_WITH_TIMEOUT(QFileInfo(m_savePath + QStringLiteral(".part")).size() > 0, 20000);
        QTest::mouseClick(control<QPushButton>(*m_form, QStringLiteral("cancelDownload")), Qt::LeftButton);
        QTRY_VERIFY_WITH_TIMEOUT(status().contains(QStringLiteral("取消")), 20000);
        QVERIFY(!QFile::exists(m_savePath));
        QVERIFY(QFile::exists(m_savePath + QStringLiteral(".part")));
    }

    void sampleVideoPlaysToTheEnd()
    {
        extract(localVideo(QStringLiteral("/media/sample.mp4")));
        play();
        QCOMPARE(m_form->playingFlag(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(m_form->playingFlag() == 0, 30000);
        if (status().startsWith(QStringLiteral("视频播放失败")))
            QSKIP(qPrintable(QStringLiteral("the multimedia backend cannot play here: ") + status()));
        QCOMPARE(status(), QStringLiteral("视频已停止.."));
        QVERIFY(shown(QStringLiteral("Image1")));
        QVERIFY(!shown(QStringLiteral("W1")));
        QVERIFY(w1()->URL().isEmpty());
        QVERIFY(!control<QLabel>(*m_form, QStringLiteral("Image1"))->pixmap().isNull());
    }

    void sampleVideoThroughTheProxy()
    {
        if (TestSupport::underWine())
            QSKIP("wine 8.0's media framework cannot play: its source resolver and resampler are incomplete");
        // The backend fetches by itself: the real host name only resolves through the proxy.
        const QString host = QStringLiteral("mvvideo1.meipai.com");
        Demo::Response video;
        video.contentType = "video/mp4";
        video.body = fileBytes(QStringLiteral(ZAVLEN_SAMPLE_VIDEO));
        m_fx->site.setRoute(host, QStringLiteral("/proxied/sample.mp4"), video);
        Player::MediaPlayer::setProxy(m_fx->site.proxyUrl());
        const int before = m_fx->site.requestCount();
        extract(QStringLiteral("http://") + host + QStringLiteral("/proxied/sample.mp4"));
        play();
        QTRY_VERIFY_WITH_TIMEOUT(m_form->playingFlag() == 0, 30000);
        qunsetenv("http_proxy");
        QCOMPARE(status(), QStringLiteral("视频已停止.."));
        bool fetched = false;
        const QList<Demo::Request> requests = m_fx->site.requests();
        for (qsizetype i = before; i < requests.size(); ++i)
            fetched = fetched || (requests[i].host == host && requests[i].path == u"/proxied/sample.mp4");
        QVERIFY(fetched);
    }

    void pageAddressesOtherThanWebAreNeverPlayed_data()
    {
        QTest::addColumn<QString>("video");
        QTest::newRow("local path") << QString::fromUtf8(ZAVLEN_SAMPLE_VIDEO);
        QTest::newRow("file address") << QStringLiteral("file://") + QString::fromUtf8(ZAVLEN_SAMPLE_VIDEO);
        QTest::newRow("other scheme") << QStringLiteral("rtsp://mvvideo1.meipai.com/sample.mp4");
    }

    void pageAddressesOtherThanWebAreNeverPlayed()
    {
        QFETCH(QString, video);
        extract(video);
        // A page that names no web address has given no video at all.
        QCOMPARE(status(), QStringLiteral("未能找到视频地址,请检查地址.."));
        play();
        QCOMPARE(m_form->playingFlag(), 0);
        QVERIFY(w1()->URL().isEmpty());
        QCOMPARE(m_rec.messages, (QList<QPair<QString, int>>{{App::Form1::noVideoMessage, 64}}));
        QVERIFY(shown(QStringLiteral("Image1")));
    }

    void unplayableVideoReturnsToIdle_data()
    {
        QTest::addColumn<QString>("path");
        QTest::newRow("missing file") << QStringLiteral("/media/missing.mp4");
        QTest::newRow("not a video") << QStringLiteral("/media/garbage.mp4");
    }

    void unplayableVideoReturnsToIdle()
    {
        QFETCH(QString, path);
        extract(localVideo(path));
        play();
        QCOMPARE(m_form->playingFlag(), 1);
        QTRY_VERIFY_WITH_TIMEOUT(m_form->playingFlag() == 0, 30000);
        QVERIFY2(status().startsWith(QStringLiteral("视频播放失败: ")), qPrintable(status()));
        QVERIFY(shown(QStringLiteral("Image1")));
        QVERIFY(shown(QStringLiteral("aicAlphaImage1")));
        QVERIFY(!shown(QStringLiteral("W1")));
    }

    void alphaPictureNotifications()
    {
        QWidget host;
        host.resize(200, 200);
        App::AlphaPicture picture(&host);
        picture.setGeometry(10, 10, 100, 100);
        host.show();
        QVERIFY(QTest::qWaitForWindowExposed(&host));
        QSignalSpy moves(&picture, &App::AlphaPicture::MouseMove);
        QSignalSpy leaves(&picture, &App::AlphaPicture::MouseLeave);
        QSignalSpy ups(&picture, &App::AlphaPicture::MouseUp);

        QTest::mouseMove(&picture, QPoint(20, 20));
        QTRY_VERIFY(moves.count() >= 1);
        QEvent leave(QEvent::Leave);
        QApplication::sendEvent(&picture, &leave);
        QCOMPARE(leaves.count(), 1);

        QTest::mousePress(&picture, Qt::RightButton, {}, QPoint(30, 30));
        QTest::mouseRelease(&picture, Qt::RightButton, {}, QPoint(30, 30));
        QCOMPARE(ups.count(), 1);
        QTest::mousePress(&picture, Qt::LeftButton, {}, QPoint(30, 30));
        QTest::mouseRelease(&picture, Qt::LeftButton, {}, QPoint(150, 150));
        QCOMPARE(ups.count(), 1); // let go outside
    }

    void alphaPictureLoadsFiles()
    {
        App::AlphaPicture picture;
        const QString good = m_dir.filePath(QStringLiteral("face"));
        QFile f(good);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(pictureBytes(QColor(0, 255, 0, 128)));
        f.close();
        QVERIFY(picture.LoadImage(good));
        QCOMPARE(picture.picture().size(), QSize(16, 16));
        QVERIFY(picture.picture().hasAlphaChannel());

        const QString bad = m_dir.filePath(QStringLiteral("broken"));
        QFile b(bad);
        QVERIFY(b.open(QIODevice::WriteOnly));
        b.write("not a picture");
        b.close();
        QVERIFY(!picture.LoadImage(bad));
        QVERIFY(!picture.LoadImage(m_dir.filePath(QStringLiteral("absent.png"))));
        QCOMPARE(picture.picture().size(), QSize(16, 16));
        QCOMPARE(picture.picture().pixelColor(0, 0).green(), 255);
    }
};

ZAVLEN_GUI_TEST_MAIN(TestPlayback)
#include "test_playback.moc"
