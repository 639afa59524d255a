#include "app/NcText.h"

namespace quorlin {

namespace {

constexpr char kCr = '\r';
constexpr char kLf = '\n';
constexpr char16_t kLastSingleByte = 0xFF;

bool IsBreak(QChar c) {
    return c == QLatin1Char(kLf) || c == QChar::ParagraphSeparator || c == QChar::LineSeparator;
}

void AppendBreak(QByteArray& bytes, LineEnding ending) {
    switch (ending) {
    case LineEnding::Lf: bytes += kLf; break;
    case LineEnding::Cr: bytes += kCr; break;
    case LineEnding::CrLf: bytes += "\r\n"; break;
    }
}

}  // namespace

void LineDecoder::Count(LineEnding ending, std::vector<LineEnding>& breaks) {
    ++m_counts[static_cast<size_t>(ending)];
    breaks.push_back(ending);
}

void LineDecoder::Decode(const char* data, qsizetype size, QString& text, std::vector<LineEnding>& breaks) {
    qsizetype i = 0;
    if (m_bCrPending && size > 0) {
        m_bCrPending = false;
        const bool crLf = data[0] == kLf;
        Count(crLf ? LineEnding::CrLf : LineEnding::Cr, breaks);
        if (crLf) i = 1;
    }
    const qsizetype start = text.size();
    text.resize(start + size - i);
    QChar* out = text.data() + start;
    for (; i < size; ++i) {
        const char c = data[i];
        if (c == kLf) {
            *out++ = QLatin1Char(kLf);
            Count(LineEnding::Lf, breaks);
        } else if (c == kCr) {
            *out++ = QLatin1Char(kLf);
            if (i + 1 == size) {
                m_bCrPending = true;
            } else if (data[i + 1] == kLf) {
                Count(LineEnding::CrLf, breaks);
                ++i;
            } else {
                Count(LineEnding::Cr, breaks);
            }
        } else {
            *out++ = QChar(static_cast<char16_t>(static_cast<unsigned char>(c)));
        }
    }
    text.truncate(out - text.constData());
}

void LineDecoder::Finish(std::vector<LineEnding>& breaks) {
    if (!m_bCrPending) return;
    m_bCrPending = false;
    Count(LineEnding::Cr, breaks);
}

LineEnding LineDecoder::UsualBreak() const {
    const qint64 crLf = m_counts[static_cast<size_t>(LineEnding::CrLf)];
    const qint64 lf = m_counts[static_cast<size_t>(LineEnding::Lf)];
    const qint64 cr = m_counts[static_cast<size_t>(LineEnding::Cr)];
    if (crLf >= lf && crLf >= cr) return LineEnding::CrLf;
    return lf >= cr ? LineEnding::Lf : LineEnding::Cr;
}

DecodedText DecodeNcBytes(const QByteArray& bytes) {
    DecodedText decoded;
    LineDecoder decoder;
    decoder.Decode(bytes.constData(), bytes.size(), decoded.text, decoded.breaks);
    decoder.Finish(decoded.breaks);
    decoded.ending = decoder.UsualBreak();
    return decoded;
}

std::optional<QByteArray> EncodeNcLines(const QString& text, const std::vector<LineEnding>& breaks,
                                        LineEnding usual, int* firstBadLine) {
    QByteArray bytes;
    bytes.reserve(text.size() + text.size() / 16);
    size_t line = 0;
    for (QChar c : text) {
        if (IsBreak(c)) {
            AppendBreak(bytes, line < breaks.size() ? breaks[line] : usual);
            ++line;
        } else if (c.unicode() <= kLastSingleByte) {
            bytes += static_cast<char>(c.unicode());
        } else {
            if (firstBadLine) *firstBadLine = static_cast<int>(line) + 1;
            return std::nullopt;
        }
    }
    return bytes;
}

std::optional<QByteArray> EncodeNcText(const QString& text, LineEnding ending, int* firstBadLine) {
    return EncodeNcLines(text, {}, ending, firstBadLine);
}

std::optional<QByteArray> TextForSending(const QString& text, int* firstBadLine) {
    return EncodeNcText(text, LineEnding::CrLf, firstBadLine);
}

bool LooksBinary(const QByteArray& bytes) { return bytes.contains('\0'); }

}  // namespace quorlin
