#include "res/AppIcon.h"

#include <QPainter>
#include <QPainterPath>
#include <QPixmap>

namespace quorlin::res {

namespace {

// The drawing is made on a 64-unit grid and scaled to the pixmap.
constexpr qreal kGrid = 64.0;
const QColor kPlate(0x1f, 0x4e, 0x79);
const QColor kSheet(0xf4, 0xf6, 0xf8);
const QColor kLines(0x5b, 0x6b, 0x7a);
const QColor kArrow(0xf2, 0x8c, 0x28);

QPixmap Draw(int size) {
    QPixmap pixmap(size, size);
    pixmap.fill(Qt::transparent);
    QPainter painter(&pixmap);
    painter.setRenderHint(QPainter::Antialiasing);
    painter.scale(size / kGrid, size / kGrid);

    painter.setPen(Qt::NoPen);
    painter.setBrush(kPlate);
    painter.drawRoundedRect(QRectF(2, 2, 60, 60), 10, 10);

    // The program sheet with a folded corner.
    QPainterPath sheet;
    sheet.moveTo(12, 8);
    sheet.lineTo(36, 8);
    sheet.lineTo(46, 18);
    sheet.lineTo(46, 56);
    sheet.lineTo(12, 56);
    sheet.closeSubpath();
    painter.setBrush(kSheet);
    painter.drawPath(sheet);

    // Program lines: a block number and its words.
    painter.setBrush(kLines);
    for (int row = 0; row < 5; ++row) {
        const qreal y = 22 + row * 7;
        painter.drawRect(QRectF(16, y, 6, 3));
        painter.drawRect(QRectF(24, y, row % 2 ? 10 : 16, 3));
    }

    // The transfer arrow leaving the sheet.
    QPainterPath arrow;
    arrow.moveTo(34, 40);
    arrow.lineTo(48, 40);
    arrow.lineTo(48, 33);
    arrow.lineTo(60, 45);
    arrow.lineTo(48, 57);
    arrow.lineTo(48, 50);
    arrow.lineTo(34, 50);
    arrow.closeSubpath();
    painter.setBrush(kArrow);
    painter.drawPath(arrow);
    return pixmap;
}

}  // namespace

QIcon AppIcon() {
    QIcon icon;
    for (int size : {16, 24, 32, 48, 64, 128, 256}) icon.addPixmap(Draw(size));
    return icon;
}

}  // namespace quorlin::res
