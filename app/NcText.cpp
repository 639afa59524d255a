#include "app/NcText.h"

namespace quorlin {

namespace {

constexpr char kCr = '\r';
constexpr char kLf = '\n';
constexpr char16_t kLastSingleByte = 0xFF;

QByteArray EndingBytes(LineEnding ending) {
    switch (ending) {
    case LineEnding::Lf: return QByteArray(1, kLf);
    case LineEnding::Cr: return QByteArray(1, kCr);
    case LineEnding::CrLf: break;
    }
    return QByteArrayLiteral("\r\n");
}

bool IsBreak(QChar c) {
    return c == QLatin1Char(kLf) || c == QChar::ParagraphSeparator || c == QChar::LineSeparator;
}

}  // namespace

LineEnding DetectLineEnding(const QByteArray& bytes) {
    if (bytes.contains("\r\n")) return LineEnding::CrLf;
    if (bytes.contains(kLf)) return LineEnding::Lf;
    if (bytes.contains(kCr)) return LineEnding::Cr;
    return LineEnding::CrLf;
}

DecodedText DecodeNcBytes(const QByteArray& bytes) {
    DecodedText decoded;
    decoded.ending = DetectLineEnding(bytes);
    QByteArray lines = bytes;
    if (decoded.ending == LineEnding::CrLf) lines.replace("\r\n", "\n");
    else if (decoded.ending == LineEnding::Cr) lines.replace(kCr, kLf);
    decoded.text = QString::fromLatin1(lines);
    return decoded;
}

std::optional<QByteArray> EncodeNcText(const QString& text, LineEnding ending, int* firstBadLine) {
    const QByteArray breakBytes = EndingBytes(ending);
    QByteArray bytes;
    bytes.reserve(text.size() + text.size() / 16);
    int line = 1;
    for (QChar c : text) {
        if (IsBreak(c)) {
            bytes += breakBytes;
            ++line;
        } else if (c.unicode() <= kLastSingleByte) {
            bytes += static_cast<char>(c.unicode());
        } else {
            if (firstBadLine) *firstBadLine = line;
            return std::nullopt;
        }
    }
    return bytes;
}

std::optional<QByteArray> TextForSending(const QString& text, int* firstBadLine) {
    return EncodeNcText(text, LineEnding::CrLf, firstBadLine);
}

bool LooksBinary(const QByteArray& bytes) { return bytes.contains('\0'); }

}  // namespace quorlin
