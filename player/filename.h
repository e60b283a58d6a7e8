#pragma once

#include <QString>

namespace Player {

// A safe file name from an address: its last path segment without query or fragment, no path
// separators, "..", control or reserved characters, at most 120 characters, ".mp4" when there is
// no extension, "video.mp4" when nothing usable is left.
QString safeFileName(const QString &address);

// TARGET itself when free, otherwise "name (2).ext", "name (3).ext", ...
QString uniquePath(const QString &folder, const QString &fileName);

} // namespace Player
