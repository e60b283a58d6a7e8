#include "app/cursor.h"

#include "app/startup/pictures.h"

#include <QPixmap>

namespace App {

QCursor handCursor()
{
    return handCursor(readPicture(QStringLiteral(":/assets/hand.png")));
}

QCursor handCursor(const QImage &picture)
{
    const QPixmap hand = QPixmap::fromImage(picture);
    // Without the picture the system's own hand is still better than an arrow.
    if (hand.isNull())
        return QCursor(Qt::PointingHandCursor);
    return QCursor(hand, 5, 0);
}

} // namespace App
