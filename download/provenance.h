#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QObject>
#include <QString>
#include <functional>
#include <memory>
#include <optional>

namespace Extract {
struct VideoInfo;
}

namespace Download {

class Records;

// The moment a page's date stands for, when it reads as one. The services wrote China's time
// without saying so; a bare number is seconds (or milliseconds) since 1970. Either way the
// moment is given in China's time, so its day is the day the service showed.
std::optional<QDateTime> pageDate(const QString &text);

// The file with `suffix` beside the video (see sideName): "clip.mp4", ".info.json" →
// "clip.info.json", but "x.jpg", ".jpg" → "x.jpg.jpg".
QString besideVideo(const QString &videoPath, const QString &suffix);

// Title, artist, date and comment (the page, and the capture for an archived result) written
// into the MP4 file at `path`. Empty when written; otherwise why not, with the file's bytes
// untouched where it could not be read as MP4 or its boxes do not add up. A last box that runs
// "to the end of the file" is given its size first.
QString embedTags(const QString &path, const Extract::VideoInfo &info);

enum class PageDating {
    Set,
    NoMoment,    // the page's date reads as no moment
    Implausible, // before 2005 or after tomorrow
    Failed,      // the file's time could not be set
};
// The file's modification time set to the page's date, when that is a plausible one.
PageDating datePageFile(const QString &path, const QString &pageDateText,
                        const QDateTime &now = QDateTime::currentDateTimeUtc());

// ".jpg", ".png", ".webp" or ".gif" for a picture of that kind, by its first bytes (whatever
// the server said it is); empty for anything else.
QString pictureSuffix(const QByteArray &bytes);

// What became of a file meant for beside the video.
struct SideOutcome
{
    QString path;        // written; empty: not
    QString problem;     // why not
    bool failed = false; // the write failed (rather than: the name is another file's, left alone)
};

// NAME.info.json beside the video: the keys of `recordLine` (one JSON object), then when the
// video was complete, its size and its SHA-256. A file under that name that was not written
// for the same video (`video`, its address) is left alone.
SideOutcome writeInfoJson(const QString &videoPath, const QByteArray &recordLine, const QDateTime &downloaded,
                          Records &records, const QString &video);

// Fetches the cover and writes it beside the video as NAME.jpg, .png, .webp or .gif, by what its
// bytes are, unless a file under that name was not written for the same video. `done` gets the
// path written or, with an empty path, why nothing was; it is not called once `context` is gone.
void saveThumbnail(const QString &cover, const QString &videoPath, std::shared_ptr<Records> records,
                   const QString &video, QObject *context,
                   std::function<void(const QString &path, const QString &problem)> done);

} // namespace Download
