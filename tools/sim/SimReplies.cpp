#include "tools/sim/SimReplies.h"

#include "tools/sim/SimCrc16.h"

namespace {

void AppendCrc(std::vector<uint8_t>& frame) {
    const uint16_t crc = SimCrc16Modbus(frame);
    frame.push_back(static_cast<uint8_t>(crc & 0xFF));
    frame.push_back(static_cast<uint8_t>(crc >> 8));
}

}  // namespace

namespace SimReplies {

std::vector<uint8_t> ModelReply(uint8_t address, const std::string& gbkText) {
    const size_t n = std::min(gbkText.size(), kMaxModelBytes);
    std::vector<uint8_t> frame;
    frame.reserve(n + 5);
    frame.push_back(address);
    frame.push_back(kFuncModel);
    frame.push_back(static_cast<uint8_t>(n));
    for (size_t i = 0; i < n; ++i)
        frame.push_back(static_cast<uint8_t>(gbkText[i]));
    AppendCrc(frame);
    return frame;
}

std::vector<uint8_t> StatusReply(uint8_t address, uint8_t code) {
    std::vector<uint8_t> frame{address, kFuncStatus, code};
    AppendCrc(frame);
    return frame;
}

std::vector<uint8_t> BlockAck(uint8_t address, uint16_t blockNumber, uint16_t blockCount) {
    std::vector<uint8_t> frame{address,
                               kFuncBlock,
                               static_cast<uint8_t>(blockNumber >> 8),
                               static_cast<uint8_t>(blockNumber & 0xFF),
                               static_cast<uint8_t>(blockCount >> 8),
                               static_cast<uint8_t>(blockCount & 0xFF)};
    AppendCrc(frame);
    return frame;
}

}  // namespace SimReplies
