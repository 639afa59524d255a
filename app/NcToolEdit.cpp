#include "app/NcToolEdit.h"

#include <QPlainTextEdit>
#include <QTextBlock>

#include "app/NcText.h"

namespace quorlin {

NcEditOutcome ApplyNcEdit(QPlainTextEdit& editor, const NcTextEdit& edit, int* badLine) {
    QTextDocument* document = editor.document();
    const QTextCursor selection = editor.textCursor();
    QTextBlock first = document->firstBlock();
    QTextBlock last = document->lastBlock();
    if (selection.hasSelection()) {
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
    range.setPosition(start);
    range.setPosition(start + static_cast<int>(replacement.size()), QTextCursor::KeepAnchor);
    editor.setTextCursor(range);
    return NcEditOutcome::Changed;
}

}  // namespace quorlin
