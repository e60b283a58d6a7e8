#pragma once

#include <QString>

namespace Player {

// A download writes to NAME + partSuffix until it is complete.
inline const QString partSuffix = QStringLiteral(".part");

// What file systems take for one name, in bytes of QFile::encodeName (NAME_MAX on Linux).
constexpr qsizetype maxFileNameBytes = 255;

// A safe file name from an address: its last path segment without query or fragment, no path
// separators, "..", control or reserved characters, ".mp4" when there is no extension,
// "video.mp4" when nothing usable is left. Short enough that the ".part" and a free-name suffix
// up to " (999)" still fit in maxFileNameBytes; cut between characters.
QString safeFileName(const QString &address);

// "name (n).ext"; the name is shortened, between characters, where the number would push it
// with ".part" past maxFileNameBytes.
QString numberedName(const QString &fileName, int n);

// TARGET itself when free, otherwise "name (2).ext", "name (3).ext", ...
QString uniquePath(const QString &folder, const QString &fileName);

} // namespace Player
