#include "download/provenance.h"

#include "download/mp4boxes.h"
#include "extract/videoinfo.h"
#include "os/files.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
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

const QString notMp4 =
    QStringLiteral("not tagged: the file is not MP4 as far as TagLib can tell; its bytes are kept as served");

QString writeTags(const QString &path, const Extract::VideoInfo &info)
{
    TagLib::MP4::File file(Os::nativePath(path).c_str(), false);
    if (!file.isValid() || !file.tag())
        return notMp4;
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

QString embedTags(const QString &path, const Extract::VideoInfo &info)
{
    // TagLib trusts the sizes it reads; a file whose boxes do not add up would come out broken.
    const BoxLayout before = readBoxLayout(path);
    if (!before.mp4)
        return notMp4;
    if (!before.sound)
        return QStringLiteral("not tagged: the file's boxes do not add up (%1); its bytes are kept as served")
            .arg(before.problem);
    // A last box "to the end of the file" would still end where the tags used to end.
    if (before.openEndedAt >= 0 && !setBoxSize(path, before.openEndedAt, before.openEndedSize))
        return QStringLiteral("not tagged: its last box runs to the end of the file and is too long to be given its "
                              "size; its bytes are kept as served");
    const QString problem = writeTags(path, info);
    if (!problem.isEmpty()) {
        if (before.openEndedAt >= 0 && QFileInfo(path).size() == before.openEndedAt + before.openEndedSize)
            setBoxSize(path, before.openEndedAt, 0);
        return problem;
    }
    const BoxLayout after = readBoxLayout(path);
    if (!after.sound)
        return QStringLiteral("tagged, but the file's boxes no longer add up (%1)").arg(after.problem);
    return QString();
}

PageDating datePageFile(const QString &path, const QString &pageDateText, const QDateTime &now)
{
    const std::optional<QDateTime> when = pageDate(pageDateText);
    if (!when)
        return PageDating::NoMoment;
    // Before any of these services, or in the future: a page's mistake, not the video's day.
    if (*when < QDateTime(QDate(2005, 1, 1), QTime(0, 0), chinaTime) || *when > now.addDays(1))
        return PageDating::Implausible;
    QFile file(path);
    return file.open(QIODevice::ReadWrite) && file.setFileTime(*when, QFileDevice::FileModificationTime)
               ? PageDating::Set
               : PageDating::Failed;
}

} // namespace Download
