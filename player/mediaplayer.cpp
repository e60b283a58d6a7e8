#include "player/mediaplayer.h"
#include "player/playbackbackend.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QLibrary>
#include <QTimer>
#include <QVBoxLayout>
#include <memory>

namespace Player {

namespace {

CreateBackend linkedBackend = nullptr;

// The module beside the program (the link in bin/ resolves to the private folder), loaded once.
CreateBackend moduleBackend()
{
    static const CreateBackend create = [] {
        QLibrary module(QCoreApplication::applicationDirPath() + QLatin1Char('/')
                        + QLatin1String(backendModuleName));
        return reinterpret_cast<CreateBackend>(module.resolve(createBackendSymbol));
    }();
    return create;
}

} // namespace

void setLinkedBackend(CreateBackend create)
{
    linkedBackend = create;
}

struct MediaPlayer::Private
{
    MediaPlayer *q = nullptr;
    std::unique_ptr<PlaybackBackend> player;
    bool backendTried = false;

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
    void onPlaybackState(PlaybackBackend::Playback playback);
    void onMediaStatus(PlaybackBackend::Media status);
    void onError(const QString &text);
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

void MediaPlayer::Private::onPlaybackState(PlaybackBackend::Playback playback)
{
    if (ignoreBackend)
        return;
    switch (playback) {
    case PlaybackBackend::Playback::Playing:
        report(Playing);
        break;
    case PlaybackBackend::Playback::Paused:
        report(Paused);
        break;
    case PlaybackBackend::Playback::Stopped:
        report(Stopped);
        break;
    }
}

void MediaPlayer::Private::onMediaStatus(PlaybackBackend::Media status)
{
    if (ignoreBackend)
        return;
    if (status == PlaybackBackend::Media::Ended) {
        if (state != Stopped && state != Undefined) {
            report(MediaEnded);
            report(Stopped);
        }
    } else if (status == PlaybackBackend::Media::Invalid) {
        if (error.isEmpty())
            error = QStringLiteral("无法播放该媒体");
        report(Stopped);
        silentStop();
    }
}

void MediaPlayer::Private::onError(const QString &text)
{
    if (ignoreBackend)
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
    if (player || backendTried)
        return;
    backendTried = true;
    const CreateBackend create = linkedBackend ? linkedBackend : moduleBackend();
    if (!create)
        return;
    PlaybackBackend::Events events;
    events.playback = [this](PlaybackBackend::Playback s) { onPlaybackState(s); };
    events.media = [this](PlaybackBackend::Media s) { onMediaStatus(s); };
    events.error = [this](const QString &text) { onError(text); };
    player.reset(create(q, events));
    if (player)
        player->setVolume(float(volume) / 100.0f);
}

MediaPlayer::~MediaPlayer()
{
    d->ignoreBackend = true;
    d->player.reset();
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
    if (!d->player || !d->player->isAvailable()) {
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
    if (d->player)
        d->player->setVolume(float(d->volume) / 100.0f);
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
