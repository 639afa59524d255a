#pragma once
// The colours of an NC program: block numbers (N10), words (a letter and its
// number: G01, X-12.5), program numbers (O0001, %) and comments in
// parentheses. The editor asks for the colours of the lines it shows, so a
// program of millions of lines is not coloured whole when it is opened.
// Colouring never changes the text nor marks it modified.

#include <QList>
#include <QTextCharFormat>
#include <QTextLayout>
#include <vector>

namespace quorlin {

class NcHighlighter {
public:
    NcHighlighter();

    // What a character of a line is, for the colouring and for tests.
    enum class Role { Plain, BlockNumber, Word, MotionWord, ProgramNumber, Comment };
    static std::vector<Role> Classify(const QString& line);

    // The coloured stretches of a line, as its layout takes them.
    QList<QTextLayout::FormatRange> Formats(const QString& line) const;

private:
    const QTextCharFormat* FormatOf(Role role) const;

    QTextCharFormat m_blockNumber;
    QTextCharFormat m_word;
    QTextCharFormat m_motionWord;
    QTextCharFormat m_programNumber;
    QTextCharFormat m_comment;
};

}  // namespace quorlin
