#pragma once

#include <QCursor>

namespace App {

// The pointing hand of the option buttons, the feedback link and the play button;
// its hot spot is the fingertip (5, 0).
QCursor handCursor();

} // namespace App
