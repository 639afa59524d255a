#pragma once
// Dialog layouts given in dialog units, turned into pixels for a font, and
// the centring of a dialog on its owner window.

#include <QFont>
#include <QPoint>
#include <QRect>
#include <QSize>

namespace quorlin {

// A rectangle in dialog units: left, top, right, bottom.
struct DluRect {
    int left, top, right, bottom;
};

// Dialog units of a font: a horizontal unit is a quarter of the font's
// average character width, a vertical unit an eighth of its height.
class DialogUnits {
public:
    explicit DialogUnits(const QFont& font);
    DialogUnits(int averageCharWidth, int charHeight) : m_nCharWidth(averageCharWidth), m_nCharHeight(charHeight) {}

    int X(int units) const { return units * m_nCharWidth / 4; }
    int Y(int units) const { return units * m_nCharHeight / 8; }
    QRect Rect(const DluRect& r) const { return QRect(QPoint(X(r.left), Y(r.top)), QPoint(X(r.right) - 1, Y(r.bottom) - 1)); }
    QSize Size(int width, int height) const { return QSize(X(width), Y(height)); }

private:
    int m_nCharWidth;
    int m_nCharHeight;
};

// Where a window of size `window` goes to be centred on `owner` (the owner's
// frame rectangle): the owner's centre, (left + right) / 2 and
// (top + bottom) / 2 with right and bottom one past the last pixel, less half
// the window's width and height. Every half is an integer division that
// truncates toward zero, and the result is not moved onto the screen.
QPoint CentredTopLeft(const QRect& owner, const QSize& window);

}  // namespace quorlin
