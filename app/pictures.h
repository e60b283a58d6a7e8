#pragma once

#include <QHash>
#include <QImage>
#include <QString>
#include <QStringList>

#include <future>
#include <thread>

namespace App {

// A picture of the program's own, its format told by the suffix of its name, so that reading it
// does not load every image plugin to ask whether it reads PNG. Null when it cannot be read.
QImage readPicture(const QString &path);

// Reads pictures on a thread of its own, one after the other in the order given, while the
// window builds its controls and sets up its fonts. Used from the thread that made it.
class PictureLoader
{
public:
    explicit PictureLoader(const QStringList &paths);
    ~PictureLoader(); // waits for the reading to end
    PictureLoader(const PictureLoader &) = delete;
    PictureLoader &operator=(const PictureLoader &) = delete;

    // The picture at `path`, waiting for it if it is still being read. A picture not given to the
    // loader, or already taken, is read here and now.
    QImage take(const QString &path);

private:
    QHash<QString, std::shared_future<QImage>> m_pending;
    std::thread m_thread;
};

} // namespace App
