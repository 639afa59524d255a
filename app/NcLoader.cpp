#include "app/NcLoader.h"

#include <QFont>
#include <QPlainTextDocumentLayout>
#include <QTextDocument>
#include <QTextOption>

#include "app/NcBlockBreak.h"

namespace quorlin {

bool PieceQueue::Push(DecodedPiece piece) {
    std::unique_lock lock(m_lock);
    m_room.wait(lock, [this] { return m_bStopped || m_pieces.size() < kMaxWaiting; });
    if (m_bStopped) return false;
    m_pieces.push_back(std::move(piece));
    return true;
}

void PieceQueue::End(const ReadOutcome& outcome) {
    const std::lock_guard lock(m_lock);
    m_outcome = outcome;
}

std::optional<DecodedPiece> PieceQueue::Pop() {
    std::optional<DecodedPiece> piece;
    {
        const std::lock_guard lock(m_lock);
        if (m_pieces.empty()) return piece;
        piece = std::move(m_pieces.front());
        m_pieces.pop_front();
    }
    m_room.notify_one();
    return piece;
}

std::optional<ReadOutcome> PieceQueue::Outcome() const {
    const std::lock_guard lock(m_lock);
    return m_pieces.empty() ? m_outcome : std::nullopt;
}

void PieceQueue::Stop() {
    {
        const std::lock_guard lock(m_lock);
        m_bStopped = true;
        m_pieces.clear();
    }
    m_room.notify_all();
}

void ReadProgram(const QString& path, LoadControl& control, PieceQueue& queue, const std::function<void()>& wake,
                 qint64 maxBytes) {
    LineDecoder decoder;
    ReadOutcome outcome;
    outcome.result = ReadNcFile(path, maxBytes, [&](const char* data, qsizetype size, qint64 fileSize) {
        if (control.cancel.load(std::memory_order_relaxed)) return false;
        control.fileSize.store(fileSize, std::memory_order_relaxed);
        DecodedPiece piece;
        decoder.Decode(data, size, piece.text, piece.breaks);
        if (!queue.Push(std::move(piece))) return false;
        control.bytesRead.fetch_add(size, std::memory_order_relaxed);
        wake();
        return true;
    });
    if (outcome.result.ok() && !control.cancel.load()) {
        DecodedPiece last;
        decoder.Finish(last.breaks);
        if (!last.breaks.empty()) queue.Push(std::move(last));
        outcome.usualBreak = decoder.UsualBreak();
    }
    queue.End(outcome);
    wake();
}

std::unique_ptr<QTextDocument> NewProgramDocument(const QFont& font) {
    auto document = std::make_unique<QTextDocument>();
    document->setUndoRedoEnabled(false);
    document->setDefaultFont(font);
    // The plain layout from the start: the default one lays out and shapes
    // whole stretches of the program as it grows.
    document->setDocumentLayout(new QPlainTextDocumentLayout(document.get()));
    // The editor does not wrap lines: a document that says so spares it a
    // pass over every line.
    QTextOption option = document->defaultTextOption();
    option.setWrapMode(QTextOption::NoWrap);
    document->setDefaultTextOption(option);
    return document;
}

DocumentFiller::DocumentFiller(QTextDocument& document)
    : m_document(document), m_end(&document), m_unmarked(document.begin()) {}

void DocumentFiller::GiveBreak(const QTextBlock& block, LineEnding ending) {
    int& index = m_formatOf[static_cast<size_t>(ending)];
    if (block.blockFormatIndex() == index) return;
    QTextCursor(block).setBlockFormat(BlockFormatWithBreak(ending));
    index = block.blockFormatIndex();
}

void DocumentFiller::MarkEndedLines() {
    const QTextBlock last = m_document.lastBlock();
    while (!m_breaks.empty() && m_unmarked.isValid() && m_unmarked != last) {
        // The editor gives every line a layout object whenever it takes the
        // document anew (as Cancel of a later open does); made now, a slice
        // at a time, they cost that moment nothing.
        m_unmarked.layout();
        GiveBreak(m_unmarked, m_breaks.front());
        m_breaks.pop_front();
        m_unmarked = m_unmarked.next();
    }
}

bool DocumentFiller::InsertSlice(const DecodedPiece& piece, qsizetype& offset) {
    if (offset == 0) m_breaks.insert(m_breaks.end(), piece.breaks.begin(), piece.breaks.end());
    // The lines a slice adds take the format of the line it begins in: given
    // its own break first, that line passes it on to all the lines after it
    // that have the same, and only lines with another break need theirs set.
    if (!m_breaks.empty() && m_unmarked == m_document.lastBlock()) GiveBreak(m_unmarked, m_breaks.front());
    const qsizetype left = piece.text.size() - offset;
    qsizetype length = left;
    if (left > kSliceChars) {
        const qsizetype lineEnd = piece.text.indexOf(QLatin1Char('\n'), offset + kSliceChars);
        if (lineEnd >= 0) length = lineEnd + 1 - offset;
    }
    m_end.insertText(offset == 0 && length == left ? piece.text : piece.text.mid(offset, length));
    offset += length;
    MarkEndedLines();
    return offset == piece.text.size();
}

void DocumentFiller::Finish() {
    MarkEndedLines();
    // The last line has no break of its own: one typed after it is a line
    // added, with the program's usual break.
    const QTextBlock last = m_document.lastBlock();
    last.layout();
    if (RecordedBreak(last)) QTextCursor(last).setBlockFormat(QTextBlockFormat());
    m_document.setUndoRedoEnabled(true);
    m_document.setModified(false);
}

}  // namespace quorlin
