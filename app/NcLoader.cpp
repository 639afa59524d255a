#include "app/NcLoader.h"

#include <QFont>
#include <QPlainTextDocumentLayout>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QThread>
#include <vector>

namespace quorlin {

LoadedProgram LoadProgramDocument(const QString& path, const QFont& font, QThread* owner, LoadControl& control,
                                  qint64 maxBytes) {
    LoadedProgram loaded;
    auto document = std::make_unique<QTextDocument>();
    document->setUndoRedoEnabled(false);  // the load is not an edit to undo, and the history would double the memory
    document->setDefaultFont(font);
    QTextCursor end(document.get());
    QTextBlock unmarked = document->begin();  // the first line whose break is not yet recorded
    LineDecoder decoder;
    QString text;
    std::vector<LineEnding> breaks;
    auto markBreaks = [&unmarked, &breaks] {
        for (LineEnding ending : breaks) {
            unmarked.setUserState(static_cast<int>(ending));
            unmarked = unmarked.next();
        }
        breaks.clear();
    };
    loaded.result = ReadNcFile(path, maxBytes, [&](const char* data, qsizetype size, qint64 fileSize) {
        if (control.cancel.load(std::memory_order_relaxed)) return false;
        control.fileSize.store(fileSize, std::memory_order_relaxed);
        text.clear();
        decoder.Decode(data, size, text, breaks);
        end.insertText(text);
        markBreaks();
        control.bytesRead.fetch_add(size, std::memory_order_relaxed);
        return true;
    });
    loaded.cancelled = control.cancel.load();
    if (!loaded.result.ok() || loaded.cancelled) return loaded;
    decoder.Finish(breaks);
    markBreaks();
    document->setUndoRedoEnabled(true);
    document->setModified(false);
    // The editor does not wrap lines: a document that says so spares it a
    // pass over every line.
    QTextOption option = document->defaultTextOption();
    option.setWrapMode(QTextOption::NoWrap);
    document->setDefaultTextOption(option);
    // The editor gives every line a layout object when it takes a
    // document; made here, they cost the window's thread nothing.
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) block.layout();
    document->setDocumentLayout(new QPlainTextDocumentLayout(document.get()));
    document->moveToThread(owner);
    loaded.document = std::move(document);
    loaded.usualBreak = decoder.UsualBreak();
    return loaded;
}

}  // namespace quorlin
