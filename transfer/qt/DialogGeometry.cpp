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


}  // namespace quorlin
