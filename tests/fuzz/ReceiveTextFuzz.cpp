// Receiving a program through the real engine on the recording port, the
// controller's bytes arriving in random chunks. The file stored and the byte
// counter shown must be those of a model of the receive rules:
//  - each message reads at most 511 waiting bytes; a larger backlog is read by
//    the messages the engine posts to itself;
//  - Block and Xon: a read's NULs are line fill and skipped; its first SUB
//    ends the receive after what came before it is stored, and nothing
//    behind it is stored;
//  - Echo: only the first byte of a read counts: it is echoed, and stored
//    unless it is SUB, which ends the receive;
//  - the file is text: an LF is stored as CR LF unless a CR came just
//    before it (in the same read or at the end of the one before); the
//    counter is the file's length after each store;
//  - a receive that never saw SUB is cancelled: one SUB goes to the
//    controller, and what was stored stays;
//  - the log shows every read up to its first NUL, before and after the end
//    line, between the timestamped start and end lines; a summary line with
//    the file's name and the program bytes received follows the end line.

#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

#include "tests/transfer/EngineRig.h"
#include "tests/fuzz/FuzzSupport.h"

namespace quorlin::fuzz {
using test::EngineRig;
namespace {

constexpr char kLF = '\n';
constexpr char kSUB = 0x1A;
constexpr size_t kReadChunk = 511;
constexpr size_t kMaxChunk = 3 * kReadChunk + 2;
constexpr size_t kMaxChunks = 64;

// A log entry's timestamp, "\r\n2026 12 07, 09:05:01   ", digits as '#'.
constexpr std::string_view kTimestampShape = "\r\n#### ## ##, ##:##:##   ";
constexpr std::string_view kTimestamp = "<TS>";

// The log with every timestamp entry replaced by kTimestamp.
std::string MaskTimestamps(const std::string& log) {
    std::string masked;
    for (size_t i = 0; i < log.size();) {
        bool match = i + kTimestampShape.size() <= log.size();
        for (size_t k = 0; match && k < kTimestampShape.size(); ++k) {
            const char c = log[i + k];
            match = kTimestampShape[k] == '#' ? (c >= '0' && c <= '9') : c == kTimestampShape[k];
        }
        if (match) {
            masked += kTimestamp;
            i += kTimestampShape.size();
        } else {
            masked += log[i++];
        }
    }
    return masked;
}

struct Expected {
    std::string log = std::string(kTimestamp) + "Begin to receive file\r\n";
    std::string stored;
    size_t received = 0;  // program bytes as they came, before LF became CR LF
    size_t summaryAt = 0;  // where in the log the summary line stands
    std::vector<uint64_t> counts{0};  // the counter is set to 0 before anything arrives
    std::string echoed;
    bool completed = false;
};

void Store(Expected& model, const std::string& bytes) {
    model.received += bytes.size();
    for (char c : bytes) {
        if (c == kLF && (model.stored.empty() || model.stored.back() != '\r')) model.stored += '\r';
        model.stored += c;
    }
    model.counts.push_back(model.stored.size());
}

void ModelRead(Expected& model, bool echo, const std::string& read) {
    model.log += read.substr(0, read.find('\0'));
    if (model.completed) return;
    if (echo) {
        const char first = read[0];
        model.echoed += first;
        if (first == kSUB)
            model.completed = true;
        else
            Store(model, std::string(1, first));
    } else {
        const size_t sub = read.find(kSUB);
        std::string text = read.substr(0, sub);
        std::erase(text, '\0');
        Store(model, text);
        model.completed = sub != std::string::npos;
    }
    if (model.completed) {
        model.log += std::string(kTimestamp) + "File receiving completed\r\n";
        model.summaryAt = model.log.size();
    }
}

// Where the summary line that starts at `at` ends, or npos when none does:
// head, seconds with one decimal, " s (", a rate, " bytes/s)" CR LF.
size_t SummaryEnd(const std::string& log, size_t at, const std::string& head) {
    auto digits = [&](size_t& pos) {
        const size_t first = pos;
        while (pos < log.size() && log[pos] >= '0' && log[pos] <= '9') ++pos;
        return pos > first;
    };
    auto literal = [&](size_t& pos, std::string_view text) {
        if (log.compare(pos, text.size(), text) != 0) return false;
        pos += text.size();
        return true;
    };
    size_t pos = at;
    const bool whole = literal(pos, head) && digits(pos) && literal(pos, ".") && digits(pos) &&
                       literal(pos, " s (") && digits(pos) && literal(pos, " bytes/s)\r\n");
    return whole ? pos : std::string::npos;
}

std::string ReadFile(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(file), {});
}

std::string Describe(const std::vector<uint64_t>& counts) {
    return Listed(counts, [](uint64_t c) { return std::to_string(c) + " "; });
}

}  // namespace
}  // namespace quorlin::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace quorlin::fuzz;
    FuzzedDataProvider in(data, size);
    const int family = in.ConsumeIntegralInRange<int>(0, 4);
    const bool echo = family == 0;
    std::vector<std::string> chunks;
    while (in.remaining_bytes() > 0 && chunks.size() < kMaxChunks)
        chunks.push_back(in.ConsumeBytesAsString(in.ConsumeIntegralInRange<size_t>(1, kMaxChunk)));

    EngineRig rig(family);
    // A fresh target each run: an old program there would be received beside.
    const std::string path = (ScratchFolder::Path() / "received.nc").string();
    std::filesystem::remove(path);
    rig.engine->ReceiveFile(path);
    FUZZ_CHECK(rig.engine->IsTransferring(), "the receive did not start");

    Expected model;
    for (const std::string& chunk : chunks) {
        if (chunk.empty()) continue;
        for (size_t pos = 0; pos < chunk.size(); pos += kReadChunk) ModelRead(model, echo, chunk.substr(pos, kReadChunk));
        rig.ControllerSends(chunk);
        FUZZ_CHECK(rig.port->Waiting() == 0, "bytes left waiting in the port");
        FUZZ_CHECK(rig.engine->IsTransferring() == !model.completed, "chunk " + Escaped(chunk));
    }
    if (!model.completed) {
        rig.engine->OnReceiveDlgCancel();
        model.echoed += kSUB;  // the controller is told that the PC stops
        model.log += std::string(kTimestamp) + "File receiving cancelled\r\n";
        model.summaryAt = model.log.size();
    }
    FUZZ_CHECK(!rig.engine->IsTransferring(), "the receive did not end");
    FUZZ_CHECK(rig.engine->LastEndResult() ==
                   (model.completed ? quorlin::EndResult::ReceiveCompleted : quorlin::EndResult::ReceiveCancelled),
               "end " + std::to_string(static_cast<unsigned>(rig.engine->LastEndResult())));

    const std::string stored = ReadFile(path);
    const size_t differ = std::mismatch(stored.begin(), stored.end(), model.stored.begin(), model.stored.end()).first -
                          stored.begin();
    FUZZ_CHECK(stored == model.stored, "stored " + std::to_string(stored.size()) + " bytes, model " +
                                           std::to_string(model.stored.size()) + ", from byte " +
                                           std::to_string(differ) + ": " + Escaped(stored.substr(differ, 80)) +
                                           "\n   model " + Escaped(model.stored.substr(differ, 80)));
    FUZZ_CHECK(rig.host.byteCounts == model.counts,
               "counts " + Describe(rig.host.byteCounts) + "\n   model " + Describe(model.counts));
    FUZZ_CHECK(rig.port->Written() == model.echoed,
               "written " + Escaped(rig.port->Written()) + "\n   model " + Escaped(model.echoed));
    // Masked on both sides, so that received bytes shaped like a timestamp
    // stay alike. The summary stands where the model's end line ends; its time
    // and rate are the clock's, so only their shape is checked.
    const std::string log = MaskTimestamps(rig.host.log);
    const std::string before = MaskTimestamps(model.log.substr(0, model.summaryAt));
    const std::string after = MaskTimestamps(model.log.substr(model.summaryAt));
    FUZZ_CHECK(log.starts_with(before), "log " + Escaped(log) + "\n   model " + Escaped(model.log));
    const std::string summaryHead = path + ": " + std::to_string(model.received) + " bytes received in ";
    const size_t summaryEnd = SummaryEnd(log, before.size(), summaryHead);
    FUZZ_CHECK(summaryEnd != std::string::npos,
               "no summary " + Escaped(summaryHead) + " in " + Escaped(log.substr(before.size())));
    FUZZ_CHECK(log.substr(summaryEnd) == after,
               "log after the summary " + Escaped(log.substr(summaryEnd)) + "\n   model " + Escaped(after));
    FUZZ_CHECK(rig.host.messages.empty(), "a message box: " + rig.host.messages.front().text);
    return 0;
}
