// The window's way to its media backend: the module beside the program, loaded on the first
// preview. This program lives in the window's build folder and links no backend of its own.

#include "formfixture.h"

#include "player/mediaplayer.h"
#include "player/playbackbackend.h"
#include "support/testos.h"

#include <QFile>
#include <QSignalSpy>

namespace {

bool multimediaLoaded()
{
    return TestSupport::libraryLoaded(QStringLiteral("Qt6Multimedia"));
}

} // namespace

class TestPlaybackModule : public QObject
{
    Q_OBJECT

    Demo::LoopbackSite m_site;

private slots:
    void initTestCase()
    {
        QVERIFY(m_site.listen());
        QFile sample(QStringLiteral(ZAVLEN_SAMPLE_VIDEO));
        QVERIFY(sample.open(QIODevice::ReadOnly));
        Demo::Response video;
        video.contentType = "video/mp4";
        video.body = sample.readAll();
        m_site.setRoute(QStringLiteral("127.0.0.1"), QStringLiteral("/sample.mp4"), video);
    }

    // No multimedia library is loaded before the first preview, and the preview then plays.
    void loadedOnTheFirstPreview()
    {
        Player::MediaPlayer player;
        player.resize(320, 240);
        player.show();
        QCOMPARE(player.volume(), 50);
        QVERIFY(!multimediaLoaded());
        QSignalSpy states(&player, &Player::MediaPlayer::PlayStateChange);
        player.setURL(QStringLiteral("http://127.0.0.1:%1/sample.mp4").arg(m_site.port()));
        QVERIFY(player.errorString() != QStringLiteral("没有可用的多媒体组件"));
        QVERIFY(multimediaLoaded());
        QTRY_VERIFY_WITH_TIMEOUT(!states.isEmpty() && (player.playState() == Player::MediaPlayer::Playing
                                                       || !player.errorString().isEmpty()),
                                 30000);
        if (!player.errorString().isEmpty())
            QSKIP(qPrintable(QStringLiteral("the multimedia backend cannot play here: ") + player.errorString()));
        QCOMPARE(player.playState(), int(Player::MediaPlayer::Playing));
        player.setURL(QString());
    }
};

ZAVLEN_GUI_TEST_MAIN(TestPlaybackModule)
#include "test_playbackmodule.moc"
