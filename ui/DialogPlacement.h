#pragma once
// Where a dialog opens: its centre on the centre of the window that owns it.

#include <QPoint>
#include <QRect>
#include <QSize>

class QWidget;

namespace quorlin {

// Where a window of size `window` goes to be centred on `owner` (the owner's
// frame rectangle): the owner's centre, (left + right) / 2 and
// (top + bottom) / 2 with right and bottom one past the last pixel, less half
// the window's width and height. Every half is an integer division that
// truncates toward zero, and the result is not moved onto the screen.
QPoint CentredTopLeft(const QRect& owner, const QSize& window);

// Moves dialog, a top-level window, onto the centre of its parent's window.
// Does nothing without a parent.
void CentreOnParent(QWidget& dialog);

}  // namespace quorlin
