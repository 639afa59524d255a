#include "transfer/ControllerFamily.h"

namespace quorlin {

namespace {

constexpr int32_t kDefaultBaud = 9600;

constexpr std::array<int32_t, 2> kFastChoices = {9600, 115200};
constexpr std::array<int32_t, 2> kMidChoices = {9600, 19200};

using enum DownloadKind;
constexpr std::array kOlderDownloads = {Interface, SystemSoftware};
constexpr std::array kP70Downloads = {SoftwareP70};
constexpr std::array kNewerDownloads = {InterfaceQva, SystemSoftware, ChineseFont};

constexpr std::array<ControllerFamily, 5> kFamilies = {{
    {"5100R,43E,43RP", Protocol::Echo, {}, false, kOlderDownloads},
    {"43F,43QV,57F,57QV", Protocol::Block, {}, false, kOlderDownloads},
    {"P70,P80(V1.0,V1.2)", Protocol::Block, {}, false, kP70Downloads},
    {"57QVA,J4,J5,P70", Protocol::Block, kFastChoices, true, kNewerDownloads},
    {"L20,L30,L40,L50", Protocol::Xon, kMidChoices, false, kNewerDownloads},
}};

}  // namespace

std::optional<DownloadKind> DownloadKindFromNumber(long number) {
    for (DownloadKind kind : kDownloadKinds)
        if (static_cast<long>(kind) == number) return kind;
    return std::nullopt;
}

std::span<const ControllerFamily> ControllerFamilies() { return kFamilies; }

const ControllerFamily* FindFamily(int32_t sysType) {
    if (sysType < 0 || sysType >= static_cast<int32_t>(kFamilies.size())) return nullptr;
    return &kFamilies[static_cast<size_t>(sysType)];
}

Protocol ProgramProtocol(int32_t sysType) {
    const ControllerFamily* family = FindFamily(sysType);
    return family ? family->protocol : Protocol::Block;
}

int32_t BaudForIndex(int32_t sysType, int32_t index) {
    const ControllerFamily* family = FindFamily(sysType);
    if (!family || index < 0 || index >= static_cast<int32_t>(family->baudChoices.size())) return kDefaultBaud;
    return family->baudChoices[static_cast<size_t>(index)];
}

int32_t BlockBaud(int32_t sysType, int32_t baudIndex) {
    const ControllerFamily* family = FindFamily(sysType);
    return family && family->blocksAtChosenBaud ? BaudForIndex(sysType, baudIndex) : kDefaultBaud;
}

}  // namespace quorlin
