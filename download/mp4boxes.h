#pragma once

#include <QString>

// The box structure of an MP4 (ISO media) file, as far as tagging depends on it.
namespace Download {

struct BoxLayout
{
    bool mp4 = false;         // the file starts with a box an MP4 file starts with
    bool sound = false;       // every box read fits its parent exactly, and the top level fills the file
    QString problem;          // why not sound
    qint64 openEndedAt = -1;  // the last top-level box runs "to the end of the file" (size 0); it starts here
    qint64 openEndedSize = 0; // ... and is this long
};

// Reads the box headers of the file at `path`: the top-level boxes and those inside moov and its
// containers (trak, mdia, minf, stbl, udta, meta, ilst, edts, dinf, mvex).
BoxLayout readBoxLayout(const QString &path);

// Writes `size` (or 0) into the 32-bit size field of the box at `at`; false when it does not fit
// or the file cannot be written.
bool setBoxSize(const QString &path, qint64 at, qint64 size);

} // namespace Download
