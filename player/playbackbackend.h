#pragma once

#include <QString>
#include <QUrl>
#include <functional>

class QWidget;

namespace Player {

// What the embedded player needs of a media backend. The backend lives in a module of its own,
// loaded on the first preview: Qt Multimedia and the sound libraries it brings cost the window's
// start-up a third of its time, and most runs never preview a video.
class PlaybackBackend
{
public:
    enum class Playback { Stopped, Playing, Paused };
    enum class Media { Other, Ended, Invalid };
    struct Events
    {
        std::function<void(Playback)> playback;
        std::function<void(Media)> media;
        std::function<void(const QString &)> error; // the backend's text, maybe empty
    };

    virtual ~PlaybackBackend() = default;
    virtual bool isAvailable() const = 0;
    virtual void setSource(const QUrl &source) = 0;
    virtual void play() = 0;
    virtual void stop() = 0;
    virtual void setVolume(float volume) = 0; // 0..1
};

// The module's one export; `host` is the player widget, which gets the video picture as its child.
using CreateBackend = PlaybackBackend *(*)(QWidget *host, const PlaybackBackend::Events &events);
inline constexpr char createBackendSymbol[] = "zavlenCreatePlaybackBackend";
// Without its suffix: QLibrary adds the system's own (.so, .dll).
inline constexpr char backendModuleName[] = "zavlen-playback";

// Programs that link the backend in (the tests) name it here instead of loading the module.
void setLinkedBackend(CreateBackend create);

} // namespace Player
