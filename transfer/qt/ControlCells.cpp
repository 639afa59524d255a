#include "transfer/qt/ControlCells.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPalette>
#include <QTextBlock>
#include <QTextLayout>
#include <algorithm>
#include <array>
#include <cmath>

namespace quorlin {

namespace {

constexpr char16_t kFirstPicture = 0x2400;  // U+2400 SYMBOL FOR NULL, then one for each C0 byte
constexpr char16_t kDeletePicture = 0x2421;

constexpr std::array<const char*, 32> kC0Names = {
    "NUL", "SOH", "STX", "ETX", "EOT", "ENQ", "ACK", "BEL", "BS",  "HT",  "LF",  "VT",  "FF",  "CR",  "SO",  "SI",
    "DLE", "DC1", "DC2", "DC3", "DC4", "NAK", "SYN", "ETB", "CAN", "EM",  "SUB", "ESC", "FS",  "GS",  "RS",  "US"};

// The names are drawn a little smaller than the log's text, so that a box
// stays within its line and two or three cells wide.
constexpr qreal kNameScale = 0.8;
constexpr qreal kPadding = 3;  // pixels on each side of a name inside its box, one of them a gap

QFont NameFont(QFont font) {
    if (font.pixelSize() > 0)
        font.setPixelSize(std::max(6, static_cast<int>(std::lround(font.pixelSize() * kNameScale))));
    else
        font.setPointSizeF(font.pointSizeF() * kNameScale);
    return font;
}

}  // namespace

QString ControlCellName(QChar viewChar) {
    const char16_t code = viewChar.unicode();
    if (code >= kFirstPicture && code < kFirstPicture + kC0Names.size())
        return QString::fromLatin1(kC0Names[code - kFirstPicture]);
    if (code == kDeletePicture) return QStringLiteral("DEL");
    return {};
}

QTextCharFormat ControlCellFormat(const QFont& font) {
    const QFontMetricsF names(NameFont(font));
    qreal widest = 0;
    for (const char* name : kC0Names) widest = std::max(widest, names.horizontalAdvance(QString::fromLatin1(name)));
    const qreal box = std::ceil(widest + 2 * kPadding);
    // Every control picture is as wide as the font makes U+2400 (their
    // fallback font draws them all alike); the spacing after it fills the box.
    const qreal glyph = QFontMetricsF(font).horizontalAdvance(QChar(kFirstPicture));
    QTextCharFormat format;
    format.setFontLetterSpacingType(QFont::AbsoluteSpacing);
    format.setFontLetterSpacing(std::max<qreal>(0, box - glyph));
    format.setForeground(Qt::transparent);
    return format;
}

void PaintControlCells(QPainter& painter, const QTextBlock& block, QPointF topLeft, const QPalette& colours,
                       int selectionStart, int selectionEnd) {
    const QString text = block.text();
    QTextLayout* layout = block.layout();
    if (!layout) return;
    bool fontSet = false;
    for (int at = 0; at < text.size(); ++at) {
        const QString name = ControlCellName(text[at]);
        if (name.isEmpty()) continue;
        const QTextLine line = layout->lineForTextPosition(at);
        if (!line.isValid()) continue;
        const qreal left = line.cursorToX(at);
        const qreal right = line.cursorToX(at + 1);
        const QRectF cell(topLeft.x() + left, topLeft.y() + line.y(), right - left, line.height());
        const QRectF box = cell.adjusted(1, 1, -1, -1);  // a gap to the neighbours
        const int position = block.position() + at;
        const bool selected = position >= selectionStart && position < selectionEnd;
        if (!fontSet) {
            painter.setFont(NameFont(layout->font()));
            fontSet = true;
        }
        // Inverse of the text around it, so that it reads as one thing.
        painter.fillRect(box, colours.color(selected ? QPalette::HighlightedText : QPalette::Text));
        painter.setPen(colours.color(selected ? QPalette::Highlight : QPalette::Base));
        painter.drawText(box, Qt::AlignCenter, name);
    }
}

}  // namespace quorlin
