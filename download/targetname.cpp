#include "download/targetname.h"

#include "extract/videoinfo.h"
#include "download/filename.h"

namespace Download {

QString downloadName(const Extract::VideoInfo &info)
{
    return finalFileName(safeFileName(info.video));
}

} // namespace Download
