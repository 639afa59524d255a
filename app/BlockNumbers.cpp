#include "app/BlockNumbers.h"

#include <QRegularExpression>
#include <QTextBlock>
#include <QTextDocument>

namespace quorlin {

namespace {

qsizetype SkipBlanks(QStringView line, qsizetype i) {
    while (i < line.size() && (line[i] == QLatin1Char(' ') || line[i] == QLatin1Char('\t'))) ++i;
    return i;
}

qsizetype SkipDigits(QStringView line, qsizetype i) {
    while (i < line.size() && line[i].isDigit() && line[i].unicode() < 0x80) ++i;
    return i;
}

}  // namespace

std::optional<BlockWord> BlockNumberOf(QStringView line) {
    qsizetype i = SkipBlanks(line, 0);
    if (i < line.size() && line[i] == QLatin1Char('/')) i = SkipBlanks(line, SkipDigits(line, i + 1));
    if (i >= line.size() || (line[i] != QLatin1Char('N') && line[i] != QLatin1Char('n'))) return std::nullopt;
    const qsizetype digits = SkipBlanks(line, i + 1);
    const qsizetype end = SkipDigits(line, digits);
    if (end == digits) return std::nullopt;
    bool ok = false;
    const qint64 number = line.mid(digits, end - digits).toLongLong(&ok);
    if (!ok) return std::nullopt;
    return BlockWord{QLatin1Char('N') + line.mid(digits, end - digits).toString(), number};
}

std::optional<GoToTarget> ParseGoToTarget(const QString& text) {
    static const QRegularExpression kPattern(QStringLiteral("^\\s*([Nn]?)\\s*([0-9]{1,15})\\s*$"));
    const QRegularExpressionMatch match = kPattern.match(text);
    if (!match.hasMatch()) return std::nullopt;
    GoToTarget target{!match.capturedView(1).isEmpty(), match.capturedView(2).toLongLong()};
    if (!target.block && target.number == 0) return std::nullopt;
    return target;
}

int FindBlockLine(const QTextDocument& document, qint64 number, int after) {
    const int lines = document.blockCount();
    QTextBlock block = document.findBlockByNumber(after + 1);
    for (int seen = 0; seen < lines; ++seen) {
        if (!block.isValid()) block = document.firstBlock();
        const std::optional<BlockWord> word = BlockNumberOf(block.text());
        if (word && word->number == number) return block.blockNumber();
        block = block.next();
    }
    return -1;
}

}  // namespace quorlin
