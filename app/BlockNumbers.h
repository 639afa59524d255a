#pragma once
// Block numbers of an NC program: the N word that opens a line, which a
// controller names when it stops with an alarm. Go To finds a line by it and
// the status bar shows the caret line's.

#include <QString>
#include <QStringView>
#include <optional>

class QTextDocument;

namespace quorlin {

struct BlockWord {
    QString text;      // as written: "N0120"
    qint64 number;     // 120
};

// The line's block number: its first word when that is N with digits,
// after blanks and a block-skip slash ("/N10", "/2 N10"). Nothing for any
// other line, a comment's "(N10)" included.
std::optional<BlockWord> BlockNumberOf(QStringView line);

// What the Go To box asks for: a line number ("120") or a block number
// ("N120", "n 120"). Nothing for anything else, line 0 included.
struct GoToTarget {
    bool block = false;
    qint64 number = 0;
};
std::optional<GoToTarget> ParseGoToTarget(const QString& text);

// The index of the first line after line `after` whose block number is
// number, going round past the end to the program's start (so that asking
// again reaches the next line of a number used twice); -1 when none has it.
int FindBlockLine(const QTextDocument& document, qint64 number, int after);

}  // namespace quorlin
