#include "bench/soak/SoakPlan.h"

#include <array>
#include <random>
#include <vector>

namespace quorlin::soak {

namespace {

using namespace std::chrono_literals;

// What the tool promises once a fault struck: Cancel (Ctrl+C, and the idle
// time-out, which cancels the same way) ends a transfer within a second; a
// lost line is noticed and reported within the port's drain bound of 3 s.
constexpr auto kCancelPromise = 1000ms;
constexpr auto kLostLinePromise = 3000ms;
// A transfer with no fault that stops the line runs well under this on an
// unpaced pty; beyond it the watchdog kills the tool and records a hang.
constexpr auto kWatchdogBase = 30s;

// Sizes: programs of a few lines to some 40 KB, images up to three and a
// bit 32 KiB blocks; small enough for thousands of transfers an hour.
constexpr std::size_t kMaxProgramLines = 2000;
constexpr std::size_t kMaxImageBytes = 3 * 32768 + 5000;
constexpr std::size_t kBlockBytes = 32768;
constexpr std::size_t kUpdateHeaderBytes = 22;
constexpr std::size_t kBitmapDataOffset = 1078;
constexpr std::size_t kBitmapWidth = 256;
constexpr int kMaxResumeMs = 600;
// An Echo program goes one character per answer: long ones only slow the run.
constexpr std::size_t kMaxEchoProgramLines = 300;

// The download kinds each family offers.
struct Offer {
    int family;
    int kind;
};
constexpr std::array kOffers{Offer{0, 1}, Offer{0, 3}, Offer{1, 1}, Offer{1, 3}, Offer{2, 2}, Offer{3, 3},
                             Offer{3, 4}, Offer{3, 5}, Offer{4, 3}, Offer{4, 4}, Offer{4, 5}};

using Random = std::mt19937_64;

std::size_t Between(Random& random, std::size_t low, std::size_t high) {
    return std::uniform_int_distribution<std::size_t>(low, high)(random);
}

// An NC program as a controller stores it unchanged: upper-case words, no
// blanks, no empty lines, no '+' (the Echo protocol drops what a person
// would not mean to send; the soak checks bytes, not the cleaning rules).
std::string Program(Random& random, std::size_t maxLines) {
    static constexpr char kAddresses[] = "GXYZFSMT";
    const std::size_t lines = Between(random, 1, Between(random, 0, 9) == 0 ? maxLines : 300);
    std::string text;
    for (std::size_t line = 1; line <= lines; ++line) {
        text += "N" + std::to_string(line);
        const std::size_t words = Between(random, 1, 4);
        for (std::size_t w = 0; w < words; ++w) {
            text += kAddresses[Between(random, 0, sizeof kAddresses - 2)];
            if (Between(random, 0, 3) == 0) text += '-';
            text += std::to_string(Between(random, 0, 9999));
            if (Between(random, 0, 2) == 0) text += "." + std::to_string(Between(random, 0, 999));
        }
        text += '\n';
    }
    return text;
}

std::string RandomBytes(Random& random, std::size_t count) {
    std::string bytes(count, '\0');
    for (auto& byte : bytes) byte = static_cast<char>(random());
    return bytes;
}

void PutLittleEndian(std::string& bytes, std::size_t at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) bytes[at + i] = static_cast<char>((value >> (8 * i)) & 0xFF);
}

std::string UpdateFile(const std::string& payload) {
    std::uint32_t sum = 0;
    for (const char c : payload) sum += static_cast<unsigned char>(c);
    std::string file(kUpdateHeaderBytes, '\0');
    file[0] = '%';
    file[1] = 'Q';
    file[2] = 'Z';
    PutLittleEndian(file, 14, sum);
    PutLittleEndian(file, 18, static_cast<std::uint32_t>(payload.size()));
    return file + payload;
}

std::string PictureBitmap(const std::string& pixels) {
    std::string file(kBitmapDataOffset, '\0');
    file[0] = 'B';
    file[1] = 'M';
    PutLittleEndian(file, 2, static_cast<std::uint32_t>(kBitmapDataOffset + pixels.size()));
    PutLittleEndian(file, 10, kBitmapDataOffset);
    PutLittleEndian(file, 14, 40);
    PutLittleEndian(file, 18, kBitmapWidth);
    PutLittleEndian(file, 22, static_cast<std::uint32_t>(pixels.size() / kBitmapWidth));
    file[26] = 1;
    file[28] = 8;
    for (std::size_t i = 0; i < 256; ++i) file[54 + 4 * i] = file[55 + 4 * i] = file[56 + 4 * i] = static_cast<char>(i);
    return file + pixels;
}

void MakeImage(Random& random, Plan& plan) {
    if (plan.downloadKind == 4) {
        const std::string pixels = RandomBytes(random, kBitmapWidth * Between(random, 1, kMaxImageBytes / kBitmapWidth));
        plan.file = PictureBitmap(pixels);
        plan.image = pixels;
    } else if (plan.downloadKind >= 3) {
        plan.image = RandomBytes(random, Between(random, 1, kMaxImageBytes));
        plan.file = UpdateFile(plan.image);
    } else {
        plan.file = plan.image = RandomBytes(random, Between(random, 1, kMaxImageBytes));
        return;
    }
    // The controller gets the last block filled up with zeros.
    plan.image.resize((plan.image.size() + kBlockBytes - 1) / kBlockBytes * kBlockBytes, '\0');
}

// Line noise without the flow-control characters: a DC3 in the noise would
// hold the PC's output for good, which is the line's fault, not the tool's.
std::string NoiseHex(Random& random) {
    static constexpr char kDigits[] = "0123456789ABCDEF";
    std::string hex;
    const std::size_t count = Between(random, 1, 64);
    for (std::size_t i = 0; i < count; ++i) {
        unsigned byte;
        do byte = static_cast<unsigned>(random() & 0xFF);
        while (byte == 0x11 || byte == 0x13);
        hex += kDigits[byte >> 4];
        hex += kDigits[byte & 0xF];
    }
    return hex;
}

std::vector<Fault> FaultsFor(const Plan& plan) {
    std::vector<Fault> faults{Fault::None, Fault::Stall, Fault::CtrlC, Fault::VanishClose, Fault::VanishHangUp};
    // An Xon receive runs without flow control: DC1 and DC3 from the
    // controller are program bytes there, stored as they come.
    if (!(plan.kind == Kind::Receive && plan.family == 4)) faults.insert(faults.end(), {Fault::Xoff, Fault::StrayXon});
    // Noise reaches a receive's program and an Echo send's echoes: a real
    // line fault there changes the program, which no protocol of these
    // controllers can notice.
    const bool noiseIsHarmless = plan.kind == Kind::Download || (plan.kind == Kind::Send && plan.family != 0);
    if (noiseIsHarmless) faults.push_back(Fault::Noise);
    if (plan.Blocks()) faults.push_back(Fault::Split);
    return faults;
}

}  // namespace

const char* FaultName(Fault fault) {
    static const char* const names[kFaultCount] = {"none",   "xoff",  "stray-dc1",    "noise",        "split",
                                                   "stall", "ctrl-c", "vanish-close", "vanish-hangup"};
    return names[static_cast<int>(fault)];
}

std::size_t Plan::Moves() const {
    if (kind == Kind::Download) return Blocks() ? image.size() : file.size();
    return program.size();
}

std::string Plan::Row() const {
    std::string row = "f" + std::to_string(family) + " ";
    switch (kind) {
    case Kind::Send: return row + "send";
    case Kind::Receive: return row + "receive";
    case Kind::Download: return row + "dl k" + std::to_string(downloadKind);
    }
    return row;
}

std::string Plan::Describe() const {
    std::string text = "seed " + std::to_string(seed) + " index " + std::to_string(index) + ": " + Row() +
                       " baud-index " + std::to_string(baudIndex) + " " + FaultName(fault);
    if (fault != Fault::None) text += " at " + std::to_string(atByte);
    if (fault == Fault::Xoff) text += " resume " + std::to_string(resumeMs) + " ms";
    if (idleSeconds > 0) text += " idle-timeout " + std::to_string(idleSeconds) + " s";
    if (!noiseHex.empty()) text += " noise " + noiseHex;
    if (document) text += " document";
    if (Blocks()) text += answer11 ? " answer 11" : " answer 10";
    text += kind == Kind::Download ? " file " + std::to_string(file.size()) + " bytes"
                                   : " program " + std::to_string(program.size()) + " bytes";
    return text;
}

Plan MakePlan(std::uint64_t seed, std::uint64_t index) {
    std::seed_seq sequence{static_cast<std::uint32_t>(seed), static_cast<std::uint32_t>(seed >> 32),
                           static_cast<std::uint32_t>(index), static_cast<std::uint32_t>(index >> 32)};
    Random random(sequence);
    Plan plan;
    plan.seed = seed;
    plan.index = index;
    const std::size_t kindPick = Between(random, 0, 2);
    if (kindPick == 2) {
        const Offer offer = kOffers[Between(random, 0, kOffers.size() - 1)];
        plan.family = offer.family;
        plan.kind = Kind::Download;
        plan.downloadKind = offer.kind;
        plan.answer11 = Between(random, 0, 1) == 1;
        MakeImage(random, plan);
    } else {
        plan.family = static_cast<int>(Between(random, 0, 4));
        plan.kind = kindPick == 0 ? Kind::Send : Kind::Receive;
        plan.document = plan.kind == Kind::Send && Between(random, 0, 3) == 0;
        plan.program = Program(random, plan.family == 0 ? kMaxEchoProgramLines : kMaxProgramLines);
    }
    if (plan.family >= 3) plan.baudIndex = static_cast<int>(Between(random, 0, 1));

    // A lost line ends the simulator's life: those two faults come a third as
    // often as the others, so that simulators live long enough to show growth.
    const auto faults = FaultsFor(plan);
    std::vector<double> weights;
    for (const Fault fault : faults)
        weights.push_back(fault == Fault::VanishClose || fault == Fault::VanishHangUp ? 1.0 : 3.0);
    plan.fault = faults[std::discrete_distribution<std::size_t>(weights.begin(), weights.end())(random)];
    plan.atByte = Between(random, 1, std::max<std::size_t>(1, plan.Moves() * 9 / 10));
    if (plan.fault == Fault::Xoff) plan.resumeMs = static_cast<int>(Between(random, 10, kMaxResumeMs));
    if (plan.fault == Fault::Stall || plan.XonSendWithNoise()) plan.idleSeconds = 1;
    if (plan.fault == Fault::Noise || (plan.fault == Fault::Split && Between(random, 0, 1) == 1))
        plan.noiseHex = NoiseHex(random);
    return plan;
}

std::chrono::milliseconds FaultBound(const Plan& plan) {
    switch (plan.fault) {
    case Fault::CtrlC: return kCancelPromise;
    case Fault::Stall: return std::chrono::seconds(plan.idleSeconds) + kCancelPromise + LineTimeAhead(plan);
    case Fault::VanishClose:
    case Fault::VanishHangUp: return kLostLinePromise;
    default: return WatchdogBound(plan);
    }
}

std::chrono::milliseconds WatchdogBound(const Plan& plan) {
    return kWatchdogBase + std::chrono::milliseconds(plan.resumeMs) + std::chrono::seconds(plan.idleSeconds) +
           LineTimeAhead(plan);
}

// A pty takes what the PC hands it long before the line has carried it, and
// the idle time-out counts that line time as the line at work: a controller
// that stalls leaves the PC waiting for it. At most the whole file (a block
// download: its zero-filled blocks) is ahead, at the PC's slowest rate.
std::chrono::milliseconds LineTimeAhead(const Plan& plan) {
    const std::size_t ahead = plan.Blocks() ? plan.image.size() + 32768 + 64 : plan.Moves() + 64;
    constexpr std::uint64_t kBitsPerCharacter = 11, kSlowestBaud = 9600;
    return std::chrono::milliseconds(ahead * kBitsPerCharacter * 1000 / kSlowestBaud);
}

}  // namespace quorlin::soak
