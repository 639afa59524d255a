#include "ui/MenuItemRecord.h"

#include <QAction>
#include <QVariant>

namespace quorlin {

const CMenuItemRecord* MenuItemRecordOf(const QAction* action, CMenuItemRecord* storage) {
    if (!action) return nullptr;
    const QVariant value = action->property(kMenuItemRecordProperty);
    if (!value.isValid() || value.metaType() != QMetaType::fromType<CMenuItemRecord>()) return nullptr;
    *storage = value.value<CMenuItemRecord>();
    return storage->signature == CMenuItemRecord::kSignature ? storage : nullptr;
}

QChar MnemonicOf(const QString& text) {
    for (qsizetype i = 0; i + 1 < text.size(); ++i) {
        if (text[i] != QLatin1Char('&')) continue;
        if (text[i + 1] == QLatin1Char('&')) {
            ++i;  // an escaped ampersand
            continue;
        }
        return text[i + 1];
    }
    return {};
}

MenuCharChoice ChooseByMenuChar(const std::vector<QChar>& mnemonics, int highlighted, QChar key) {
    if (key.isNull()) return {};
    const QChar wanted = key.toCaseFolded();
    int first = -1, afterHighlighted = -1, matches = 0;
    for (int pos = 0; pos < int(mnemonics.size()); ++pos) {
        if (mnemonics[pos].isNull() || mnemonics[pos].toCaseFolded() != wanted) continue;
        ++matches;
        if (first < 0) first = pos;
        if (afterHighlighted < 0 && pos > highlighted) afterHighlighted = pos;
    }
    if (matches == 0) return {};
    if (matches == 1) return {MenuCharChoice::kExecute, first};
    return {MenuCharChoice::kSelect, afterHighlighted >= 0 ? afterHighlighted : first};
}

}  // namespace quorlin
