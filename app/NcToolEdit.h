#pragma once
// Runs an NC tool (nc/NcTools.h) on the editor: on the whole lines that the
// selection touches, or on the whole program without a selection, as one
// undo step. The edited lines of a selection are selected afterwards, so that
// the next tool works on the same lines; after the whole program the caret
// stays on its line and column, as far as the new text has them.

#include <functional>
#include <string>
#include <string_view>

class QPlainTextEdit;

namespace quorlin {

enum class NcEditOutcome {
    Changed,
    Unchanged,
    NotSingleByte,  // the lines hold a character no program file can store
};

using NcTextEdit = std::function<std::string(std::string_view)>;

// badLine (1-based, in the whole text) names the first line that holds such
// a character.
NcEditOutcome ApplyNcEdit(QPlainTextEdit& editor, const NcTextEdit& edit, int* badLine = nullptr);

}  // namespace quorlin
