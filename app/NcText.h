#pragma once
// NC program files are single-byte text. Every byte of a loaded file is kept:
// byte b becomes the character U+00b (Latin-1), which turns back into the
// same byte on saving, so no encoding is guessed and no byte can change.
// Each line's own break (CR LF, LF or CR) is kept as well: the editor holds
// '\n', and the break every line had is written back; a line added in the
// editor gets the break most lines of the file have (CR LF for a new file).

#include <QByteArray>
#include <QString>
#include <array>
#include <cstdint>
#include <optional>
#include <vector>

namespace quorlin {

enum class LineEnding : std::uint8_t { CrLf, Lf, Cr };

// Turns a file's bytes, handed over in pieces of any size, into the editor's
// text ('\n' between lines) and the break that ended each line. A CR at the
// end of a piece is a line's end at once; whether it was CR or CR LF is known
// from the next piece, so that line's break is recorded one piece later.
class LineDecoder {
public:
    // Appends the text of the piece to text and the breaks of the lines it
    // ends to breaks.
    void Decode(const char* data, qsizetype size, QString& text, std::vector<LineEnding>& breaks);
    // After the last piece: records the break of a line that ended with CR.
    void Finish(std::vector<LineEnding>& breaks);
    // The break most lines ended with; CR LF on a tie with it or for none.
    LineEnding UsualBreak() const;

private:
    void Count(LineEnding ending, std::vector<LineEnding>& breaks);

    bool m_bCrPending = false;
    std::array<qint64, 3> m_counts {};
};

struct DecodedText {
    QString text;                    // line breaks as '\n'
    std::vector<LineEnding> breaks;  // the break after each line that has one
    LineEnding ending = LineEnding::CrLf;  // the usual break, for lines added
};

DecodedText DecodeNcBytes(const QByteArray& bytes);

// The editor's text as the file's bytes: the break after line i (from 0) is
// breaks[i], or usual for a line beyond breaks; the editor's paragraph and
// line separators count as '\n'. Nothing when the text holds a character
// beyond U+00FF; firstBadLine (1-based) then names its line.
std::optional<QByteArray> EncodeNcLines(const QString& text, const std::vector<LineEnding>& breaks,
                                        LineEnding usual, int* firstBadLine = nullptr);
// The same with one break for every line.
std::optional<QByteArray> EncodeNcText(const QString& text, LineEnding ending, int* firstBadLine = nullptr);

// The editor's text as the transfer engine takes it: CR LF line breaks.
// Nothing when the text holds a character beyond U+00FF, which no byte on
// the line can carry; firstBadLine (1-based) then names its line.
std::optional<QByteArray> TextForSending(const QString& text, int* firstBadLine = nullptr);

// True when the bytes cannot be a program text: they hold a NUL byte.
bool LooksBinary(const QByteArray& bytes);

}  // namespace quorlin
