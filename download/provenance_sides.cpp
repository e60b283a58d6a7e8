// The files beside a video: its record and its cover. Neither ever takes the place of a file that
// was not written for the same video.
#include "download/provenance.h"

#include "download/namerules.h"
#include "download/records.h"
#include "web/transfer.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

namespace Download {

namespace {

// Whose the file at `path` is: nobody's (free), this video's side file, or somebody else's.
bool mayWrite(const QString &path, Records &records, const QString &video)
{
    const QFileInfo info(path);
    return (!info.exists() && !info.isSymLink()) || (info.isFile() && records.isSideOf(path, video));
}

QString takenText(const QString &path)
{
    return QStringLiteral("%1 is already there and was not written for this video; it is left as it is")
        .arg(QDir::toNativeSeparators(path));
}

// Writes `bytes` to `path` whole, or not at all; empty when written, otherwise why not.
QString writeWhole(const QString &path, const QByteArray &bytes, Records &records, const QString &video)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit())
        return QStringLiteral("cannot write %1: %2").arg(file.fileName(), file.errorString());
    records.wroteSide(path, video);
    return QString();
}

} // namespace

QString besideVideo(const QString &videoPath, const QString &suffix)
{
    const QFileInfo video(videoPath);
    return video.dir().filePath(sideName(video.fileName(), suffix));
}

QString pictureSuffix(const QByteArray &bytes)
{
    // What a server says a cover is counts for nothing: error pages come as image/jpeg too.
    if (bytes.startsWith("\xff\xd8\xff"))
        return QStringLiteral(".jpg");
    if (bytes.startsWith("\x89PNG\r\n\x1a\n"))
        return QStringLiteral(".png");
    if (bytes.size() >= 12 && bytes.startsWith("RIFF") && bytes.mid(8, 4) == "WEBP")
        return QStringLiteral(".webp");
    if (bytes.startsWith("GIF87a") || bytes.startsWith("GIF89a"))
        return QStringLiteral(".gif");
    return QString();
}

SideOutcome writeInfoJson(const QString &videoPath, const QByteArray &recordLine, const QDateTime &downloaded,
                          Records &records, const QString &video)
{
    SideOutcome out;
    const QString path = besideVideo(videoPath, QStringLiteral(".info.json"));
    if (!mayWrite(path, records, video)) {
        out.problem = QStringLiteral("record not written: ") + takenText(path);
        return out;
    }
    QFile bytes(videoPath);
    QCryptographicHash sha(QCryptographicHash::Sha256);
    out.failed = true;
    if (!bytes.open(QIODevice::ReadOnly) || !sha.addData(&bytes)) {
        out.problem = QStringLiteral("cannot read %1: %2").arg(videoPath, bytes.errorString());
        return out;
    }
    const QByteArray record = recordLine.trimmed();
    if (!record.endsWith('}')) {
        out.problem = QStringLiteral("no record to write");
        return out;
    }
    QByteArray json = record.chopped(1);
    json += ",\"downloaded\":\"" + downloaded.toUTC().toString(Qt::ISODate).toLatin1() + '"';
    json += ",\"size\":" + QByteArray::number(bytes.size());
    json += ",\"sha256\":\"" + sha.result().toHex() + "\"}\n";
    out.problem = writeWhole(path, json, records, video);
    out.failed = !out.problem.isEmpty();
    if (!out.failed)
        out.path = path;
    return out;
}

void saveThumbnail(const QString &cover, const QString &videoPath, std::shared_ptr<Records> records,
                   const QString &video, QObject *context,
                   std::function<void(const QString &path, const QString &problem)> done)
{
    if (cover.isEmpty()) {
        QMetaObject::invokeMethod(context, [done] { done(QString(), QStringLiteral("the page names no cover")); },
                                  Qt::QueuedConnection);
        return;
    }
    auto *transfer = new Web::Transfer(cover, {}, context);
    QObject::connect(transfer, &Web::Transfer::finished, context, [transfer, videoPath, records, video, done] {
        transfer->deleteLater();
        const Web::FetchResult &answer = transfer->result();
        if (!answer.ok())
            return done(QString(), QStringLiteral("cover not saved: %1").arg(answer.errorString));
        if (answer.httpStatus < 200 || answer.httpStatus > 299)
            return done(QString(), QStringLiteral("cover not saved: the server answered HTTP %1").arg(answer.httpStatus));
        const QString suffix = pictureSuffix(answer.body);
        if (suffix.isEmpty())
            return done(QString(), QStringLiteral("cover not saved: it is not a JPEG, PNG, WebP or GIF picture"));
        const QString path = besideVideo(videoPath, suffix);
        if (!mayWrite(path, *records, video))
            return done(QString(), QStringLiteral("cover not saved: ") + takenText(path));
        if (const QString problem = writeWhole(path, answer.body, *records, video); !problem.isEmpty())
            return done(QString(), QStringLiteral("cover not saved: ") + problem);
        done(path, QString());
    });
}

} // namespace Download
