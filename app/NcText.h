#pragma once
// NC program files are single-byte text. Every byte of a loaded file is kept:
// byte b becomes the character U+00b (Latin-1), which turns back into the
// same byte on saving, so no encoding is guessed and no byte can change.
// The file's line breaks are kept as well: the editor holds '\n', and the
// file's own break (CR LF, LF or CR) is written back; a new file gets CR LF.

#include <QByteArray>
#include <QString>
#include <optional>

namespace quorlin {

enum class LineEnding { CrLf, Lf, Cr };

struct DecodedText {
    QString text;  // line breaks as '\n'
    LineEnding ending = LineEnding::CrLf;
};

// The line break a file uses: CR LF when it holds any, else LF when it holds
// any, else CR when it holds any, else CR LF.
LineEnding DetectLineEnding(const QByteArray& bytes);

DecodedText DecodeNcBytes(const QByteArray& bytes);

// The editor's text as the file's bytes; '\n' (and the editor's paragraph
// and line separators) become ending. Nothing when the text holds a
// character beyond U+00FF; firstBadLine (1-based) then names its line.
std::optional<QByteArray> EncodeNcText(const QString& text, LineEnding ending, int* firstBadLine = nullptr);

// The editor's text as the transfer engine takes it: CR LF line breaks.
// Nothing when the text holds a character beyond U+00FF, which no byte on
// the line can carry; firstBadLine (1-based) then names its line.
std::optional<QByteArray> TextForSending(const QString& text, int* firstBadLine = nullptr);

// True when the bytes cannot be a program text: they hold a NUL byte.
bool LooksBinary(const QByteArray& bytes);

}  // namespace quorlin
