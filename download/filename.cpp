#include "download/filename.h"
#include "os/files.h"

#include "download/namerules.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QUrl>
#include <algorithm>
#include <cerrno>
#include <utility>

namespace Download {

namespace {

// safeFileName leaves this much for the number uniquePath and zavlen-get add: " (999)".
constexpr qsizetype numberRoom = 6;

qsizetype encodedSize(const QString &text)
{
    return Os::fileNameLength(text);
}

// The longest start of `text` whose name takes at most `bytes` of the file system's units, cut
// between code points.
QString leftBytes(const QString &text, qsizetype bytes)
{
    if (encodedSize(text) <= bytes)
        return text;
    qsizetype used = 0;
    qsizetype end = 0;
    while (end < text.size()) {
        const qsizetype step =
            text.at(end).isHighSurrogate() && end + 1 < text.size() && text.at(end + 1).isLowSurrogate() ? 2 : 1;
        used += encodedSize(text.mid(end, step));
        if (used > bytes)
            break;
        end += step;
    }
    return text.left(end);
}

bool endsWithPart(const QString &name)
{
    return name.endsWith(partSuffix, Qt::CaseInsensitive);
}

void trimEnd(QString &name)
{
    while (!name.isEmpty() && (name.back() == u'.' || name.back().isSpace()))
        name.chop(1);
}

// A dangling link is no more free than a file.
bool occupied(const QString &path)
{
    const QFileInfo info(path);
    return info.exists() || info.isSymLink();
}

} // namespace

QString safeFileName(const QString &address)
{
    QString s = address.trimmed();
    const qsizetype cut = s.indexOf(QRegularExpression(QStringLiteral("[?#]")));
    if (cut >= 0)
        s.truncate(cut);
    const qsizetype scheme = s.indexOf(QStringLiteral("://"));
    if (scheme >= 0) {
        const qsizetype slash = s.indexOf(u'/', scheme + 3);
        s = slash >= 0 ? s.mid(slash) : QString();
    }
    // The last segment before decoding, so that an encoded separator cannot open a path.
    const qsizetype lastSep = qMax(s.lastIndexOf(u'/'), s.lastIndexOf(u'\\'));
    s = s.mid(lastSep + 1);
    s = QUrl::fromPercentEncoding(s.toUtf8());

    QString name;
    name.reserve(s.size());
    for (const QChar c : std::as_const(s)) {
        const char16_t u = c.unicode();
        const bool control = u < 0x20 || (u >= 0x7f && u <= 0x9f);
        const bool reserved = QStringLiteral("/\\<>:\"|?*").contains(c);
        name += (control || reserved) ? u'_' : c;
    }
    static const QRegularExpression dots(QStringLiteral("\\.{2,}"));
    name.replace(dots, QStringLiteral("."));
    while (!name.isEmpty() && (name.front() == u'.' || name.front().isSpace()))
        name.remove(0, 1);
    trimEnd(name);
    while (endsWithPart(name)) {
        name.chop(partSuffix.size());
        trimEnd(name);
    }

    static const QRegularExpression hasExtension(QStringLiteral("\\.[A-Za-z0-9]{1,5}$"));
    const bool extended = hasExtension.match(name).hasMatch();
    const qsizetype dot = name.lastIndexOf(u'.');
    QString extension = extended ? name.mid(dot) : QStringLiteral(".mp4");
    // A server naming its video "setup.exe" gets no program on the user's desktop.
    extension = withoutProgramExtension(extension);
    QString base = guardedName((extended ? name.left(dot) : name) + extension).chopped(extension.size());

    base = leftBytes(base, maxFileNameBytes - encodedSize(partSuffix) - numberRoom - encodedSize(extension));
    trimEnd(base);
    const bool meaningful = std::any_of(base.cbegin(), base.cend(), [](QChar c) { return c.isLetterOrNumber(); });
    if (!meaningful)
        return QStringLiteral("video") + extension;
    return base + extension;
}

QString finalFileName(const QString &fileName)
{
    QString name = fileName;
    while (endsWithPart(name))
        name.chop(partSuffix.size());
    return name.isEmpty() ? QStringLiteral("video.mp4") : name;
}

QString numberedName(const QString &fileName, int n)
{
    const qsizetype dot = fileName.lastIndexOf(u'.');
    const QString base = dot > 0 ? fileName.left(dot) : fileName;
    const QString extension = dot > 0 ? fileName.mid(dot) : QString();
    const QString number = QStringLiteral(" (%1)").arg(n);
    const qsizetype room = maxFileNameBytes - encodedSize(partSuffix) - encodedSize(number) - encodedSize(extension);
    return leftBytes(base, std::max<qsizetype>(0, room)) + number + extension;
}

QString uniquePath(const QString &folder, const QString &fileName)
{
    const QDir dir(folder);
    const auto isFree = [&dir](const QString &name) {
        return !occupied(dir.filePath(name)) && !occupied(dir.filePath(name + partSuffix));
    };
    const QString name = freeName(fileName, isFree);
    return name.isEmpty() ? QString() : dir.filePath(name);
}

QString freeName(const QString &fileName, const std::function<bool(const QString &name)> &isFree)
{
    if (isFree(fileName))
        return fileName;
    // Bounded: a folder that refuses every name (or a rule that does) must not hold a run for ever.
    for (int n = 2; n <= maxNameNumber; ++n) {
        const QString candidate = numberedName(fileName, n);
        if (isFree(candidate))
            return candidate;
    }
    return QString();
}

QString renameToFreeName(const QString &from, const QString &to, int &error)
{
    const QFileInfo wanted(to);
    QString target = to;
    // Each round loses only to a name that appeared since it was looked at.
    for (int round = 0; round < 100; ++round) {
        error = Os::renameNoReplace(from, target);
        if (error != EEXIST)
            return error == 0 ? target : QString();
        target = uniquePath(wanted.path(), wanted.fileName());
        if (target.isEmpty())
            return QString();
    }
    return QString();
}

} // namespace Download
