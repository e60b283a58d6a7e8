#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QString>
#include <functional>
#include <optional>

namespace Extract {
struct VideoInfo;
}

namespace Download {

// The moment a page's date stands for, when it reads as one. The services wrote China's time
// without saying so; a bare number is seconds (or milliseconds) since 1970. Either way the
// moment is given in China's time, so its day is the day the service showed.
std::optional<QDateTime> pageDate(const QString &text);

// NAME + suffix beside the video NAME.EXT: "clip.mp4", ".info.json" → "clip.info.json".
QString besideVideo(const QString &videoPath, const QString &suffix);

// Title, artist, date and comment (the page, and the capture for an archived result) written
// into the MP4 file at `path`. Empty when written; otherwise why not, with the file untouched
// where it could not be read as MP4.
QString embedTags(const QString &path, const Extract::VideoInfo &info);

// The file's modification time set to the page's date; false when the date is no moment or
// the time could not be set.
bool datePageFile(const QString &path, const QString &pageDateText);

// ".jpg", ".png" or ".webp" for a picture of that kind, by its content type or failing that its
// first bytes; empty for anything else.
QString pictureSuffix(const QByteArray &contentType, const QByteArray &bytes);

// NAME.info.json beside the video: the keys of `recordLine` (one JSON object), then when the
// video was complete, its size and its SHA-256. Empty when written, otherwise why not.
QString writeInfoJson(const QString &videoPath, const QByteArray &recordLine, const QDateTime &downloaded);

// Fetches the cover and writes it beside the video as NAME.jpg, .png or .webp. `done` gets the
// path written or, with an empty path, why nothing was; it is not called once `context` is gone.
void saveThumbnail(const QString &cover, const QString &videoPath, QObject *context,
                   std::function<void(const QString &path, const QString &problem)> done);

} // namespace Download
