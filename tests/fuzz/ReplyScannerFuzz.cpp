// The download's reply scanner, fed a stream of answer packets, lone 'Z's and
// noise, cut into random chunks with an occasional Reset between them. The
// packets it returns, and the chunk each completes in, must be those found by
// a plain search: the first "ZZ" followed by a byte other than 'Z' in the
// bytes seen since the last packet (the byte before them included) starts a
// packet of ten bytes; the rest of the chunk that completes a packet is
// dropped.

#include <fuzzer/FuzzedDataProvider.h>

#include <string>
#include <vector>

#include "tests/fuzz/FuzzSupport.h"
#include "transfer/DownloadPacket.h"

namespace quorlin::fuzz {
namespace {

constexpr size_t kPacketSize = std::tuple_size_v<DownloadPacket>;
constexpr size_t kMaxTokens = 96;
constexpr size_t kMaxNoiseRun = 12;
constexpr size_t kMaxChunk = 3 * kPacketSize;
constexpr int kResetOneIn = 16;

struct Chunk {
    bool resetBefore = false;
    std::string bytes;
};

struct Found {
    size_t chunk;
    std::string packet;
    bool operator==(const Found&) const = default;
};

enum class Token { Packet, Noise, LoneZ, PairZ, kCount };

std::string MakeStream(FuzzedDataProvider& in) {
    std::string stream;
    const size_t tokens = in.ConsumeIntegralInRange<size_t>(0, kMaxTokens);
    for (size_t t = 0; t < tokens && in.remaining_bytes() > 0; ++t) {
        switch (static_cast<Token>(in.ConsumeIntegralInRange<int>(0, static_cast<int>(Token::kCount) - 1))) {
            case Token::Packet: {
                stream += "ZZ";
                const uint8_t commands[] = {kPacketBlock, kPacketVerdict, in.ConsumeIntegral<uint8_t>()};
                stream += static_cast<char>(commands[in.ConsumeIntegralInRange<size_t>(0, 2)]);
                std::string rest = in.ConsumeBytesAsString(kPacketSize - 3);
                rest.resize(kPacketSize - 3, '\0');
                stream += rest;
                break;
            }
            case Token::Noise: stream += in.ConsumeBytesAsString(in.ConsumeIntegralInRange<size_t>(1, kMaxNoiseRun)); break;
            case Token::LoneZ: stream += 'Z'; break;
            case Token::PairZ: stream += "ZZ"; break;
            case Token::kCount: break;
        }
    }
    return stream;
}

std::vector<Chunk> CutIntoChunks(FuzzedDataProvider& in, const std::string& stream) {
    std::vector<Chunk> chunks;
    for (size_t pos = 0; pos < stream.size();) {
        Chunk chunk;
        chunk.resetBefore = in.ConsumeIntegralInRange<int>(0, kResetOneIn - 1) == kResetOneIn - 1;
        const size_t length = in.ConsumeIntegralInRange<size_t>(1, kMaxChunk);
        chunk.bytes = stream.substr(pos, length);
        pos += chunk.bytes.size();
        chunks.push_back(std::move(chunk));
    }
    return chunks;
}

// Where the first "ZZ" followed by a command (any byte but 'Z') begins.
size_t PacketStart(const std::string& window) {
    for (size_t p = 0; p + 2 < window.size(); ++p)
        if (window[p] == 'Z' && window[p + 1] == 'Z' && window[p + 2] != 'Z') return p;
    return std::string::npos;
}

// The plain search. window holds the previous byte followed by every byte seen
// since; a Reset forgets a packet begun (its first 'Z' stays the previous
// byte) and keeps only the previous byte otherwise.
std::vector<Found> ModelPackets(const std::vector<Chunk>& chunks) {
    std::vector<Found> found;
    std::string window(1, '\0');
    for (size_t k = 0; k < chunks.size(); ++k) {
        if (chunks[k].resetBefore)
            window = window.find("ZZ") != std::string::npos ? std::string("Z") : window.substr(window.size() - 1);
        for (char b : chunks[k].bytes) {
            window.push_back(b);
            const size_t pair = PacketStart(window);
            if (pair != std::string::npos && window.size() - pair == kPacketSize) {
                found.push_back({k, window.substr(pair)});
                window.assign(1, '\0');
                break;
            }
        }
    }
    return found;
}

std::vector<Found> ScannerPackets(const std::vector<Chunk>& chunks) {
    std::vector<Found> found;
    ReplyScanner scanner;
    for (size_t k = 0; k < chunks.size(); ++k) {
        if (chunks[k].resetBefore) scanner.Reset();
        const auto& bytes = chunks[k].bytes;
        const auto packet =
            scanner.ScanReplyPacket(reinterpret_cast<const uint8_t*>(bytes.data()), bytes.size());
        if (packet) found.push_back({k, std::string(packet->begin(), packet->end())});
    }
    return found;
}

std::string Describe(const std::vector<Found>& found) {
    return Listed(found,
                  [](const Found& f) { return "[" + std::to_string(f.chunk) + "] " + Escaped(f.packet) + "  "; });
}

}  // namespace
}  // namespace quorlin::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    using namespace quorlin::fuzz;
    FuzzedDataProvider in(data, size);
    const std::string stream = MakeStream(in);
    const std::vector<Chunk> chunks = CutIntoChunks(in, stream);

    const std::vector<Found> expected = ModelPackets(chunks);
    const std::vector<Found> got = ScannerPackets(chunks);
    FUZZ_CHECK(got == expected, "stream " + Escaped(stream) + "\n   scanner: " + Describe(got) +
                                    "\n   model:   " + Describe(expected));
    for (const Found& f : got) FUZZ_CHECK(f.packet.compare(0, 2, "ZZ") == 0, Escaped(f.packet));
    return 0;
}
