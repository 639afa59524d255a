#include "transfer/qt/DialogGeometry.h"

#include <QFontMetrics>

namespace quorlin {

namespace {
// The letters whose mean width is a font's average character width.
constexpr const char* kAverageSample = "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ";
constexpr int kAverageSampleLength = 52;
}  // namespace

DialogUnits::DialogUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    const int sampleWidth = metrics.horizontalAdvance(QString::fromLatin1(kAverageSample));
    m_nCharWidth = (sampleWidth / (kAverageSampleLength / 2) + 1) / 2;  // rounded
    m_nCharHeight = metrics.height();
}

QPoint CentredTopLeft(const QRect& owner, const QSize& window) {
    // QRect's right() and bottom() are the last pixel; the owner's edges
    // here are one past it, as a window rectangle has them.
    const int ownerRight = owner.x() + owner.width();
    const int ownerBottom = owner.y() + owner.height();
    const int centreX = (owner.x() + ownerRight) / 2;
    const int centreY = (owner.y() + ownerBottom) / 2;
    return QPoint(centreX - window.width() / 2, centreY - window.height() / 2);
}

}  // namespace quorlin
