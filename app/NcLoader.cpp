#include "app/NcLoader.h"

#include <QFont>
#include <QPlainTextDocumentLayout>
#include <QTextLayout>
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
    // A font of this thread's own: a QFont shared with the window's thread
    // would have its cached engine swapped under the window's feet.
    QFont ownFont;
    ownFont.fromString(font.toString());
    document->setDefaultFont(ownFont);
    // The plain layout from the start: the default one would lay out and
    // shape whole stretches of the program on this thread.
    document->setDocumentLayout(new QPlainTextDocumentLayout(document.get()));
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
        // The cursor shapes the line it ends on, to know its place.
        if (loaded.shapedBlocks.empty() || loaded.shapedBlocks.back() != end.blockNumber())
            loaded.shapedBlocks.push_back(end.blockNumber());
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
    document->moveToThread(owner);
    loaded.document = std::move(document);
    loaded.usualBreak = decoder.UsualBreak();
    return loaded;
}

void ForgetReaderShaping(LoadedProgram& loaded) {
    if (!loaded.document) return;
    for (int number : loaded.shapedBlocks) {
        const QTextBlock block = loaded.document->findBlockByNumber(number);
        // Setting the text drops the layout's shaping and its engine cache;
        // a block's layout takes its text from the block all the same.
        if (QTextLayout* layout = block.isValid() ? block.layout() : nullptr) layout->setText(block.text());
    }
    loaded.shapedBlocks.clear();
}

}  // namespace quorlin
