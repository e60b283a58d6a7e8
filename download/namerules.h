#pragma once

#include <QByteArray>
#include <QString>

// What a download's name must never be, whoever made it up (the video's address, a template
// filled from a page), and what the files beside a video are called.
namespace Download {

// `name` altered visibly where a system or a shell would take it for something else: a Windows
// device name (CON, NUL, COM1, LPT1, CONIN$..., in any case, judged on the part before the first
// dot) or a leading '-' gets a '_' in front, a name ending in a dot or space one at the end.
QString guardedName(const QString &name);

// Extensions a desktop would run or open as a program or script: "exe", "bat", "js", "lnk"...
bool isProgramExtension(QStringView extension);

// Extensions of video containers ("mp4", "flv", "bin"...), which side files take the place of.
bool isVideoExtension(QStringView extension);

// What a video takes when its address or template offers a program's extension; its content
// decides once it is complete.
inline const QString unknownExtension = QStringLiteral("bin");

// `name` with a program's extension replaced by unknownExtension: "setup.exe" → "setup.bin".
QString withoutProgramExtension(const QString &name);

// "mp4" for an ISO media file, "flv" for Flash video, otherwise "bin": from the file's first bytes.
QString contentExtension(const QByteArray &head);

// The name of the file with `suffix` beside the video named `videoName`: the video's name without
// its extension when that is a video container's ("clip.mp4" → "clip.info.json"), otherwise the
// whole name ("x.jpg" → "x.jpg.jpg"), so that no side file is ever the video itself.
QString sideName(const QString &videoName, const QString &suffix);

} // namespace Download
