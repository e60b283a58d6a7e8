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
// does not load every image plugin to ask whether it reads PNG; the copy the build baked where
// there is one. Null when it cannot be read.
QImage readPicture(const QString &path);

// The picture as a control of `size` draws it: smoothly scaled and in the format a pixmap keeps.
QImage shownPicture(QImage picture, const QSize &size);

// The form the build stores the window's pictures in, ready to be drawn: a small header, then the
// pixels as QImage keeps them. Empty for a picture with a colour table, which it cannot hold.
QByteArray bakedForm(const QImage &picture);
// The picture bakedForm() stored in `data`. Where its pixels are suitably aligned it draws from
// `data` itself, which must then outlive it. Null where `data` holds no such picture.
QImage fromBakedForm(const uchar *data, qsizetype size);
// The copy the build baked of one of the window's own pictures (a ":/assets/" path): as read, or
// with a valid `size`, as shownPicture() makes it at that size. Null where the build made none:
// reading it costs no decoding, and a copy made at a size no scaling.
QImage bakedPicture(const QString &path, const QSize &size = QSize());

// Reads pictures on a thread of the shared pool, one after the other in the order given, while the
// window builds its controls and sets up its fonts; it also makes the scaled copies asked for,
// so that the first paint only draws them. Those the build baked are ready at once, and only the
// rest go to the thread. A picture asked for only scaled is not kept as read: take() reads it
// again. Used from the thread that made it.
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
    // taken, or if the build baked it at that size; null otherwise.
    QImage takeShown(const QString &path, const QSize &size);

private:
    using Key = QPair<QString, QSize>;
    QHash<QString, std::shared_future<QImage>> m_pending;
    QHash<Key, std::shared_future<QImage>> m_shown;
    std::future<void> m_done;
};

} // namespace App
