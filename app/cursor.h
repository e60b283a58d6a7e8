#pragma once

#include <QCursor>
#include <QImage>

namespace App {

// The pointing hand of the option buttons, the feedback link and the play button;
// its hot spot is the fingertip (5, 0).
QCursor handCursor();
// The same hand from its picture (":/assets/hand.png") read elsewhere.
QCursor handCursor(const QImage &picture);

} // namespace App
