#include "app/NcHighlighter.h"

#include <algorithm>

namespace quorlin {

namespace {

bool IsNumberChar(QChar c) { return c.isDigit() || c == QLatin1Char('.') || c == QLatin1Char('-') || c == QLatin1Char('+'); }

bool IsAddressLetter(QChar c) { return c.isLetter() && c.unicode() < 0x80; }

}  // namespace

NcHighlighter::NcHighlighter() {
    m_blockNumber.setForeground(QColor(0x80, 0x80, 0x80));
    m_word.setForeground(QColor(0x1a, 0x4f, 0x9c));
    m_motionWord.setForeground(QColor(0x8e, 0x24, 0xaa));
    m_motionWord.setFontWeight(QFont::Bold);
    m_programNumber.setForeground(QColor(0xb0, 0x3a, 0x2e));
    m_programNumber.setFontWeight(QFont::Bold);
    m_comment.setForeground(QColor(0x2e, 0x7d, 0x32));
    m_comment.setFontItalic(true);
}

std::vector<NcHighlighter::Role> NcHighlighter::Classify(const QString& line) {
    std::vector<Role> roles(static_cast<size_t>(line.size()), Role::Plain);
    auto mark = [&roles](qsizetype from, qsizetype to, Role role) {
        for (qsizetype i = from; i < to; ++i) roles[static_cast<size_t>(i)] = role;
    };
    bool firstWord = true;
    qsizetype i = 0;
    while (i < line.size()) {
        const QChar c = line.at(i);
        if (c == QLatin1Char('(')) {
            // A comment runs to its closing parenthesis or the end of the line.
            qsizetype end = line.indexOf(QLatin1Char(')'), i);
            end = end < 0 ? line.size() : end + 1;
            mark(i, end, Role::Comment);
            i = end;
            continue;
        }
        if (c == QLatin1Char('%')) {
            mark(i, i + 1, Role::ProgramNumber);
            ++i;
            continue;
        }
        if (IsAddressLetter(c)) {
            qsizetype end = i + 1;
            while (end < line.size() && (line.at(end) == QLatin1Char(' ') || IsNumberChar(line.at(end)))) ++end;
            while (end > i + 1 && line.at(end - 1) == QLatin1Char(' ')) --end;
            if (end > i + 1) {
                const QChar letter = c.toUpper();
                Role role = Role::Word;
                if (letter == QLatin1Char('N') && firstWord) role = Role::BlockNumber;
                else if (letter == QLatin1Char('O')) role = Role::ProgramNumber;
                else if (letter == QLatin1Char('G') || letter == QLatin1Char('M')) role = Role::MotionWord;
                mark(i, end, role);
                firstWord = false;
                i = end;
                continue;
            }
        }
        if (!c.isSpace() && c != QLatin1Char('/')) firstWord = false;
        ++i;
    }
    return roles;
}

const QTextCharFormat* NcHighlighter::FormatOf(Role role) const {
    switch (role) {
    case Role::BlockNumber: return &m_blockNumber;
    case Role::Word: return &m_word;
    case Role::MotionWord: return &m_motionWord;
    case Role::ProgramNumber: return &m_programNumber;
    case Role::Comment: return &m_comment;
    case Role::Plain: break;
    }
    return nullptr;
}

// As few stretches as the colours allow: each stretch is shaped and drawn
// on its own, so a line in fewer of them lays out and paints faster. Blanks
// show no colour, so a stretch takes in the blanks after it, and two of the
// same colour with only blanks between them become one.
QList<QTextLayout::FormatRange> NcHighlighter::Formats(const QString& line) const {
    QList<QTextLayout::FormatRange> formats;
    const std::vector<Role> roles = Classify(line);
    const QTextCharFormat* previous = nullptr;
    qsizetype start = 0;
    while (start < line.size()) {
        const Role role = roles[static_cast<size_t>(start)];
        qsizetype end = start + 1;
        while (end < line.size() && roles[static_cast<size_t>(end)] == role) ++end;
        const QTextCharFormat* format = FormatOf(role);
        const bool blank = !format && std::all_of(line.constData() + start, line.constData() + end,
                                                  [](QChar c) { return c == QLatin1Char(' ') || c == QLatin1Char('\t'); });
        if (previous && (format == previous || blank)) {
            formats.back().length = static_cast<int>(end - formats.back().start);
        } else if (format) {
            formats.append({static_cast<int>(start), static_cast<int>(end - start), *format});
            previous = format;
        } else {
            previous = nullptr;
        }
        start = end;
    }
    return formats;
}

}  // namespace quorlin
