#pragma once

#include "download/filename.h"

#include <QElapsedTimer>
#include <QFile>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QUrl>
#include <functional>
#include <memory>

class QNetworkReply;

namespace Download {

class Records;

struct DownloadResult
{
    enum class Status {
        Ok,
        Cancelled,
        BadAddress,   // not http/https, or not an address at all
        HttpError,    // the server answered with an error status or a redirect that is not followed
        NetworkError, // refused, reset, timed out
        Incomplete,   // fewer bytes arrived than announced
        FileError,    // the folder is not writable, the disk is full, the rename failed
        Busy,         // this target is already being downloaded
    };
    Status status = Status::Ok;
    QString error;      // a clear message for the status line, empty on success
    // The file written on success, which is the target unless that name was taken meanwhile;
    // otherwise the ".part" kept for a resume, or empty when there is none.
    QString path;
    qint64 bytes = 0;   // bytes on disk
    bool resumed = false;
    QString note;       // what the step before the rename had to say; the download stands

    bool ok() const { return status == Status::Ok; }
};

// Streams one file to "TARGET.part" as it arrives, continues an existing ".part" with a Range
// request where the server allows it, and renames to TARGET only when the transfer is complete,
// never replacing a file: when TARGET is taken by then, to a free name beside it. A ".part" is
// continued only when the records say it was started for the same address, and only with the
// same version of the file (If-Range); one of unknown origin stays as it is, and the download
// takes the next free name. A TARGET named ".bin" takes the extension its content shows.
class Downloader : public QObject
{
    Q_OBJECT
public:
    explicit Downloader(QObject *parent = nullptr);
    ~Downloader() override;

    // false (and finished(Busy) is not emitted) when a download to the same target already runs
    // in this process.
    bool start(const QUrl &url, const QString &targetPath);
    // Where ".part"s and finished files are remembered; none: every ".part" found is another's.
    void setRecords(std::shared_ptr<Records> records);
    // Runs on the complete ".part" just before it takes its name (tags, say), so that a file under
    // the final name never holds half of it. Returns a note, empty when all went well.
    void setBeforeRename(std::function<QString(const QString &partPath)> step);
    void cancel();
    bool isRunning() const;
    QString target() const;

signals:
    // total is -1 while unknown; bytesPerSecond averaged over the transfer
    void progress(qint64 received, qint64 total, double bytesPerSecond);
    void finished(const Download::DownloadResult &result);

private:
    struct Private;
    Private *d;
};

} // namespace Download
