#pragma once

#include <QHash>
#include <QImage>
#include <QList>
#include <QPair>
#include <QSize>
#include <QString>
#include <QStringList>

#include <future>

namespace App {

// A picture of the program's own, its format told by the suffix of its name, so that reading it
// does not load every image plugin to ask whether it reads PNG. Null when it cannot be read.
QImage readPicture(const QString &path);

// The picture as a control of `size` draws it: smoothly scaled and in the format a pixmap keeps.
QImage shownPicture(QImage picture, const QSize &size);

// Reads pictures on a thread of the shared pool, one after the other in the order given, while the
// window builds its controls and sets up its fonts; it also makes the scaled copies asked for,
// so that the first paint only draws them. A picture asked for only scaled is not kept as read:
// take() reads it again. Used from the thread that made it.
class PictureLoader
{
public:
    explicit PictureLoader(const QStringList &paths, const QList<QPair<QString, QSize>> &shown = {});
    ~PictureLoader(); // waits for the reading to end
    PictureLoader(const PictureLoader &) = delete;
    PictureLoader &operator=(const PictureLoader &) = delete;

    // The picture at `path`, waiting for it if it is still being read. A picture not given to the
    // loader, or already taken, is read here and now.
    QImage take(const QString &path);
    // shownPicture() of the picture at `path` if it was asked for at that size and not yet
    // taken; null otherwise.
    QImage takeShown(const QString &path, const QSize &size);

private:
    using Key = QPair<QString, QSize>;
    QHash<QString, std::shared_future<QImage>> m_pending;
    QHash<Key, std::shared_future<QImage>> m_shown;
    std::future<void> m_done;
};

} // namespace App
