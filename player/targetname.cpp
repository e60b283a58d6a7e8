#include "player/targetname.h"

#include "extract/videoinfo.h"
#include "player/filename.h"

namespace Player {

QString downloadName(const Extract::VideoInfo &info)
{
    return finalFileName(safeFileName(info.video));
}

} // namespace Player
