#pragma once
// Opening a program in two halves, so that a program of a few hundred
// megabytes never freezes the window: a reading thread reads the file and
// turns its bytes into text a piece at a time, and the window's thread puts
// the text into the document a slice at a time between its events. The
// document is the one the editor shows from the start of the open: an
// editor handed a finished document makes a pass over every line of it on
// the window's thread, which at 50 MB takes the better part of a second.
// Only a few pieces wait between the two halves, so the program is never
// held twice. Each line's break is kept in its block's format
// (NcBlockBreak.h), where the editor finds it on saving.

#include <QString>
#include <QTextBlock>
#include <QTextCursor>
#include <array>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

#include "app/NcFile.h"
#include "app/NcText.h"

class QFont;
class QTextDocument;

namespace quorlin {

// Shared between the reading thread and the window: how far the reading
// is, and the window's request to stop it.
struct LoadControl {
    std::atomic<qint64> fileSize {0};
    std::atomic<qint64> bytesRead {0};
    std::atomic<bool> cancel {false};
};

// A piece of the program's text ('\n' between lines) and the breaks of the
// lines it ends. A line whose CR ends one piece has its break in the next.
struct DecodedPiece {
    QString text;
    std::vector<LineEnding> breaks;
};

struct ReadOutcome {
    FileResult result;
    LineEnding usualBreak = LineEnding::CrLf;
};

// The pieces on their way from the reading thread to the window's.
class PieceQueue {
public:
    static constexpr size_t kMaxWaiting = 4;

    // Reading thread: waits while kMaxWaiting pieces wait; false once the
    // window has stopped the reading.
    bool Push(DecodedPiece piece);
    void End(const ReadOutcome& outcome);

    // Window's thread.
    std::optional<DecodedPiece> Pop();
    // How the reading ended, once it has and every piece is taken.
    std::optional<ReadOutcome> Outcome() const;
    // Releases a reading thread waiting for room, for good.
    void Stop();

private:
    mutable std::mutex m_lock;
    std::condition_variable m_room;
    std::deque<DecodedPiece> m_pieces;
    std::optional<ReadOutcome> m_outcome;
    bool m_bStopped = false;
};

// Runs on the reading thread: reads path into queue, and calls wake after
// each piece and at the end.
void ReadProgram(const QString& path, LoadControl& control, PieceQueue& queue, const std::function<void()>& wake,
                 qint64 maxBytes = kMaxEditableBytes);

// An empty document as the editor shows a program: in font, laid out as a
// plain text editor without line wrap does, and with no undo history while
// it is filled (the open is not an edit to undo, and the history would
// double the memory).
std::unique_ptr<QTextDocument> NewProgramDocument(const QFont& font);

// Fills a document on the window's thread, a slice of a piece at a time.
class DocumentFiller {
public:
    static constexpr qsizetype kSliceChars = 32 * 1024;

    explicit DocumentFiller(QTextDocument& document);

    // Inserts the next slice of piece, from offset (advanced past it): about
    // kSliceChars, to the end of a line. True when the piece is all in.
    bool InsertSlice(const DecodedPiece& piece, qsizetype& offset);
    // The document as a freshly opened program: undo on, not modified.
    void Finish();

private:
    void GiveBreak(const QTextBlock& block, LineEnding ending);
    void MarkEndedLines();

    QTextDocument& m_document;
    QTextCursor m_end;
    QTextBlock m_unmarked;             // the first line whose break is not yet given
    std::deque<LineEnding> m_breaks;   // breaks of m_unmarked and the lines after it
    std::array<int, 3> m_formatOf {-1, -1, -1};  // block format of each break, once made
};

}  // namespace quorlin
