// Sending a program, file or open document, with each protocol, through the
// real engine on the recording port. What reaches the port must be what a
// model of the text rules gives:
//  - Echo: one byte per answer, NUL, CR, blank and '+' dropped, upper case,
//    no LF after an LF, LF then SUB at the end;
//  - Block: pieces of 511 characters, upper-cased, without NULs, blanks and
//    CRs, runs of LF collapsed, empty pieces not written; LF SUB;
//  - Xon: every line's cleaned bytes (no NUL, blank, tab or CR) once and in
//    order over the blocks, each block ended by ESC (SUB for the last), no
//    block over the port's 5000-byte write buffer, and blocks cut only where
//    the filling rule allows.
// A file is read as text first: CR LF is one LF, SUB ends it, NULs are
// skipped; a document's NULs are skipped too.

#include <fcntl.h>
#include <unistd.h>

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/transfer/EngineRig.h"
#include "tests/fuzz/FuzzSupport.h"
#include "transfer/TextRules.h"

namespace quorlin::fuzz {
using test::EngineRig;
namespace {

constexpr char kLF = '\n';
constexpr char kCR = '\r';
constexpr char kDC1 = 0x11;
constexpr char kDC3 = 0x13;
constexpr char kSUB = 0x1A;
constexpr char kESC = 0x1B;

constexpr size_t kBlockPiece = 511;
constexpr size_t kWriteBuffer = 5000;  // the serial port's write buffer
constexpr size_t kXonFillLimit = 4063;  // lines are added while a block holds at most this
constexpr size_t kMaxRepeats = 8;
// Echo costs one engine step per character; longer texts add nothing new.
constexpr size_t kEchoMaxText = 1024;

enum class Family { Echo = 0, Block = 1, Xon = 4 };

char Upper(char c) { return (c >= 'a' && c <= 'z') ? static_cast<char>(c - 'a' + 'A') : c; }

std::string WithoutNuls(std::string bytes) {
    bytes.erase(std::remove(bytes.begin(), bytes.end(), '\0'), bytes.end());
    return bytes;
}

// A file read as text.
std::string TextOfFile(const std::string& raw) {
    const std::string bytes = WithoutNuls(raw);
    std::string text;
    for (size_t i = 0; i < bytes.size() && bytes[i] != kSUB; ++i) {
        if (bytes[i] == kCR && i + 1 < bytes.size() && bytes[i + 1] == kLF) continue;
        text += bytes[i];
    }
    return text;
}

std::string ModelEcho(const std::string& text) {
    std::string out;
    char last = '\0';
    for (char c : text) {
        if (c == '\0' || c == kCR || c == ' ' || c == '+') continue;
        const char ch = Upper(c);
        if (ch == kLF && last == kLF) continue;
        out += ch;
        last = ch;
    }
    if (last != kLF) out += kLF;
    return out + kSUB;
}

std::string ModelNormalized(std::string piece) {
    std::string cleaned;
    for (char c : piece)
        if (c != '\0' && c != ' ' && c != kCR) cleaned += Upper(c);
    for (size_t pair; (pair = cleaned.find("\n\n")) != std::string::npos;) cleaned.erase(pair, 1);
    return cleaned;
}

std::vector<std::string> ModelBlockWrites(const std::string& text) {
    std::vector<std::string> writes;
    for (size_t pos = 0; pos < text.size(); pos += kBlockPiece) {
        const std::string cleaned = ModelNormalized(text.substr(pos, kBlockPiece));
        if (!cleaned.empty()) writes.push_back(cleaned);
    }
    writes.push_back(std::string{kLF, kSUB});
    return writes;
}

std::string CleanXon(const std::string& line) {
    std::string out;
    for (char c : line)
        if (c != '\0' && c != ' ' && c != '\t' && c != kCR) out += Upper(c);
    return out;
}

// The cleaned lines of an Xon send, each with its LF: a file's lines are its
// text split at LF, with LF appended; a document's keep their own LF through
// the cleaning, and a last line without one gets one. The bytes are the same.
std::vector<std::string> ModelXonLines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        const size_t lf = text.find(kLF, start);
        const size_t end = lf == std::string::npos ? text.size() : lf;
        lines.push_back(CleanXon(text.substr(start, end - start)) + kLF);
        start = lf == std::string::npos ? text.size() : lf + 1;
    }
    return lines;
}

// The pure rules on the raw input: NormalizeText in place, IsDataChar and
// CleanXonLine byte by byte.
void CheckPureRules(const std::string& unit) {
    std::string normalized = unit;
    NormalizeText(normalized);
    FUZZ_CHECK(normalized == ModelNormalized(unit), "NormalizeText gave " + Escaped(normalized));
    for (char c : unit) {
        const bool data = c != '\0' && c != kCR && c != ' ' && c != '+';
        FUZZ_CHECK(IsDataChar(static_cast<uint8_t>(c)) == data, "IsDataChar " + Escaped(std::string(1, c)));
    }
    std::string line = unit;
    CleanXonLine(line);
    FUZZ_CHECK(line == CleanXon(unit), "CleanXonLine gave " + Escaped(line));
}

void WriteFile(const std::string& path, const std::string& bytes) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0600);
    FUZZ_CHECK(fd >= 0, path);
    FUZZ_CHECK(::write(fd, bytes.data(), bytes.size()) == static_cast<ssize_t>(bytes.size()), path);
    ::close(fd);
}

std::string Joined(const std::vector<std::string>& parts) {
    std::string all;
    for (const std::string& p : parts) all += p;
    return all;
}

void CheckEcho(EngineRig& rig, const std::string& text, quorlin::EndResult completed) {
    // One answer per byte written, and a few more than needed at most.
    const size_t answers = 2 * text.size() + 3;
    for (size_t i = 0; i < answers && rig.engine->IsTransferring(); ++i) rig.ControllerSends("x");
    FUZZ_CHECK(!rig.engine->IsTransferring(), "the Echo send did not end");
    FUZZ_CHECK(rig.engine->LastEndResult() == completed, "end " + std::to_string(static_cast<unsigned>(rig.engine->LastEndResult())));
    for (const std::string& w : rig.port->Writes()) FUZZ_CHECK(w.size() == 1, "an Echo write of several bytes");
    const std::string expected = ModelEcho(text);
    FUZZ_CHECK(rig.port->Written() == expected,
               "wrote " + Escaped(rig.port->Written()) + "\n   model " + Escaped(expected));
}

void CheckBlock(EngineRig& rig, const std::string& text, quorlin::EndResult completed) {
    const size_t steps = text.size() / kBlockPiece + 3;
    for (size_t i = 0; i < steps && rig.engine->IsTransferring(); ++i) rig.TxEmpty();
    FUZZ_CHECK(!rig.engine->IsTransferring(), "the Block send did not end");
    FUZZ_CHECK(rig.engine->LastEndResult() == completed, "end " + std::to_string(static_cast<unsigned>(rig.engine->LastEndResult())));
    const std::vector<std::string> writes = rig.port->Writes();
    const std::vector<std::string> expected = ModelBlockWrites(text);
    FUZZ_CHECK(writes == expected, "wrote " + std::to_string(writes.size()) + " pieces " + Escaped(Joined(writes)) +
                                       "\n   model " + std::to_string(expected.size()) + " pieces " +
                                       Escaped(Joined(expected)));
    for (const std::string& w : writes) FUZZ_CHECK(w.size() <= kBlockPiece, "a piece over 511 bytes");
}

// stopAfter: the controller sends DC3 instead of the DC1 that would ask for
// that block (0: never).
void CheckXon(EngineRig& rig, const std::string& text, size_t stopAfter) {
    const std::vector<std::string> lines = ModelXonLines(text);
    const std::string expectedBytes = Joined(lines);
    // Where a line ends, counted in the cleaned bytes.
    std::vector<bool> lineEnd(expectedBytes.size() + 1, false);
    lineEnd[0] = true;
    size_t offset = 0;
    for (const std::string& line : lines) lineEnd[offset += line.size()] = true;

    const size_t requests = expectedBytes.size() / (kXonFillLimit / 2) + 3;
    bool stopped = false;
    for (size_t i = 1; i <= requests && rig.engine->IsTransferring(); ++i) {
        if (i == stopAfter) {
            rig.ControllerSends(std::string(1, kDC3));
            stopped = true;
            break;
        }
        rig.ControllerSends(std::string(1, kDC1));
    }
    FUZZ_CHECK(!rig.engine->IsTransferring(), "the Xon send did not end");
    FUZZ_CHECK(rig.engine->LastEndResult() == (stopped ? EndResult::SendStoppedByController : EndResult::SendFileCompleted),
               "end " + std::to_string(static_cast<unsigned>(rig.engine->LastEndResult())));
    if (stopped) {
        FUZZ_CHECK(rig.port->Calls().back() == "Purge", "DC3 did not purge the port last");
        // The operator is told that the program did not arrive whole.
        FUZZ_CHECK(rig.host.messages.size() == 1 && rig.host.messages.front().text.find("DC3") != std::string::npos,
                   "no single message on DC3");
        rig.host.messages.clear();
    }

    const std::vector<std::string> blocks = rig.port->Writes();
    FUZZ_CHECK(!blocks.empty() || stopped, "no block written");
    std::string bodies;
    for (size_t b = 0; b < blocks.size(); ++b) {
        const std::string& block = blocks[b];
        const bool last = b + 1 == blocks.size() && !stopped;
        FUZZ_CHECK(!block.empty() && block.size() <= kWriteBuffer,
                   "block " + std::to_string(b) + " of " + std::to_string(block.size()) + " bytes");
        FUZZ_CHECK(block.back() == (last ? kSUB : kESC), "block " + std::to_string(b) + " ends in " +
                                                             Escaped(block.substr(block.size() - 1)));
        const size_t start = bodies.size();
        const size_t length = block.size() - 1;
        bodies.append(block, 0, length);
        FUZZ_CHECK(bodies.size() <= expectedBytes.size() && expectedBytes.compare(start, length, block, 0, length) == 0,
                   "block " + std::to_string(b) + " is not the next cleaned bytes: " + Escaped(block));
        // Lines are added while the block holds at most kXonFillLimit bytes:
        // every line that starts inside a block starts at or below it.
        for (size_t k = 1; k < length; ++k)
            FUZZ_CHECK(!lineEnd[start + k] || k <= kXonFillLimit,
                       "block " + std::to_string(b) + " took a line at " + std::to_string(k));
        // A block is closed early only when full, when the fill limit is
        // passed at a line's end, or as the last one.
        if (!last)
            FUZZ_CHECK(length == kWriteBuffer - 1 || (length > kXonFillLimit && lineEnd[start + length]),
                       "block " + std::to_string(b) + " closed at " + std::to_string(length) + " bytes");
    }
    if (!stopped)
        FUZZ_CHECK(bodies == expectedBytes, "sent " + Escaped(bodies) + "\n   model " + Escaped(expectedBytes));
}

}  // namespace
}  // namespace quorlin::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace quorlin::fuzz;
    using quorlin::EndResult;
    FuzzedDataProvider in(data, size);
    const Family families[] = {Family::Echo, Family::Block, Family::Xon};
    const Family family = families[in.ConsumeIntegralInRange<size_t>(0, 2)];
    const bool document = in.ConsumeBool();
    const size_t repeats = in.ConsumeIntegralInRange<size_t>(1, kMaxRepeats);
    const size_t stopAfter = in.ConsumeIntegralInRange<size_t>(0, 8) == 8 ? in.ConsumeIntegralInRange<size_t>(1, 4) : 0;
    const std::string unit = in.ConsumeRemainingBytesAsString();
    CheckPureRules(unit);
    std::string bytes;
    for (size_t r = 0; r < repeats; ++r) bytes += unit;
    if (family == Family::Echo && bytes.size() > kEchoMaxText) bytes.resize(kEchoMaxText);

    EngineRig rig(static_cast<int>(family));
    std::string text;
    if (document) {
        text = WithoutNuls(bytes);
        rig.engine->SendCurrentFile(bytes, "");
    } else {
        text = TextOfFile(bytes);
        const std::string path = (ScratchFolder::Path() / "send.nc").string();
        WriteFile(path, bytes);
        rig.engine->SendFile(path);
    }
    const EndResult completed = document ? EndResult::SendDocumentCompleted : EndResult::SendFileCompleted;
    switch (family) {
        case Family::Echo: CheckEcho(rig, text, completed); break;
        case Family::Block: CheckBlock(rig, text, completed); break;
        case Family::Xon: CheckXon(rig, text, stopAfter); break;
    }
    FUZZ_CHECK(rig.host.messages.empty(), "a message box: " + rig.host.messages.front().text);
    return 0;
}
