// Fuzz target: ParseDeviceFrame on arbitrary bytes, at the input's whole length, at a shorter length
// named by its first byte, and once more with the CRC trailer made right so that the field rules of
// every function code are reached without the fuzzer having to forge a CRC; with the properties
// every parsed frame must have.
#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>

#include "fuzz/FuzzSupport.h"
#include "protocol/Protocol.h"
#include "tests/support/BitwiseCrc16.h"

namespace {

bool IsFunctionCode(uint8_t code) {
    return code == FUNC_EXTENDED || code == FUNC_MODEL || code == FUNC_BLOCK || code == FUNC_STATUS;
}

uint16_t Word(const uint8_t* bytes, size_t offset) {
    return static_cast<uint16_t>((bytes[offset] << 8) | bytes[offset + 1]);
}

void CheckParse(const uint8_t* bytes, uint16_t length) {
    DeviceFrame frame;
    // Leftovers of an earlier frame must not survive the parse.
    frame.valid = 1;
    frame.status = 0xEE;
    frame.blockNumber = 0xEEEE;
    frame.dataLength = 0xEE;
    frame.data.assign(7, 0xEE);
    ParseDeviceFrame(bytes, length, frame);

    FUZZ_CHECK(frame.frameLength == length);
    const bool crcMatches = length >= 3 && BitwiseCrc16Modbus(bytes, length - 2u) ==
                                               (bytes[length - 2] | (bytes[length - 1] << 8));
    FUZZ_CHECK(frame.valid == ((crcMatches && IsFunctionCode(bytes[1])) ? 1 : 0));
    if (!frame.valid) {
        FUZZ_CHECK(frame.data.empty() && frame.dataLength == 0 && frame.status == 0 &&
                   frame.blockNumber == 0 && frame.blockCount == 0);
        return;
    }
    FUZZ_CHECK(frame.address == bytes[0] && frame.functionCode == bytes[1]);

    // Data lies between the fixed head of its frame and the CRC, and is copied unchanged.
    if (!frame.data.empty()) {
        const size_t offset = frame.functionCode == FUNC_EXTENDED ? 7 : 3;
        FUZZ_CHECK(offset + frame.data.size() <= length - 2u);
        FUZZ_CHECK(std::memcmp(frame.data.data(), bytes + offset, frame.data.size()) == 0);
    }
    switch (frame.functionCode) {
        case FUNC_BLOCK:
            FUZZ_CHECK(frame.data.empty() && frame.dataLength == 0 && frame.status == 0);
            FUZZ_CHECK(frame.blockNumber == (length >= 8 ? Word(bytes, 2) : 0));
            FUZZ_CHECK(frame.blockCount == (length >= 8 ? Word(bytes, 4) : 0));
            break;
        case FUNC_STATUS:
            FUZZ_CHECK(frame.status == (length >= 5 ? bytes[2] : 0));
            FUZZ_CHECK(frame.dataLength == (length > 5 ? (length - 5) % 256 : 0));
            FUZZ_CHECK(frame.data.size() == frame.dataLength);
            break;
        case FUNC_MODEL:
            FUZZ_CHECK(frame.dataLength == (length >= 4 ? bytes[2] : 0));
            FUZZ_CHECK(frame.data.size() == (length >= frame.dataLength + 5u ? frame.dataLength : 0u));
            break;
        case FUNC_EXTENDED:
            FUZZ_CHECK(frame.dataLength == (length >= 8 ? bytes[2] : 0));
            FUZZ_CHECK(frame.blockNumber == (length >= 8 ? Word(bytes, 3) : 0));
            FUZZ_CHECK(
                frame.data.size() ==
                (frame.dataLength >= 4 && length >= frame.dataLength + 5u ? frame.dataLength - 4u : 0u));
            break;
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const auto length = static_cast<uint16_t>(std::min<size_t>(size, 0xFFFF));
    CheckParse(data, length);
    if (length == 0)
        return 0;
    // Exact-size copies, so that the address sanitizer sees any read past the length given.
    const auto shorter = static_cast<uint16_t>(data[0] % (length + 1u));
    auto prefix = std::make_unique<uint8_t[]>(shorter > 0 ? shorter : 1);
    std::memcpy(prefix.get(), data, shorter);
    CheckParse(prefix.get(), shorter);
    if (length >= 3) {
        auto fixed = std::make_unique<uint8_t[]>(length);
        std::memcpy(fixed.get(), data, length);
        const uint16_t crc = BitwiseCrc16Modbus(fixed.get(), length - 2u);
        fixed[length - 2] = static_cast<uint8_t>(crc & 0xFF);
        fixed[length - 1] = static_cast<uint8_t>(crc >> 8);
        CheckParse(fixed.get(), length);
    }
    return 0;
}
