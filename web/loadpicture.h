#pragma once

#include <QImage>
#include <QString>

namespace Web {

// A picture from an http or https address (fetched through the shared access point) or from a
// local file (a path or a file: address). Anything else, an error answer or bytes that are not
// a picture give a null image.
QImage LoadPicture(const QString &strFileName);

} // namespace Web
