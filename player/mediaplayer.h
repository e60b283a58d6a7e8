#pragma once

#include <QString>
#include <QWidget>

class QMediaPlayer;
class QAudioOutput;
class QVideoWidget;

namespace Player {

// The embedded player W1: an address property with automatic start, a 0-100 volume and a
// play-state notification in which 1 means stopped (also at the end of the media and after a
// playback error). Clearing the address never re-raises a stopped notification from inside one.
class MediaPlayer : public QWidget
{
    Q_OBJECT
public:
    enum State { Undefined = 0, Stopped = 1, Paused = 2, Playing = 3, MediaEnded = 8, Transitioning = 9 };

    explicit MediaPlayer(QWidget *parent = nullptr);
    ~MediaPlayer() override;

    QString URL() const;
    void setURL(const QString &address); // empty: stop and unload; otherwise load and start

    int volume() const;                  // settings.volume
    void setVolume(int volume);          // clamped to 0..100

    // The media backend fetches on its own, outside the program's network access point; it
    // honours http_proxy, so the configured proxy is handed to it that way.
    static void setProxy(const QString &proxyUrl);

    QString errorString() const;         // why the last playback failed, empty otherwise
    int playState() const;

signals:
    void PlayStateChange(int newState);

private:
    struct Private;
    Private *d;
};

} // namespace Player
