#include "download/targetchoice.h"

#include "config/settings.h"
#include "download/filename.h"
#include "download/namerules.h"
#include "download/records.h"

#include <QDir>
#include <QFileInfo>

namespace Download {

namespace {

// A dangling link is no more free than a file.
bool occupied(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

} // namespace

TargetChoice chooseTarget(const TargetWish &wish, Records &records)
{
    const QDir dir(wish.folder);
    const auto held = [&wish](const QString &name) { return wish.reserved && wish.reserved(name); };
    TargetChoice choice;
    const auto usable = [&](const QString &name) {
        if (held(name))
            return false;
        const QString path = dir.filePath(name);
        if (occupied(path)) {
            choice.finished = wish.finishedEnds && records.isFinished(path, wish.video);
            return choice.finished;
        }
        // A video named from a program's extension takes its content's once complete.
        if (wish.finishedEnds && name.endsWith(u'.' + unknownExtension)) {
            for (const QString &extension : {QStringLiteral("mp4"), QStringLiteral("flv")}) {
                const QString shown = dir.filePath(name.chopped(unknownExtension.size()) + extension);
                if (occupied(shown) && records.isFinished(shown, wish.video)) {
                    choice.path = shown;
                    choice.finished = true;
                    return true;
                }
            }
        }
        if (occupied(path + partSuffix) && !records.partOf(path, wish.video))
            return false;
        for (const QString &suffix : wish.sideSuffixes) {
            const QString side = sideName(name, suffix);
            if (held(side) || (occupied(dir.filePath(side)) && !records.isSideOf(dir.filePath(side), wish.video)))
                return false;
        }
        return true;
    };
    const QString name = freeName(wish.fileName, usable);
    if (choice.path.isEmpty() && !name.isEmpty())
        choice.path = dir.filePath(name);
    return choice;
}

QStringList sideSuffixes(const Config::Download &keep)
{
    QStringList out;
    if (keep.writeInfoJson)
        out << QStringLiteral(".info.json");
    if (keep.writeThumbnail)
        out << QStringLiteral(".jpg") << QStringLiteral(".png") << QStringLiteral(".webp") << QStringLiteral(".gif");
    return out;
}

} // namespace Download
