#include "download/partrules.h"

#include "download/filename.h"
#include "download/namerules.h"
#include "download/records.h"
#include "download/targetchoice.h"
#include "download/targets.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QNetworkReply>
#include <QUrl>

namespace Download {

QString partTarget(const QString &wanted, const QUrl &url, Records &records)
{
    const QFileInfo part(wanted + partSuffix);
    const QString video = url.toString(QUrl::FullyEncoded);
    if ((!part.exists() && !part.isSymLink()) || records.partOf(wanted, video))
        return wanted;
    const QFileInfo info(wanted);
    const QDir dir = info.dir();
    TargetWish wish;
    wish.folder = dir.path();
    wish.fileName = info.fileName();
    wish.video = video;
    wish.reserved = [&dir](const QString &name) { return isClaimed(Records::key(dir.filePath(name))); };
    wish.finishedEnds = false;
    const QString chosen = chooseTarget(wish, records).path;
    return chosen.isEmpty() ? QString() : Records::key(chosen);
}

QString answerValidator(const QNetworkReply &reply)
{
    const QByteArray etag = reply.rawHeader("ETag").trimmed();
    // A weak one may not be sent with If-Range.
    if (!etag.isEmpty() && !etag.startsWith("W/"))
        return QString::fromLatin1(etag);
    return QString::fromLatin1(reply.rawHeader("Last-Modified").trimmed());
}

bool sameVersion(const QString &sentValidator, const QNetworkReply &reply)
{
    if (sentValidator.isEmpty())
        return true;
    const QByteArray header = sentValidator.startsWith(u'"') ? "ETag" : "Last-Modified";
    const QByteArray answered = reply.rawHeader(header).trimmed();
    return answered.isEmpty() || QString::fromLatin1(answered) == sentValidator;
}

QString contentTarget(const QString &target, const QString &partPath)
{
    const QString unknown = u'.' + unknownExtension;
    if (!target.endsWith(unknown, Qt::CaseInsensitive))
        return target;
    QFile file(partPath);
    const QByteArray head = file.open(QIODevice::ReadOnly) ? file.read(16) : QByteArray();
    return target.chopped(unknown.size()) + u'.' + contentExtension(head);
}

} // namespace Download
