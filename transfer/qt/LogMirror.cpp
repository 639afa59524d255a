#include "transfer/qt/LogMirror.h"

#include <algorithm>

namespace quorlin {

QString LogMirror::ViewOf(size_t from, size_t to) const {
    QString view;
    view.reserve(static_cast<qsizetype>(to - from));
    for (size_t at = from; at < to; ++at) {
        const unsigned char byte = static_cast<unsigned char>(m_text[at]);
        if (byte == '\r')
            view += QLatin1Char('\n');
        else if (!IsLfAfterCr(at))
            view += QChar(static_cast<char16_t>(byte));  // Latin-1: the byte is the code point
    }
    return view;
}

QString LogMirror::Append(std::string_view bytes) {
    const size_t from = m_text.size();
    m_text.append(bytes);
    return ViewOf(from, m_text.size());
}

int LogMirror::EraseFront(size_t count) {
    count = std::min(count, m_text.size());
    int viewCount = 0;
    for (size_t at = 0; at < count; ++at)
        if (!IsLfAfterCr(at)) ++viewCount;
    // A cut between CR and LF leaves the LF first: it becomes the line break
    // that the CR stood for in the view, so the view keeps that break.
    if (count > 0 && count < m_text.size() && IsLfAfterCr(count)) --viewCount;
    m_text.erase(0, count);
    return viewCount;
}

}  // namespace quorlin
