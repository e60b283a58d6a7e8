#include "player/filename.h"

#include <QDir>
#include <QFileInfo>
#include <QRegularExpression>
#include <QUrl>
#include <algorithm>
#include <utility>

namespace Player {

namespace {

constexpr int maxNameLength = 120;

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
    while (!name.isEmpty() && (name.back() == u'.' || name.back().isSpace()))
        name.chop(1);

    static const QRegularExpression hasExtension(QStringLiteral("\\.[A-Za-z0-9]{1,5}$"));
    const qsizetype dot = name.lastIndexOf(u'.');
    QString extension = hasExtension.match(name).hasMatch() ? name.mid(dot) : QStringLiteral(".mp4");
    QString base = hasExtension.match(name).hasMatch() ? name.left(dot) : name;
    const bool meaningful = std::any_of(base.cbegin(), base.cend(), [](QChar c) { return c.isLetterOrNumber(); });
    if (!meaningful)
        return QStringLiteral("video") + extension;

    static const QRegularExpression reservedWindows(
        QStringLiteral("^(CON|PRN|AUX|NUL|COM[1-9]|LPT[1-9])$"), QRegularExpression::CaseInsensitiveOption);
    if (reservedWindows.match(base).hasMatch())
        base.prepend(u'_');

    const qsizetype room = maxNameLength - extension.size();
    if (base.size() > room) {
        base.truncate(room);
        if (base.back().isHighSurrogate())
            base.chop(1);
    }
    return base + extension;
}

QString uniquePath(const QString &folder, const QString &fileName)
{
    const QDir dir(folder);
    const QString first = dir.filePath(fileName);
    if (!QFileInfo::exists(first))
        return first;
    const qsizetype dot = fileName.lastIndexOf(u'.');
    const QString base = dot > 0 ? fileName.left(dot) : fileName;
    const QString extension = dot > 0 ? fileName.mid(dot) : QString();
    for (int n = 2;; ++n) {
        const QString candidate = dir.filePath(QStringLiteral("%1 (%2)%3").arg(base).arg(n).arg(extension));
        if (!QFileInfo::exists(candidate))
            return candidate;
    }
}

} // namespace Player
