// Checks the 16-byte verify-parameters record the host announced before a firmware transfer
// against the payload the device actually received, field by field.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <vector>

struct VerifyField {
    uint32_t announced = 0;
    uint32_t received = 0;
    bool ok() const { return announced == received; }
};

struct VerifyRecordResult {
    bool fixedBytesOk = false;  // 08 00 60 00 at the front, 00 00 after the length, CC CC at the end
    VerifyField length;
    VerifyField crc;  // the record stores it low byte first
    VerifyField sum;
    VerifyField xorValue;
    VerifyField blockCount;  // the count in the verify frame against the announced length
    bool AllOk() const {
        return fixedBytesOk && length.ok() && crc.ok() && sum.ok() && xorValue.ok() && blockCount.ok();
    }
};

class VerifyRecordCheck {
public:
    static constexpr size_t kRecordSize = 16;
    static constexpr uint32_t kBlockSize = 50;

    static VerifyRecordResult Check(const std::array<uint8_t, kRecordSize>& record,
                                    uint16_t announcedBlockCount, const std::vector<uint8_t>& payload);
};
