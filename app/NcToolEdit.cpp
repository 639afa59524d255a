#include "app/NcToolEdit.h"

#include <QPlainTextEdit>
#include <QTextBlock>
#include <algorithm>

#include "app/NcText.h"

namespace quorlin {

NcEditOutcome ApplyNcEdit(QPlainTextEdit& editor, const NcTextEdit& edit, int* badLine) {
    QTextDocument* document = editor.document();
    const QTextCursor selection = editor.textCursor();
    const bool wholeProgram = !selection.hasSelection();
    // Taken now: the cursor follows the edit, which replaces every line.
    const int caretLine = selection.blockNumber();
    const int caretColumn = selection.positionInBlock();
    QTextBlock first = document->firstBlock();
    QTextBlock last = document->lastBlock();
    if (!wholeProgram) {
        first = document->findBlock(selection.selectionStart());
        last = document->findBlock(selection.selectionEnd());
        // A selection that ends at the start of a line does not take that line.
        if (last != first && selection.selectionEnd() == last.position()) last = last.previous();
    }
    QTextCursor range(document);
    range.setPosition(first.position());
    range.setPosition(last.position() + last.length() - 1, QTextCursor::KeepAnchor);

    QString text = range.selectedText();
    text.replace(QChar::ParagraphSeparator, QLatin1Char('\n'));
    text.replace(QChar::LineSeparator, QLatin1Char('\n'));
    int lineInRange = 0;
    const std::optional<QByteArray> bytes = EncodeNcText(text, LineEnding::Lf, &lineInRange);
    if (!bytes) {
        if (badLine) *badLine = first.blockNumber() + lineInRange;
        return NcEditOutcome::NotSingleByte;
    }
    const std::string before(bytes->constData(), static_cast<size_t>(bytes->size()));
    const std::string after = edit(before);
    if (after == before) return NcEditOutcome::Unchanged;

    const int start = range.selectionStart();
    const QString replacement = QString::fromLatin1(after.data(), static_cast<qsizetype>(after.size()));
    range.beginEditBlock();
    range.insertText(replacement);
    range.endEditBlock();
    if (wholeProgram) {
        // The whole program left selected would go with the next key pressed.
        const QTextBlock line = document->findBlockByNumber(std::min(caretLine, document->blockCount() - 1));
        QTextCursor caret(line);
        caret.setPosition(line.position() + std::min(caretColumn, line.length() - 1));
        editor.setTextCursor(caret);
        return NcEditOutcome::Changed;
    }
    range.setPosition(start);
    range.setPosition(start + static_cast<int>(replacement.size()), QTextCursor::KeepAnchor);
    editor.setTextCursor(range);
    return NcEditOutcome::Changed;
}

}  // namespace quorlin
