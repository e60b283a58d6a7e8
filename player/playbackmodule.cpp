// The media backend of the embedded player, built as the module zavlen-playback (and linked into
// the tests directly).

#include "player/playbackbackend.h"

#include <QAudioOutput>
#include <QLayout>
#include <QMediaPlayer>
#include <QVideoWidget>
#include <QWidget>

namespace {

class QtPlayback final : public Player::PlaybackBackend
{
public:
    QtPlayback(QWidget *host, const Events &events)
        : m_player(new QMediaPlayer(host)), m_audio(new QAudioOutput(host)), m_video(new QVideoWidget(host))
    {
        m_player->setAudioOutput(m_audio);
        m_player->setVideoOutput(m_video);
        m_video->setAspectRatioMode(Qt::KeepAspectRatio);
        if (host->layout())
            host->layout()->addWidget(m_video);

        QObject::connect(m_player, &QMediaPlayer::playbackStateChanged, m_player,
                         [events](QMediaPlayer::PlaybackState s) {
                             events.playback(s == QMediaPlayer::PlayingState  ? Playback::Playing
                                             : s == QMediaPlayer::PausedState ? Playback::Paused
                                                                              : Playback::Stopped);
                         });
        QObject::connect(m_player, &QMediaPlayer::mediaStatusChanged, m_player,
                         [events](QMediaPlayer::MediaStatus s) {
                             events.media(s == QMediaPlayer::EndOfMedia     ? Media::Ended
                                          : s == QMediaPlayer::InvalidMedia ? Media::Invalid
                                                                            : Media::Other);
                         });
        QObject::connect(m_player, &QMediaPlayer::errorOccurred, m_player,
                         [events](QMediaPlayer::Error e, const QString &text) {
                             if (e != QMediaPlayer::NoError)
                                 events.error(text);
                         });
    }

    ~QtPlayback() override
    {
        QObject::disconnect(m_player, nullptr, nullptr, nullptr);
        m_player->stop();
        delete m_player;
    }

    bool isAvailable() const override { return m_player->isAvailable(); }
    void setSource(const QUrl &source) override { m_player->setSource(source); }
    void play() override { m_player->play(); }
    void stop() override { m_player->stop(); }
    void setVolume(float volume) override { m_audio->setVolume(volume); }

private:
    QMediaPlayer *m_player;
    QAudioOutput *m_audio;
    QVideoWidget *m_video;
};

Player::PlaybackBackend *create(QWidget *host, const Player::PlaybackBackend::Events &events)
{
    return new QtPlayback(host, events);
}

} // namespace

#ifdef ZAVLEN_PLAYBACK_LINKED
namespace {
[[maybe_unused]] const bool linked = (Player::setLinkedBackend(&create), true);
}
#else
extern "C" Q_DECL_EXPORT Player::PlaybackBackend *zavlenCreatePlaybackBackend(
    QWidget *host, const Player::PlaybackBackend::Events &events)
{
    return create(host, events);
}
#endif
