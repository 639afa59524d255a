#include "ui/FixedPitchFont.h"

#include <QFontDatabase>
#include <QFontInfo>
#include <QFontMetricsF>
#include <QStringList>

namespace quorlin {

namespace {

// Common monospaced families, the one tools/install-deps installs first.
const char* const kFallbackFamilies[] = {"DejaVu Sans Mono", "Liberation Mono", "Noto Sans Mono", "Noto Mono",
                                         "Cousine", "Consolas", "Courier New", "Menlo"};

}  // namespace

bool IsMonospacedByMeasure(const QFont& font) {
    const QFontMetricsF metrics(font);
    const qreal width = metrics.horizontalAdvance(QLatin1Char('W'));
    if (width <= 0) return false;
    for (const char c : {'i', '0', '.'})
        if (!qFuzzyCompare(metrics.horizontalAdvance(QLatin1Char(c)), width)) return false;
    return true;
}

QFont FixedPitchFont() {
    const QFont system = QFontDatabase::systemFont(QFontDatabase::FixedFont);
    if (IsMonospacedByMeasure(system)) return system;
    for (const char* family : kFallbackFamilies) {
        QFont candidate(system);
        candidate.setFamilies({QString::fromLatin1(family)});
        candidate.setStyleHint(QFont::Monospace);
        // A family that is not installed resolves to some other face; only
        // the one asked for counts, so that the list is tried in order.
        if (QFontInfo(candidate).family().compare(QString::fromLatin1(family), Qt::CaseInsensitive) != 0) continue;
        if (IsMonospacedByMeasure(candidate)) return candidate;
    }
    return system;
}

}  // namespace quorlin
