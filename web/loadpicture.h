#pragma once

#include <QImage>
#include <QString>

namespace Web {

// A picture from an http or https address (fetched through the shared access point) or from a
// local file (a path or a file: address). Anything else, an error answer or bytes that are not
// a picture give a null image.
// Addresses cut from a page pass WebOnly: a page must not make us read this machine's files.
enum class PictureSource { WebOrFile, WebOnly };

QImage LoadPicture(const QString &strFileName, PictureSource allowed = PictureSource::WebOrFile);

} // namespace Web
