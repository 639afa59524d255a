#include "transfer/TransferFile.h"

#include <algorithm>
#include <cstring>

#include "transfer/LineControl.h"
#include "transfer/TextRules.h"

namespace quorlin {

FileOutcome TransferInputFile::Open(const std::string& path) {
    Close();
    transfer_file::Opened opened = transfer_file::OpenExclusive(path, transfer_file::Access::Read);
    if (opened.failure) return std::move(*opened.failure);
    m_file = opened.handle;
    FileOutcome length = transfer_file::LengthOf(m_file, m_length);
    if (!length) {
        Close();
        return length;
    }
    m_offset = 0;
    m_bFailed = false;
    return {};
}

void TransferInputFile::Close() {
    if (IsOpen()) transfer_file::Close(m_file);
    m_file = transfer_file::kNoHandle;
    m_bSnapshot = false;
    m_snapshot.clear();
    m_snapshot.shrink_to_fit();
}

bool TransferInputFile::TakeSnapshot(uint64_t limit) {
    if (!IsOpen() || m_length > limit) {
        m_bFailed = true;
        return false;
    }
    const uint64_t start = m_offset;
    std::string bytes(static_cast<size_t>(m_length), '\0');
    if (!Seek(0)) {
        m_bFailed = true;
        return false;
    }
    const size_t got = ReadRaw(bytes.data(), bytes.size());
    bytes.resize(got);
    if (m_bFailed) return false;
    m_snapshot = std::move(bytes);
    m_length = m_snapshot.size();
    m_bSnapshot = true;
    m_offset = std::min<uint64_t>(start, m_length);
    return true;
}

size_t TransferInputFile::ReadRaw(void* out, size_t count) {
    if (!IsOpen()) return 0;
    if (m_bSnapshot) {
        const size_t done = static_cast<size_t>(std::min<uint64_t>(count, m_length - m_offset));
        std::memcpy(out, m_snapshot.data() + m_offset, done);
        m_offset += done;
        return done;
    }
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
    if (m_bSnapshot) {
        if (offset > m_length) return false;
        m_offset = offset;
        return true;
    }
    if (!IsOpen() || !transfer_file::SeekTo(m_file, offset)) return false;
    m_offset = offset;
    return true;
}

FileOutcome ProgramReader::Open(const std::string& path) {
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
    // Tape leader and fill: a NUL is no character of the program, and a
    // trailer of them must not become a line of its own.
    while (m_buffer[m_nPos] == '\0') {
        if (++m_nPos == m_nEnd && !Fill()) {
            m_bEnded = true;
            return -1;
        }
    }
    const char c = m_buffer[m_nPos];
    if (c == kSUB) {
        m_bEnded = true;
        return -1;
    }
    if (c == kCR) {
        // The LF of a CR LF pair may stand behind fill too.
        size_t ahead = 1;
        while ((m_nPos + ahead < m_nEnd || Fill()) && m_buffer[m_nPos + ahead] == '\0') ++ahead;
        if (m_nPos + ahead < m_nEnd && m_buffer[m_nPos + ahead] == kLF) {
            m_nPos += ahead + 1;
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

std::string PartialPathFor(const std::string& path) {
    const size_t slash = path.find_last_of("/\\");
    const size_t nameStart = slash == std::string::npos ? 0 : slash + 1;
    const size_t dot = path.rfind('.');
    const bool hasExtension = dot != std::string::npos && dot > nameStart;
    const size_t cut = hasExtension ? dot : path.size();
    return path.substr(0, cut) + ".partial" + path.substr(cut);
}

FileOutcome ProgramWriter::Open(const std::string& path) {
    Close();
    m_offset = 0;
    m_bAfterCr = false;
    m_strTarget.clear();
    // An existing program, held so that no other transfer writes it, stays
    // untouched until the new one is complete.
    transfer_file::Opened target = transfer_file::OpenExclusive(path, transfer_file::Access::Replace);
    if (target.failure) return std::move(*target.failure);  // there, but not to be replaced
    m_target = target.handle;
    if (m_target != transfer_file::kNoHandle) {
        m_strTarget = path;
        m_strWriting = PartialPathFor(path);
    } else {
        m_strWriting = path;
    }
    transfer_file::Opened writing = transfer_file::OpenExclusive(m_strWriting, transfer_file::Access::Write);
    m_file = writing.handle;
    if (IsOpen()) return {};
    if (m_target != transfer_file::kNoHandle) transfer_file::Close(m_target);
    m_target = transfer_file::kNoHandle;
    m_strTarget.clear();
    return std::move(*writing.failure);
}

FileOutcome ProgramWriter::Commit() {
    if (!IsOpen()) return FileFailure{FileErrorCause::InvalidFile, m_strWriting, 0, "the file is not open", ""};
    FileOutcome closed = transfer_file::Close(m_file);
    m_file = transfer_file::kNoHandle;
    if (!closed) {
        FileFailure failure = closed.Failure();
        failure.path = m_strWriting;
        failure.text = "the file could not be written";
        return failure;
    }
    if (m_strTarget.empty()) return {};
    transfer_file::Close(m_target);
    m_target = transfer_file::kNoHandle;
    FileOutcome replaced = transfer_file::Replace(m_strWriting, m_strTarget);
    if (replaced) m_strWriting = m_strTarget;
    m_strTarget.clear();
    return replaced;
}

bool ProgramWriter::Write(const char* data, size_t count) {
    if (!IsOpen()) return false;
    const std::string text = ReceivedAsStoredText(data, count, m_bAfterCr);
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
    if (m_target != transfer_file::kNoHandle) transfer_file::Close(m_target);
    m_target = transfer_file::kNoHandle;
    if (!IsOpen()) return true;
    const bool ok = static_cast<bool>(transfer_file::Close(m_file));
    m_file = transfer_file::kNoHandle;
    // Nothing came: no partial file beside the old program.
    if (!m_strTarget.empty() && m_offset == 0) transfer_file::Remove(m_strWriting);
    m_strTarget.clear();
    return ok;
}

}  // namespace quorlin
