#pragma once
// Dialog layouts given in dialog units, turned into pixels for a font.

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


}  // namespace quorlin
