#include "app/TextSearch.h"

#include <QPlainTextEdit>
#include <QTextCursor>
#include <QTextDocument>

namespace quorlin {

namespace {

QTextDocument::FindFlags Flags(const SearchOptions& options, bool down) {
    QTextDocument::FindFlags flags;
    if (options.matchCase) flags |= QTextDocument::FindCaseSensitively;
    if (options.wholeWord) flags |= QTextDocument::FindWholeWords;
    if (!down) flags |= QTextDocument::FindBackward;
    return flags;
}

bool SelectionMatches(const QPlainTextEdit& editor, const SearchOptions& options) {
    const QString selected = editor.textCursor().selectedText();
    return !selected.isEmpty() &&
           selected.compare(options.what, options.matchCase ? Qt::CaseSensitive : Qt::CaseInsensitive) == 0;
}

}  // namespace

bool FindNext(QPlainTextEdit& editor, const SearchOptions& options) {
    if (options.what.isEmpty()) return false;
    return editor.find(options.what, Flags(options, options.down));
}

FindOutcome FindWrapping(QPlainTextEdit& editor, const SearchOptions& options) {
    if (options.what.isEmpty()) return FindOutcome::NotFound;
    if (FindNext(editor, options)) return FindOutcome::Found;
    QTextCursor from(editor.document());
    from.movePosition(options.down ? QTextCursor::Start : QTextCursor::End);
    const QTextCursor found = editor.document()->find(options.what, from, Flags(options, options.down));
    if (found.isNull()) return FindOutcome::NotFound;
    editor.setTextCursor(found);
    return FindOutcome::Wrapped;
}

FindOutcome ReplaceNext(QPlainTextEdit& editor, const SearchOptions& options, const QString& with) {
    if (options.what.isEmpty()) return FindOutcome::NotFound;
    if (SelectionMatches(editor, options)) editor.textCursor().insertText(with);
    SearchOptions down = options;
    down.down = true;
    return FindWrapping(editor, down);
}

int ReplaceAll(QPlainTextEdit& editor, const SearchOptions& options, const QString& with) {
    if (options.what.isEmpty()) return 0;
    QTextDocument* document = editor.document();
    QTextCursor edit(document);
    edit.beginEditBlock();
    int count = 0;
    QTextCursor found = document->find(options.what, 0, Flags(options, true));
    while (!found.isNull()) {
        edit.setPosition(found.selectionStart());
        edit.setPosition(found.selectionEnd(), QTextCursor::KeepAnchor);
        edit.insertText(with);
        ++count;
        found = document->find(options.what, edit, Flags(options, true));
    }
    edit.endEditBlock();
    return count;
}

}  // namespace quorlin
