#pragma once
// Where a line's own break (CR LF, LF or CR) lives in the editor's document:
// a property of its block's format. The text document records a block's
// format with every edit, so Undo brings a deleted line back with its own
// break; a block's user state would come back empty. Blocks share their
// formats, so three formats serve a whole program.

#include <QTextBlock>
#include <QTextBlockFormat>
#include <optional>

#include "app/NcText.h"

namespace quorlin {

inline constexpr int kLineBreakProperty = QTextFormat::UserProperty + 1;

inline QTextBlockFormat BlockFormatWithBreak(LineEnding ending) {
    QTextBlockFormat format;
    format.setProperty(kLineBreakProperty, static_cast<int>(ending));
    return format;
}

// Nothing for a line added in the editor: it takes the program's usual break.
inline std::optional<LineEnding> RecordedBreak(const QTextBlock& block) {
    const QTextBlockFormat format = block.blockFormat();
    if (!format.hasProperty(kLineBreakProperty)) return std::nullopt;
    const int value = format.intProperty(kLineBreakProperty);
    if (value < static_cast<int>(LineEnding::CrLf) || value > static_cast<int>(LineEnding::Cr)) return std::nullopt;
    return static_cast<LineEnding>(value);
}

}  // namespace quorlin
