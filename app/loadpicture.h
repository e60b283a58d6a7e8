#pragma once

#include <QImage>
#include <QString>
#include <functional>

class QObject;

namespace App {

// A picture from an http or https address (fetched through the shared access point) or from a
// local file (a path or a file: address). Anything else, an error answer or bytes that are not
// a picture give a null image.
// Addresses cut from a page pass WebOnly: a page must not make us read this machine's files.
enum class PictureSource { WebOrFile, WebOnly };

// Starts loading and returns at once; `done` runs later, from this thread's event loop, with the
// picture or a null image. Deleting the returned load, or `context`, ends it without `done`.
QObject *LoadPicture(const QString &strFileName, PictureSource allowed, QObject *context,
                     std::function<void(const QImage &picture)> done);

} // namespace App
