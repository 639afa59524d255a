#pragma once
// How the log view draws a control byte: the symbols of the Unicode block
// Control Pictures are a few pixels of diagonal letters in most fonts, too
// faint to tell DC1 from DC3 at a glance beside a machine. Each such
// character stays one character of the view's text (copying gives it as
// before), but its cell is widened and painted over as an inverse box with
// the byte's name.

#include <QString>
#include <QTextCharFormat>

class QFont;
class QPainter;
class QPalette;
class QPointF;
class QTextBlock;

namespace quorlin {

// True for a character the log view shows for a control byte.
inline bool IsControlCell(QChar viewChar) {
    const char16_t code = viewChar.unicode();
    return (code >= 0x2400 && code < 0x2420) || code == 0x2421;
}

// The byte's name ("DC1", "SUB", "DEL") for a character the log view shows
// for a control byte; empty for any other character.
QString ControlCellName(QChar viewChar);

// The format the view gives such a character in font: as wide as its box,
// its own faint glyph not drawn.
QTextCharFormat ControlCellFormat(const QFont& font);

// Paints the boxes of the control characters of block, whose layout
// starts at topLeft of the painter's device, over what the view painted
// there; the characters from selectionStart to selectionEnd (document
// positions) are drawn as selected.
void PaintControlCells(QPainter& painter, const QTextBlock& block, QPointF topLeft, const QPalette& colours,
                       int selectionStart, int selectionEnd);

}  // namespace quorlin
