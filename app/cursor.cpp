#include "app/cursor.h"

#include "app/pictures.h"

#include <QPixmap>

namespace App {

QCursor handCursor()
{
    const QPixmap hand = QPixmap::fromImage(readPicture(QStringLiteral(":/assets/hand.png")));
    // Without the picture the system's own hand is still better than an arrow.
    if (hand.isNull())
        return QCursor(Qt::PointingHandCursor);
    return QCursor(hand, 5, 0);
}

} // namespace App
