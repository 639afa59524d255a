#include "sim/BlockDownload.h"

namespace quorlin::sim {

void BlockDownload::Feed(const std::uint8_t* data, std::size_t count, std::vector<DownloadEvent>& events) {
    std::size_t i = 0;
    while (i < count) {
        if (remaining_ > 0) {
            const std::size_t take = count - i < remaining_ ? count - i : remaining_;
            data_.insert(data_.end(), data + i, data + i + take);
            i += take;
            remaining_ -= take;
            if (remaining_ == 0) {
                ++blocks_;
                const std::uint32_t sum = SumBytes(data_.data() + blockStart_, data_.size() - blockStart_);
                events.push_back(BlockReceived{blocks_, header_.length, header_.sumLow, sum,
                                               static_cast<std::uint16_t>(sum) == header_.sumLow});
            }
            continue;
        }
        const auto packet = scanner_.Feed(data[i++]);
        if (!packet) continue;
        if (const auto header = ParseBlockHeader(*packet); header && header->length > 0) {
            header_ = *header;
            remaining_ = header->length;
            blockStart_ = data_.size();
        } else if ((*packet)[2] == kCommandVerdict) {
            events.push_back(VerdictReceived{blocks_, (*packet)[3]});
        } else {
            events.push_back(UnexpectedPacket{*packet});
        }
    }
}

}  // namespace quorlin::sim
