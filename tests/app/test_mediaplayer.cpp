#include "formfixture.h"

#include "player/mediaplayer.h"

#include <QFile>
#include <QSignalSpy>

namespace {

QByteArray fileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

int countOf(const QSignalSpy &spy, int state)
{
    int n = 0;
    for (const auto &args : spy)
        n += args.at(0).toInt() == state ? 1 : 0;
    return n;
}

} // namespace

class TestMediaPlayer : public QObject
{
    Q_OBJECT

    Demo::LoopbackSite m_site;

    QString address(const QString &path) const
    {
        return QStringLiteral("http://127.0.0.1:%1%2").arg(m_site.port()).arg(path);
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_site.listen());
        Demo::Response video;
        video.contentType = "video/mp4";
        video.body = fileBytes(QStringLiteral(ZAVLEN_SAMPLE_VIDEO));
        QVERIFY(!video.body.isEmpty());
        m_site.setRoute(QStringLiteral("127.0.0.1"), QStringLiteral("/sample.mp4"), video);
    }

    void volume_data()
    {
        QTest::addColumn<int>("set");
        QTest::addColumn<int>("readBack");
        QTest::newRow("zero") << 0 << 0;
        QTest::newRow("middle") << 35 << 35;
        QTest::newRow("maximum") << 100 << 100;
        QTest::newRow("below range") << -5 << 0;
        QTest::newRow("above range") << 250 << 100;
    }

    void volume()
    {
        QFETCH(int, set);
        QFETCH(int, readBack);
        Player::MediaPlayer player;
        QCOMPARE(player.volume(), 50);
        player.setVolume(set);
        QCOMPARE(player.volume(), readBack);
    }

    void startsEmpty()
    {
        Player::MediaPlayer player;
        QVERIFY(player.URL().isEmpty());
        QVERIFY(player.errorString().isEmpty());
        QSignalSpy states(&player, &Player::MediaPlayer::PlayStateChange);
        player.setURL(QString()); // nothing was playing: no notification
        QTest::qWait(50);
        QCOMPARE(states.count(), 0);
    }

    // Whatever the backend does, the caller finishes its own steps before any stop arrives.
    void noStopWhileAssigning()
    {
        Player::MediaPlayer player;
        QSignalSpy states(&player, &Player::MediaPlayer::PlayStateChange);
        player.setURL(address(QStringLiteral("/missing.mp4")));
        QCOMPARE(countOf(states, Player::MediaPlayer::Stopped), 0);
        QCOMPARE(player.URL(), address(QStringLiteral("/missing.mp4")));
    }

    void failureEndsStoppedOnce_data()
    {
        QTest::addColumn<QString>("url");
        QTest::newRow("missing on the server") << address(QStringLiteral("/missing.mp4"));
        QTest::newRow("refused connection") << QStringLiteral("http://127.0.0.1:1/x.mp4");
        QTest::newRow("unknown scheme") << QStringLiteral("nosuchscheme://x/y.mp4");
    }

    void failureEndsStoppedOnce()
    {
        QFETCH(QString, url);
        Player::MediaPlayer player;
        QSignalSpy states(&player, &Player::MediaPlayer::PlayStateChange);
        player.setURL(url);
        QTRY_COMPARE_WITH_TIMEOUT(countOf(states, Player::MediaPlayer::Stopped), 1, 30000);
        QVERIFY(!player.errorString().isEmpty());
        QCOMPARE(player.playState(), int(Player::MediaPlayer::Stopped));
        QTest::qWait(300);
        QCOMPARE(countOf(states, Player::MediaPlayer::Stopped), 1);
        player.setURL(QString());
        QCOMPARE(countOf(states, Player::MediaPlayer::Stopped), 1);
    }

    void playsToTheEndAndClearsInsideTheHandler()
    {
        Player::MediaPlayer player;
        player.resize(320, 240);
        player.show();
        int handled = 0;
        connect(&player, &Player::MediaPlayer::PlayStateChange, &player, [&](int state) {
            if (state != Player::MediaPlayer::Stopped)
                return;
            ++handled;
            player.setURL(QString()); // as the window's stop procedure does
        });
        QSignalSpy states(&player, &Player::MediaPlayer::PlayStateChange);
        player.setURL(address(QStringLiteral("/sample.mp4")));
        QTRY_VERIFY_WITH_TIMEOUT(handled > 0, 30000);
        if (!player.errorString().isEmpty())
            QSKIP(qPrintable(QStringLiteral("the multimedia backend cannot play here: ") + player.errorString()));
        QVERIFY(countOf(states, Player::MediaPlayer::Playing) >= 1);
        QTest::qWait(300);
        QCOMPARE(handled, 1);
        QVERIFY(player.URL().isEmpty());
    }

    void clearingWhilePlayingStopsOnce()
    {
        Player::MediaPlayer player;
        int handled = 0;
        connect(&player, &Player::MediaPlayer::PlayStateChange, &player, [&](int state) {
            if (state == Player::MediaPlayer::Stopped) {
                ++handled;
                player.setURL(QString());
            }
        });
        player.setURL(address(QStringLiteral("/sample.mp4")));
        QTRY_VERIFY_WITH_TIMEOUT(player.playState() == Player::MediaPlayer::Playing || handled > 0, 30000);
        if (handled > 0)
            QSKIP(qPrintable(QStringLiteral("the multimedia backend cannot play here: ") + player.errorString()));
        player.setURL(QString());
        QCOMPARE(handled, 1);
        QTest::qWait(300);
        QCOMPARE(handled, 1);
    }
};

ZAVLEN_GUI_TEST_MAIN(TestMediaPlayer)
#include "test_mediaplayer.moc"
