#pragma once
// The communication log as the engine counts it, and the text the log view
// shows for it.
//
// The engine measures the log in characters of the control, where a line
// break is CR LF, two characters, and every received byte is one character
// (bytes are decoded as Latin-1, so none is lost or merged with its
// neighbour). A QPlainTextEdit holds a line break as one block separator, so
// the view's text differs: a CR is shown as the line break, an LF right
// behind a CR is not shown, and any other LF is a line break of its own.
// A run of more than kFoldColumn characters without a line break is folded
// in the view: laying out one line of tens of thousands of characters on
// every append (received noise at a wrong baud rate has no line breaks)
// took the GUI thread longer than the line took to bring it.
// Control bytes other than tab and the line breaks (DC1, DC3, SUB, the bytes
// of a download's packets) are shown as their symbols from the Unicode block
// Control Pictures, one character each, so that they can be read and the
// view still has one character for each of them.
// LogMirror keeps the log's own text and says, for each change, what the
// view has to do so that it always shows exactly ViewText().

#include <QString>
#include <cstddef>
#include <deque>
#include <string>
#include <string_view>

namespace quorlin {

class LogMirror {
public:
    static constexpr size_t kFoldColumn = 1024;

    size_t Length() const { return m_text.size(); }
    bool IsEmpty() const { return m_text.empty(); }
    const std::string& Text() const { return m_text; }

    // Appends the bytes; returns the text the view appends.
    QString Append(std::string_view bytes);
    // Removes the first count characters (all of them when count exceeds the
    // length); returns how many characters the view removes from its front.
    int EraseFront(size_t count);
    void Clear();

    // The whole text as the view shows it.
    QString ViewText() const { return ViewOf(0, m_text.size()); }
    // The view's character for a byte of the log that is not a CR.
    static QChar ViewCharOf(unsigned char byte);

private:
    QString ViewOf(size_t from, size_t to) const;
    bool IsLfAfterCr(size_t at) const { return m_text[at] == '\n' && at > 0 && m_text[at - 1] == '\r'; }

    std::string m_text;
    // Offsets of the characters that begin a folded part of a line, in order.
    std::deque<size_t> m_folds;
    size_t m_nColumn = 0;  // characters in the view's last line
};

}  // namespace quorlin
