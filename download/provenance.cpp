#include "download/provenance.h"

#include "extract/videoinfo.h"
#include "os/files.h"
#include "web/transfer.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSaveFile>
#include <QTimeZone>

#include <taglib/mp4file.h>
#include <taglib/mp4tag.h>
#include <taglib/tstringlist.h>

namespace Download {

namespace {

const QTimeZone chinaTime(8 * 3600);

TagLib::String tagText(const QString &text)
{
    return TagLib::String(text.toStdString(), TagLib::String::UTF8);
}

QString saveError(const QSaveFile &file)
{
    return QStringLiteral("cannot write %1: %2").arg(file.fileName(), file.errorString());
}

} // namespace

std::optional<QDateTime> pageDate(const QString &text)
{
    const QString t = text.trimmed();
    static const QRegularExpression number(QStringLiteral("^\\d{9,13}$"));
    if (number.match(t).hasMatch()) {
        const qint64 n = t.toLongLong();
        const QDateTime when = QDateTime::fromSecsSinceEpoch(t.size() > 10 ? n / 1000 : n, chinaTime);
        return when.isValid() ? std::optional(when) : std::nullopt;
    }
    for (const char *format : {"yyyy-MM-dd HH:mm:ss", "yyyy-MM-dd HH:mm", "yyyy-MM-dd", "yyyy/MM/dd HH:mm:ss",
                               "yyyy/MM/dd HH:mm", "yyyy/MM/dd", "yyyy.MM.dd", "yyyy年M月d日"}) {
        QDateTime when = QDateTime::fromString(t, QString::fromUtf8(format));
        if (when.isValid()) {
            when.setTimeZone(chinaTime);
            return when;
        }
    }
    return std::nullopt;
}

QString besideVideo(const QString &videoPath, const QString &suffix)
{
    const QFileInfo video(videoPath);
    const QString name = video.fileName();
    const qsizetype dot = name.lastIndexOf(u'.');
    return video.dir().filePath((dot > 0 ? name.left(dot) : name) + suffix);
}

QString embedTags(const QString &path, const Extract::VideoInfo &info)
{
    TagLib::MP4::File file(Os::nativePath(path).c_str(), false);
    if (!file.isValid() || !file.tag())
        return QStringLiteral("not tagged: the file is not MP4 as far as TagLib can tell; its bytes are kept as served");
    TagLib::MP4::Tag *tag = file.tag();
    if (!info.description.isEmpty())
        tag->setTitle(tagText(info.description));
    if (!info.author.isEmpty())
        tag->setArtist(tagText(info.author));
    if (!info.date.isEmpty()) {
        const std::optional<QDateTime> when = pageDate(info.date);
        tag->setItem("\251day", TagLib::StringList(tagText(when ? when->toString(Qt::ISODate) : info.date)));
    }
    QString comment = info.page;
    if (info.archived)
        comment += u'\n' + info.archived->page;
    tag->setComment(tagText(comment));
    if (!file.save())
        return QStringLiteral("not tagged: TagLib could not write the tags");
    return QString();
}

bool datePageFile(const QString &path, const QString &pageDateText)
{
    const std::optional<QDateTime> when = pageDate(pageDateText);
    if (!when)
        return false;
    QFile file(path);
    return file.open(QIODevice::ReadWrite) && file.setFileTime(*when, QFileDevice::FileModificationTime);
}

QString pictureSuffix(const QByteArray &contentType, const QByteArray &bytes)
{
    const QByteArray type = contentType.split(';').constFirst().trimmed().toLower();
    if (type == "image/jpeg" || type == "image/jpg" || type == "image/pjpeg")
        return QStringLiteral(".jpg");
    if (type == "image/png")
        return QStringLiteral(".png");
    if (type == "image/webp")
        return QStringLiteral(".webp");
    // Archives and old CDNs often say octet-stream; the picture's own signature still tells.
    if (bytes.startsWith("\xff\xd8\xff"))
        return QStringLiteral(".jpg");
    if (bytes.startsWith("\x89PNG\r\n\x1a\n"))
        return QStringLiteral(".png");
    if (bytes.size() >= 12 && bytes.startsWith("RIFF") && bytes.mid(8, 4) == "WEBP")
        return QStringLiteral(".webp");
    return QString();
}

QString writeInfoJson(const QString &videoPath, const QByteArray &recordLine, const QDateTime &downloaded)
{
    QFile video(videoPath);
    QCryptographicHash sha(QCryptographicHash::Sha256);
    if (!video.open(QIODevice::ReadOnly) || !sha.addData(&video))
        return QStringLiteral("cannot read %1: %2").arg(videoPath, video.errorString());
    const QByteArray record = recordLine.trimmed();
    if (!record.endsWith('}'))
        return QStringLiteral("no record to write");
    QByteArray json = record.chopped(1);
    json += ",\"downloaded\":\"" + downloaded.toUTC().toString(Qt::ISODate).toLatin1() + '"';
    json += ",\"size\":" + QByteArray::number(video.size());
    json += ",\"sha256\":\"" + sha.result().toHex() + "\"}\n";

    QSaveFile file(besideVideo(videoPath, QStringLiteral(".info.json")));
    if (!file.open(QIODevice::WriteOnly) || file.write(json) != json.size() || !file.commit())
        return saveError(file);
    return QString();
}

void saveThumbnail(const QString &cover, const QString &videoPath, QObject *context,
                   std::function<void(const QString &path, const QString &problem)> done)
{
    if (cover.isEmpty()) {
        QMetaObject::invokeMethod(context, [done] { done(QString(), QStringLiteral("the page names no cover")); },
                                  Qt::QueuedConnection);
        return;
    }
    auto *transfer = new Web::Transfer(cover, {}, context);
    QObject::connect(transfer, &Web::Transfer::finished, context, [transfer, videoPath, done] {
        transfer->deleteLater();
        const Web::FetchResult &answer = transfer->result();
        if (!answer.ok())
            return done(QString(), QStringLiteral("cover not saved: %1").arg(answer.errorString));
        if (answer.httpStatus < 200 || answer.httpStatus > 299)
            return done(QString(), QStringLiteral("cover not saved: the server answered HTTP %1").arg(answer.httpStatus));
        const QString suffix = pictureSuffix(answer.contentType, answer.body);
        if (suffix.isEmpty())
            return done(QString(), QStringLiteral("cover not saved: it is not a JPEG, PNG or WebP picture"));
        QSaveFile file(besideVideo(videoPath, suffix));
        if (!file.open(QIODevice::WriteOnly) || file.write(answer.body) != answer.body.size() || !file.commit())
            return done(QString(), QStringLiteral("cover not saved: ") + saveError(file));
        done(file.fileName(), QString());
    });
}

} // namespace Download
