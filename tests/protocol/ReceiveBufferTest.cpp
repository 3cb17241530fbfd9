// The running prefix CRC must answer exactly as a CRC over the whole buffer would, whatever mix of
// appends, front erases and clears came before.
#include <gtest/gtest.h>

#include <random>

#include "protocol/Protocol.h"
#include "protocol/ReceiveBuffer.h"

namespace {

bool DirectTrailerMatches(const std::vector<uint8_t>& bytes) {
    const size_t n = bytes.size();
    if (n < 3)
        return false;
    return Crc16Modbus(bytes.data(), static_cast<uint32_t>(n - 2)) == (bytes[n - 2] | (bytes[n - 1] << 8));
}

TEST(ReceiveBuffer, AgreesWithTheWholeBufferCrcOnRandomOperations) {
    std::mt19937 random(20261207);
    ReceiveBuffer buffer;
    std::vector<uint8_t> mirror;
    int matches = 0;
    for (int step = 0; step < 200000; ++step) {
        const uint32_t op = random() % 1000;
        if (op < 3) {
            buffer.clear();
            mirror.clear();
        } else if (op < 12) {
            const size_t count = random() % 12;
            buffer.erase_front(count);
            mirror.erase(mirror.begin(),
                         mirror.begin() + static_cast<std::ptrdiff_t>(std::min(count, mirror.size())));
        } else if (op < 40 && mirror.size() >= 2) {
            // Append the CRC of what is there, so matches really occur.
            const uint16_t crc = Crc16Modbus(mirror.data(), static_cast<uint32_t>(mirror.size()));
            for (uint8_t b : {static_cast<uint8_t>(crc & 0xFF), static_cast<uint8_t>(crc >> 8)}) {
                buffer.push_back(b);
                mirror.push_back(b);
            }
        } else {
            const auto b = static_cast<uint8_t>(random());
            buffer.push_back(b);
            mirror.push_back(b);
        }
        ASSERT_EQ(buffer.bytes(), mirror) << "step " << step;
        const bool expected = DirectTrailerMatches(mirror);
        ASSERT_EQ(buffer.TrailerMatches(), expected) << "step " << step;
        matches += expected;
    }
    EXPECT_GT(matches, 1000);  // the comparison covered both answers
}

TEST(ReceiveBuffer, EraseBeyondTheEndEmptiesIt) {
    ReceiveBuffer buffer;
    for (uint8_t b : {1, 2, 3})
        buffer.push_back(b);
    buffer.erase_front(10);
    EXPECT_TRUE(buffer.empty());
    EXPECT_FALSE(buffer.TrailerMatches());
    for (uint8_t b : {0x01, 0x6A, 0x27, 0x10, 0x00, 0x01, 0xD3, 0x72})
        buffer.push_back(b);
    EXPECT_TRUE(buffer.TrailerMatches());
}

}  // namespace
