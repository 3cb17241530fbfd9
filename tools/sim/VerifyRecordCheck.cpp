#include "tools/sim/VerifyRecordCheck.h"

#include "tools/sim/SimCrc16.h"

namespace {

constexpr std::array<uint8_t, 4> kLeadingBytes = {0x08, 0x00, 0x60, 0x00};
constexpr uint8_t kTrailingByte = 0xCC;

}  // namespace

VerifyRecordResult VerifyRecordCheck::Check(const std::array<uint8_t, kRecordSize>& record,
                                            uint16_t announcedBlockCount,
                                            const std::vector<uint8_t>& payload) {
    VerifyRecordResult result;
    result.fixedBytesOk = record[0] == kLeadingBytes[0] && record[1] == kLeadingBytes[1] &&
                          record[2] == kLeadingBytes[2] && record[3] == kLeadingBytes[3] && record[8] == 0 &&
                          record[9] == 0 && record[14] == kTrailingByte && record[15] == kTrailingByte;

    result.length.announced = (uint32_t{record[4]} << 24) | (uint32_t{record[5]} << 16) |
                              (uint32_t{record[6]} << 8) | uint32_t{record[7]};
    result.length.received = static_cast<uint32_t>(payload.size());

    result.crc.announced = uint32_t{record[10]} | (uint32_t{record[11]} << 8);
    result.crc.received = SimCrc16Modbus(payload);

    uint8_t sum = 0;
    uint8_t xorValue = 0;
    for (uint8_t byte : payload) {
        sum = static_cast<uint8_t>(sum + byte);
        xorValue ^= byte;
    }
    result.sum = {record[12], sum};
    result.xorValue = {record[13], xorValue};

    // The frame carries the low 16 bits of the count only.
    const uint64_t countFromLength = (uint64_t{result.length.announced} + (kBlockSize - 1)) / kBlockSize;
    result.blockCount = {announcedBlockCount, static_cast<uint32_t>(countFromLength & 0xFFFF)};
    return result;
}
