#pragma once

#include "os/files.h"

#include <QString>
#include <functional>

namespace Download {

// A download writes to NAME + partSuffix until it is complete.
inline const QString partSuffix = QStringLiteral(".part");

// What file systems take for one name, in the units they count (Os::fileNameLength).
constexpr qsizetype maxFileNameBytes = Os::maxFileNameLength;
// The last number a free name tries: " (999)" is the room every name leaves for it.
constexpr int maxNameNumber = 999;

// A safe file name from an address: its last path segment without query or fragment, no path
// separators, "..", control or reserved characters, never ending in ".part", ".mp4" when there
// is no extension, "video.mp4" when nothing usable is left. Short enough that the ".part" and a
// free-name suffix up to " (999)" still fit in maxFileNameBytes; cut between characters.
QString safeFileName(const QString &address);

// fileName without any ".part" at its end (in any case): a final name ending so would pass for
// another download's unfinished file. "video.mp4" when nothing is left.
QString finalFileName(const QString &fileName);

// "name (n).ext"; the name is shortened, between characters, where the number would push it
// with ".part" past maxFileNameBytes.
QString numberedName(const QString &fileName, int n);

// fileName itself when `isFree` takes it, otherwise the first of "name (2).ext", "name (3).ext", ...
// up to "name (999).ext" that it takes, or an empty string when it takes none. The caller's rule
// decides what holds a name: files on the disk, names reserved by a run.
QString freeName(const QString &fileName, const std::function<bool(const QString &name)> &isFree);

// TARGET itself when free, otherwise "name (2).ext", "name (3).ext", ...; a name is taken when
// it or its ".part" exists. Empty when no name up to the last number is free.
QString uniquePath(const QString &folder, const QString &fileName);

// Renames `from` to `to`, or when `to` is taken by then, to the free name uniquePath gives beside
// it; never replaces a file, not even one that appears at the last moment. The path written, or
// an empty string with `error` set to the errno value of the failure.
QString renameToFreeName(const QString &from, const QString &to, int &error);

} // namespace Download
