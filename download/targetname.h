#pragma once

#include <QString>

namespace Extract {
struct VideoInfo;
}

namespace Download {

// The name a downloaded video gets unless the user chooses another: the file name the page's own
// address for it has (not the archive's), made safe and never ending in ".part".
QString downloadName(const Extract::VideoInfo &info);

} // namespace Download
