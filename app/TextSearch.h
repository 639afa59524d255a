#pragma once
// Find and replace in the editor: what the Find and Replace dialogs and
// Find Next (F3) do, without the dialogs.

#include <QString>

class QPlainTextEdit;

namespace quorlin {

struct SearchOptions {
    QString what;
    bool matchCase = false;
    bool wholeWord = false;
    bool down = true;
};

// Selects the next occurrence after the selection (before it, searching up);
// false when there is none up to the end (the start).
bool FindNext(QPlainTextEdit& editor, const SearchOptions& options);

// What a search that goes round once came to.
enum class FindOutcome { Found, Wrapped, NotFound };

// As FindNext; when nothing follows up to the end (the start, searching up),
// searches once more from the start (the end). The selection stays when the
// text does not occur at all.
FindOutcome FindWrapping(QPlainTextEdit& editor, const SearchOptions& options);

// Replaces the selection when it is an occurrence, then selects the next one
// as FindWrapping does, searching down.
FindOutcome ReplaceNext(QPlainTextEdit& editor, const SearchOptions& options, const QString& with);

// Replaces every occurrence in the text, as one step to undo; the count.
int ReplaceAll(QPlainTextEdit& editor, const SearchOptions& options, const QString& with);

}  // namespace quorlin
