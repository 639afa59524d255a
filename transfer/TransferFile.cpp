#include "transfer/TransferFile.h"

#include <cstring>

#include "transfer/LineControl.h"

namespace quorlin {

bool TransferInputFile::Open(const std::string& path) {
    Close();
    m_file = transfer_file::OpenExclusive(path, transfer_file::Access::Read, m_strOpenFailure);
    if (!IsOpen()) return false;
    if (!transfer_file::LengthOf(m_file, m_length, m_strOpenFailure)) {
        Close();
        return false;
    }
    m_offset = 0;
    m_bFailed = false;
    return true;
}

void TransferInputFile::Close() {
    if (IsOpen()) transfer_file::Close(m_file);
    m_file = transfer_file::kNoHandle;
}

size_t TransferInputFile::ReadRaw(void* out, size_t count) {
    if (!IsOpen()) return 0;
    auto* bytes = static_cast<char*>(out);
    size_t done = 0;
    while (done < count) {
        const long long got = transfer_file::ReadSome(m_file, bytes + done, count - done);
        if (got > 0) {
            done += static_cast<size_t>(got);
            continue;
        }
        if (got < 0) m_bFailed = true;
        break;
    }
    m_offset += done;
    return done;
}

bool TransferInputFile::Seek(uint64_t offset) {
    if (!IsOpen() || !transfer_file::SeekTo(m_file, offset)) return false;
    m_offset = offset;
    return true;
}

bool ProgramReader::Open(const std::string& path) {
    m_nPos = m_nEnd = 0;
    m_bEnded = false;
    return m_file.Open(path);
}

void ProgramReader::Close() { m_file.Close(); }

bool ProgramReader::Fill() {
    if (m_nPos > 0) {
        std::memmove(m_buffer, m_buffer + m_nPos, m_nEnd - m_nPos);
        m_nEnd -= m_nPos;
        m_nPos = 0;
    }
    const size_t got = m_file.ReadRaw(m_buffer + m_nEnd, sizeof m_buffer - m_nEnd);
    m_nEnd += got;
    return got > 0;
}

int ProgramReader::Get() {
    if (m_bEnded) return -1;
    if (m_nPos == m_nEnd && !Fill()) {
        m_bEnded = true;
        return -1;
    }
    const char c = m_buffer[m_nPos];
    if (c == kSUB) {
        m_bEnded = true;
        return -1;
    }
    if (c == kCR) {
        if (m_nPos + 1 == m_nEnd) Fill();
        if (m_nPos + 1 < m_nEnd && m_buffer[m_nPos + 1] == kLF) {
            m_nPos += 2;
            return kLF;
        }
    }
    ++m_nPos;
    return static_cast<unsigned char>(c);
}

size_t ProgramReader::Read(char* out, size_t count) {
    size_t done = 0;
    while (done < count) {
        const int c = Get();
        if (c < 0) break;
        out[done++] = static_cast<char>(c);
    }
    return done;
}

bool ProgramReader::ReadLine(std::string& line) {
    line.clear();
    int c = Get();
    if (c < 0) return false;
    while (c >= 0 && c != kLF) {
        line.push_back(static_cast<char>(c));
        c = Get();
    }
    return true;
}

bool ProgramWriter::Open(const std::string& path) {
    Close();
    m_file = transfer_file::OpenExclusive(path, transfer_file::Access::Write, m_strOpenFailure);
    if (!IsOpen()) return false;
    m_offset = 0;
    return true;
}

bool ProgramWriter::Write(const char* data, size_t count) {
    if (!IsOpen()) return false;
    std::string text;
    text.reserve(count + count / 8);
    for (size_t i = 0; i < count; ++i) {
        if (data[i] == kLF) text.push_back(kCR);
        text.push_back(data[i]);
    }
    size_t done = 0;
    while (done < text.size()) {
        const long long put = transfer_file::WriteSome(m_file, text.data() + done, text.size() - done);
        if (put <= 0) return false;
        done += static_cast<size_t>(put);
        m_offset += static_cast<uint64_t>(put);
    }
    return true;
}

bool ProgramWriter::Close() {
    if (!IsOpen()) return true;
    const bool ok = transfer_file::Close(m_file);
    m_file = transfer_file::kNoHandle;
    return ok;
}

}  // namespace quorlin
