#include "transfer/qt/LogMirror.h"

#include <algorithm>

namespace quorlin {

namespace {
constexpr char16_t kControlPictures = 0x2400;  // U+2400 SYMBOL FOR NULL, then one for each C0 byte
constexpr char16_t kDeletePicture = 0x2421;
}  // namespace

QChar LogMirror::ViewCharOf(unsigned char byte) {
    if (byte == '\t' || byte == '\n') return QChar(static_cast<char16_t>(byte));
    if (byte < 0x20) return QChar(static_cast<char16_t>(kControlPictures + byte));
    if (byte == 0x7F) return QChar(kDeletePicture);
    return QChar(static_cast<char16_t>(byte));  // Latin-1: the byte is the code point
}

void LogMirror::Clear() {
    m_text.clear();
    m_folds.clear();
    m_nColumn = 0;
}

QString LogMirror::ViewOf(size_t from, size_t to) const {
    QString view;
    view.reserve(static_cast<qsizetype>(to - from));
    auto fold = std::lower_bound(m_folds.begin(), m_folds.end(), from);
    for (size_t at = from; at < to; ++at) {
        const unsigned char byte = static_cast<unsigned char>(m_text[at]);
        if (fold != m_folds.end() && *fold == at) {
            view += QLatin1Char('\n');
            ++fold;
        }
        if (byte == '\r')
            view += QLatin1Char('\n');
        else if (!IsLfAfterCr(at))
            view += ViewCharOf(byte);
    }
    return view;
}

QString LogMirror::Append(std::string_view bytes) {
    const size_t from = m_text.size();
    m_text.append(bytes);
    for (size_t at = from; at < m_text.size(); ++at) {
        const char c = m_text[at];
        if (c == '\r' || c == '\n') {
            m_nColumn = 0;
        } else {
            if (m_nColumn == kFoldColumn) {
                m_folds.push_back(at);
                m_nColumn = 0;
            }
            ++m_nColumn;
        }
    }
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
    // The folds inside the removed part go with it, and so does one right at
    // the cut: the view's first line begins with the first character left.
    while (!m_folds.empty() && m_folds.front() <= count) {
        m_folds.pop_front();
        ++viewCount;
    }
    for (size_t& fold : m_folds) fold -= count;
    m_text.erase(0, count);
    if (m_text.empty()) m_nColumn = 0;
    return viewCount;
}

}  // namespace quorlin
