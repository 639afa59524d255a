#pragma once
// Where a converter dialog opens: its centre on the centre of the window
// that owns it.

#include <QPoint>
#include <QRect>
#include <QSize>

class QWidget;

namespace quorlin {

// The top-left corner that puts a window of size (frame included) with its
// centre on the centre of owner; each centre is the left (top) edge plus
// half the width (height), the fraction dropped.
QPoint CentredTopLeft(const QRect& owner, const QSize& size);

// Moves dialog, a top-level window, onto the centre of its parent window.
// Does nothing without a parent.
void CentreOnParent(QWidget& dialog);

}  // namespace quorlin
