#include "player/mediaplayer.h"

#include <QAudioOutput>
#include <QFileInfo>
#include <QMediaPlayer>
#include <QTimer>
#include <QVBoxLayout>
#include <QVideoWidget>

namespace Player {

struct MediaPlayer::Private
{
    MediaPlayer *q = nullptr;
    QMediaPlayer *player = nullptr;
    QAudioOutput *audio = nullptr;
    QVideoWidget *video = nullptr;

    QString url;
    QString error;
    int volume = 50;
    int state = Undefined;

    bool notifyingStop = false; // a handler of the stopped notification is running
    bool ignoreBackend = false; // our own stop/unload: the backend's echoes are not news
    int loading = 0;            // inside setURL's calls to the backend
    quint64 generation = 0;

    void report(int newState);
    void emitState(int newState);
    void onPlaybackState(QMediaPlayer::PlaybackState playback);
    void onMediaStatus(QMediaPlayer::MediaStatus status);
    void onError(QMediaPlayer::Error code, const QString &text);
    void silentStop();
    void ensureBackend();
};

void MediaPlayer::setProxy(const QString &proxyUrl)
{
    if (proxyUrl.isEmpty())
        return;
    const QString withScheme = proxyUrl.contains(QLatin1String("://")) ? proxyUrl : QLatin1String("http://") + proxyUrl;
    qputenv("http_proxy", withScheme.toUtf8());
}

void MediaPlayer::Private::report(int newState)
{
    if (newState == state)
        return;
    if (newState == Stopped && state == Undefined) {
        state = Stopped;
        return; // nothing was playing
    }
    state = newState;
    if (loading > 0) {
        // Raised while the address is being assigned: the caller has not finished its own
        // steps yet, so tell it afterwards.
        const quint64 gen = generation;
        QTimer::singleShot(0, q, [this, gen, newState] {
            if (gen == generation)
                emitState(newState);
        });
        return;
    }
    emitState(newState);
}

void MediaPlayer::Private::emitState(int newState)
{
    if (notifyingStop)
        return;
    if (newState != Stopped) {
        emit q->PlayStateChange(newState);
        return;
    }
    notifyingStop = true;
    emit q->PlayStateChange(Stopped);
    notifyingStop = false;
}

void MediaPlayer::Private::onPlaybackState(QMediaPlayer::PlaybackState playback)
{
    if (ignoreBackend)
        return;
    switch (playback) {
    case QMediaPlayer::PlayingState:
        report(Playing);
        break;
    case QMediaPlayer::PausedState:
        report(Paused);
        break;
    case QMediaPlayer::StoppedState:
        report(Stopped);
        break;
    }
}

void MediaPlayer::Private::onMediaStatus(QMediaPlayer::MediaStatus status)
{
    if (ignoreBackend)
        return;
    if (status == QMediaPlayer::EndOfMedia) {
        if (state != Stopped && state != Undefined) {
            report(MediaEnded);
            report(Stopped);
        }
    } else if (status == QMediaPlayer::InvalidMedia) {
        if (error.isEmpty())
            error = QStringLiteral("无法播放该媒体");
        report(Stopped);
        silentStop();
    }
}

void MediaPlayer::Private::onError(QMediaPlayer::Error code, const QString &text)
{
    if (ignoreBackend || code == QMediaPlayer::NoError)
        return;
    error = text.isEmpty() ? QStringLiteral("无法播放该媒体") : text;
    report(Stopped);
    // The backend may stay in its playing state after an error.
    silentStop();
}

void MediaPlayer::Private::silentStop()
{
    const quint64 gen = generation;
    QTimer::singleShot(0, q, [this, gen] {
        if (gen != generation || !player)
            return;
        ignoreBackend = true;
        player->stop();
        ignoreBackend = false;
    });
}

MediaPlayer::MediaPlayer(QWidget *parent) : QWidget(parent), d(new Private)
{
    d->q = this;
    auto *layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
}

// The backend (GStreamer, the sound server) is slow to start and most runs never preview a
// video, so it is created on the first play rather than with the window.
void MediaPlayer::Private::ensureBackend()
{
    if (player)
        return;
    player = new QMediaPlayer(q);
    audio = new QAudioOutput(q);
    video = new QVideoWidget(q);
    player->setAudioOutput(audio);
    player->setVideoOutput(video);
    audio->setVolume(float(volume) / 100.0f);
    video->setAspectRatioMode(Qt::KeepAspectRatio);
    q->layout()->addWidget(video);

    QObject::connect(player, &QMediaPlayer::playbackStateChanged, q,
            [this](QMediaPlayer::PlaybackState s) { onPlaybackState(s); });
    QObject::connect(player, &QMediaPlayer::mediaStatusChanged, q,
            [this](QMediaPlayer::MediaStatus s) { onMediaStatus(s); });
    QObject::connect(player, &QMediaPlayer::errorOccurred, q,
            [this](QMediaPlayer::Error e, const QString &text) { onError(e, text); });
}

MediaPlayer::~MediaPlayer()
{
    d->ignoreBackend = true;
    if (d->player) {
        disconnect(d->player, nullptr, this, nullptr);
        d->player->stop();
        delete d->player;
    }
    delete d;
}

QString MediaPlayer::URL() const
{
    return d->url;
}

void MediaPlayer::setURL(const QString &address)
{
    ++d->generation;
    d->url = address;
    const bool wasActive = d->state != Undefined && d->state != Stopped;

    if (!address.isEmpty())
        d->ensureBackend();
    if (d->player) {
        d->ignoreBackend = true;
        d->player->stop();
        if (address.isEmpty())
            d->player->setSource(QUrl());
        d->ignoreBackend = false;
    }

    if (address.isEmpty()) {
        if (wasActive)
            d->report(Stopped);
        return;
    }

    // A new address replaces the old one without a stopped notification of its own.
    d->state = Undefined;
    d->error.clear();
    ++d->loading;
    d->report(Transitioning);
    if (!d->player->isAvailable()) {
        d->error = QStringLiteral("没有可用的多媒体组件");
        d->report(Stopped);
    } else {
        const QFileInfo local(address);
        const QUrl source = local.isAbsolute() && local.exists() ? QUrl::fromLocalFile(address) : QUrl(address);
        d->player->setSource(source);
        d->player->play();
    }
    --d->loading;
}

int MediaPlayer::volume() const
{
    return d->volume;
}

void MediaPlayer::setVolume(int volume)
{
    d->volume = qBound(0, volume, 100);
    if (d->audio)
        d->audio->setVolume(float(d->volume) / 100.0f);
}

QString MediaPlayer::errorString() const
{
    return d->error;
}

int MediaPlayer::playState() const
{
    return d->state;
}

} // namespace Player
