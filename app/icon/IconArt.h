// The program's pictures, drawn with QPainter: the icon (a letter dropping into a mailbox
// tray that already holds a stack of messages) and the green tick of the main window.
#pragma once

#include <QImage>

namespace tolvik {

// The icon at `size` pixels square, 32-bit colour with alpha. Small sizes are drawn on
// the pixel grid with fewer details rather than scaled down from the large picture.
QImage DrawTolvikIcon(int size);

// A green tick mark on a transparent background, `size` pixels square.
QImage DrawTick(int size);

}  // namespace tolvik
