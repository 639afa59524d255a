#pragma once
// The files of a transfer, opened exclusively (an advisory lock no other
// Quorlin transfer can share) and translated explicitly, the same on every
// platform. Only regular files are taken: a named pipe, a device or a folder
// is refused at once, never waited on (opening a pipe would block until
// another program opens its other end; a device may never end).
//  - a program to send is read as text: CR LF becomes LF, a SUB byte ends it,
//    NULs (paper-tape leader and fill) are skipped as a receive skips them;
//  - a received program is stored as text: an LF becomes CR LF, unless it
//    came behind a CR;
//  - a software image is read as raw bytes.

#include <cstddef>
#include <cstdint>
#include <string>

#include "transfer/TransferFileNative.h"

namespace quorlin {

// A file opened read-only for a transfer; raw reads with a read offset.
class TransferInputFile {
public:
    TransferInputFile() = default;
    ~TransferInputFile() { Close(); }
    TransferInputFile(const TransferInputFile&) = delete;
    TransferInputFile& operator=(const TransferInputFile&) = delete;

    // Fails with why the file could not be opened for the transfer.
    FileOutcome Open(const std::string& path);
    void Close();
    bool IsOpen() const { return m_file != transfer_file::kNoHandle; }
    // Reads the whole file now and serves every later read from that copy,
    // so that a file another program rewrites meanwhile is still sent as one
    // image. False (Failed() set) when it cannot be read or is larger than
    // limit.
    bool TakeSnapshot(uint64_t limit);
    // Reads up to count raw bytes; 0 at the end. A failure sets Failed().
    size_t ReadRaw(void* out, size_t count);
    bool Seek(uint64_t offset);
    uint64_t Offset() const { return m_offset; }
    uint64_t Length() const { return m_length; }
    bool Failed() const { return m_bFailed; }

private:
    transfer_file::Handle m_file = transfer_file::kNoHandle;
    uint64_t m_offset = 0;
    uint64_t m_length = 0;
    bool m_bFailed = false;
    bool m_bSnapshot = false;
    std::string m_snapshot;
};

// A program read as text from a TransferInputFile.
class ProgramReader {
public:
    FileOutcome Open(const std::string& path);
    void Close();
    bool IsOpen() const { return m_file.IsOpen(); }
    // Next character of the text, or -1 at its end (end of file or SUB).
    // NULs are skipped.
    int Get();
    // Up to count characters of text; fewer only at the end.
    size_t Read(char* out, size_t count);
    // The next line without its LF; false when no character is left.
    bool ReadLine(std::string& line);
    // Bytes of the file consumed so far (a CR LF pair counts two).
    uint64_t Offset() const { return m_file.Offset() - (m_nEnd - m_nPos); }
    uint64_t Length() const { return m_file.Length(); }
    bool Failed() const { return m_file.Failed(); }

private:
    bool Fill();  // keeps unread bytes, appends more; false when none came
    TransferInputFile m_file;
    char m_buffer[4096];
    size_t m_nPos = 0;
    size_t m_nEnd = 0;
    bool m_bEnded = false;
};

// A received program stored as text. A new file is written in place. An
// existing program is kept until the new one is complete: the program is
// received beside it ("PART.partial.nc" for "PART.nc") and put in its place
// by Commit; a receive that ends otherwise leaves the old program as it was
// and what came in the partial file.
class ProgramWriter {
public:
    ProgramWriter() = default;
    ~ProgramWriter() { Close(); }
    ProgramWriter(const ProgramWriter&) = delete;
    ProgramWriter& operator=(const ProgramWriter&) = delete;

    // An existing target that is not a regular file is refused.
    FileOutcome Open(const std::string& path);
    // Stores the bytes as text: an LF as CR LF unless a CR came just before
    // it, in this write or at the end of the previous one. False when the
    // file could not take them all (disk full, I/O error); whatever was
    // written stays.
    bool Write(const char* data, size_t count);
    // The program is complete: a program received beside the old one takes
    // its place. When that fails, the received program stays in the partial
    // file.
    FileOutcome Commit();
    // Ends without Commit: a partial file that holds something stays, an
    // empty one goes. False when closing reported a late write error.
    bool Close();
    bool IsOpen() const { return m_file != transfer_file::kNoHandle; }
    uint64_t Offset() const { return m_offset; }
    // Where the bytes go: the target, or the partial file beside it.
    const std::string& WritingPath() const { return m_strWriting; }
    bool WritesBeside() const { return !m_strTarget.empty(); }

private:
    transfer_file::Handle m_file = transfer_file::kNoHandle;
    transfer_file::Handle m_target = transfer_file::kNoHandle;  // the old program, held against other transfers
    std::string m_strTarget;   // the old program's path while writing beside it
    std::string m_strWriting;
    uint64_t m_offset = 0;
    bool m_bAfterCr = false;  // the last byte written was a CR
};

// "DIR/PART.partial.nc" for "DIR/PART.nc" ("DIR/PART.partial" without an extension).
std::string PartialPathFor(const std::string& path);

}  // namespace quorlin
