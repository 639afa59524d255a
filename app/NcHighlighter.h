#pragma once
// Colours an NC program as it is typed: block numbers (N10), words (a letter
// and its number: G01, X-12.5), program numbers (O0001, %) and comments in
// parentheses. Colouring never changes the text nor marks it modified.

#include <QSyntaxHighlighter>
#include <QTextCharFormat>
#include <vector>

namespace quorlin {

class NcHighlighter : public QSyntaxHighlighter {
    Q_OBJECT
public:
    explicit NcHighlighter(QTextDocument* document);

    // What a character of a line is, for the colouring and for tests.
    enum class Role { Plain, BlockNumber, Word, MotionWord, ProgramNumber, Comment };
    static std::vector<Role> Classify(const QString& line);

protected:
    void highlightBlock(const QString& text) override;

private:
    QTextCharFormat m_blockNumber;
    QTextCharFormat m_word;
    QTextCharFormat m_motionWord;
    QTextCharFormat m_programNumber;
    QTextCharFormat m_comment;
};

}  // namespace quorlin
