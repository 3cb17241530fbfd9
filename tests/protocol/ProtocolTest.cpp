// Frames, checksums and parsing against fixed byte vectors worked out by hand.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "protocol/Protocol.h"
#include "tests/support/BitwiseCrc16.h"

namespace {

using Bytes = std::vector<uint8_t>;

Bytes Concat(std::initializer_list<Bytes> parts) {
    Bytes out;
    for (const Bytes& p : parts)
        out.insert(out.end(), p.begin(), p.end());
    return out;
}

DeviceFrame Parse(const Bytes& bytes) {
    DeviceFrame frame;
    ParseDeviceFrame(bytes.data(), static_cast<uint16_t>(bytes.size()), frame);
    return frame;
}

TEST(Crc16Modbus, PublishedCheckValueAndEmptyInput) {
    const char* check = "123456789";
    EXPECT_EQ(Crc16Modbus(reinterpret_cast<const uint8_t*>(check), 9), 0x4B37);
    EXPECT_EQ(Crc16Modbus(reinterpret_cast<const uint8_t*>(check), 0), 0xFFFF);
}

TEST(Crc16Modbus, MatchesBitwiseDefinitionBeyond64KiB) {
    // The table form must agree with the bit-by-bit definition on lengths past 16 bits.
    Bytes data(70000);
    for (size_t i = 0; i < data.size(); ++i)
        data[i] = static_cast<uint8_t>(i * 31 + (i >> 8));
    const uint16_t crc = BitwiseCrc16Modbus(data.data(), data.size());
    EXPECT_EQ(Crc16Modbus(data.data(), static_cast<uint32_t>(data.size())), crc);
}

TEST(HostFrames, QueryFrames) {
    uint8_t out[MAX_FRAME_LENGTH];
    ASSERT_EQ(BuildModelQueryFrame(1, MODEL_QUERY_LENGTH_LOW_SPEED, out), 8u);
    EXPECT_EQ(Bytes(out, out + 8), (Bytes{0x01, 0x69, 0x00, 0x65, 0x00, 0x00, 0x4D, 0xDC}));
    ASSERT_EQ(BuildModelQueryFrame(1, MODEL_QUERY_LENGTH_HIGH_SPEED, out), 8u);
    EXPECT_EQ(Bytes(out, out + 8), (Bytes{0x01, 0x69, 0x00, 0x65, 0x04, 0x80, 0x4E, 0xBC}));
    ASSERT_EQ(BuildStatusQueryFrame(1, out), 19u);
    EXPECT_EQ(Bytes(out, out + 19),
              Concat({{0x01, 0x6C, 0x00, 0x65, 0x00, 0x0A, 0x0A}, Bytes(10, 0x00), {0x50, 0x68}}));
}

TEST(HostFrames, TriggerFrameLayout) {
    uint8_t out[TRIGGER_FRAME_LENGTH];
    ASSERT_EQ(BuildTriggerFrame(out), 20u);
    EXPECT_EQ(Bytes(out, out + 6), (Bytes{0xFF, 0x00, 0xFF, 0x00, 0xAA, 0x55}));
    for (int i = 6; i < 19; ++i)
        EXPECT_TRUE(out[i] >= 0x20 && out[i] < 0x7F) << "byte " << i;
    EXPECT_EQ(std::memcmp(out + 6, TRIGGER_TAG, 13), 0);
    EXPECT_EQ(out[19], 0x00);
}

TEST(VerifyParams, EmptyAndAbcPayloads) {
    uint8_t record[16];
    uint8_t length = 0;
    BuildVerifyParams(nullptr, 0, record, length);
    EXPECT_EQ(length, 16);
    EXPECT_EQ(Bytes(record, record + 16), (Bytes{0x08, 0x00, 0x60, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00,
                                                 0xFF, 0xFF, 0x00, 0x00, 0xCC, 0xCC}));

    const uint8_t abc[] = {0x61, 0x62, 0x63};
    BuildVerifyParams(abc, 3, record, length);
    const Bytes expectedRecord{0x08, 0x00, 0x60, 0x00, 0x00, 0x00, 0x00, 0x03,
                               0x00, 0x00, 0x49, 0x57, 0x26, 0x60, 0xCC, 0xCC};
    EXPECT_EQ(Bytes(record, record + 16), expectedRecord);

    uint8_t frame[VERIFY_PARAMS_FRAME_LENGTH];
    ASSERT_EQ(BuildVerifyParamsFrame(1, 1, record, frame), 25u);
    EXPECT_EQ(Bytes(frame, frame + 25),
              Concat({{0x01, 0x6A, 0x27, 0x10, 0x00, 0x01, 0x10}, expectedRecord, {0x52, 0x89}}));
}

TEST(VerifyParams, LengthIsBigEndianAndSumWraps) {
    Bytes payload(0x012345, 0xFF);
    uint8_t record[16];
    uint8_t length = 0;
    BuildVerifyParams(payload.data(), static_cast<uint32_t>(payload.size()), record, length);
    EXPECT_EQ(Bytes(record + 4, record + 8), (Bytes{0x00, 0x01, 0x23, 0x45}));
    EXPECT_EQ(record[12], static_cast<uint8_t>(0x012345 * 0xFF));
    EXPECT_EQ(record[13], 0xFF);  // odd count of 0xFF bytes
}

TEST(HostFrames, DataBlocks) {
    const uint8_t abc[] = {0x61, 0x62, 0x63};
    uint8_t out[MAX_FRAME_LENGTH];
    ASSERT_EQ(BuildDataBlockFrame(1, 10001, 1, abc, 3, out), 12u);
    EXPECT_EQ(Bytes(out, out + 12),
              (Bytes{0x01, 0x6A, 0x27, 0x11, 0x00, 0x01, 0x03, 0x61, 0x62, 0x63, 0xB0, 0x8C}));

    Bytes full(BLOCK_SIZE, 0x5A);
    ASSERT_EQ(BuildDataBlockFrame(7, 0x1234, 0xABCD, full.data(), BLOCK_SIZE, out), 59u);
    EXPECT_EQ(out[0], 7);
    EXPECT_EQ(Bytes(out + 2, out + 7), (Bytes{0x12, 0x34, 0xAB, 0xCD, 50}));
    EXPECT_EQ(Crc16Modbus(out, 57), out[57] | (out[58] << 8));
    // Out-of-range block sizes are refused rather than overrunning the frame.
    EXPECT_EQ(BuildDataBlockFrame(1, 0, 1, full.data(), 0, out), 0u);
    EXPECT_EQ(BuildDataBlockFrame(1, 0, 1, full.data(), 51, out), 0u);
}

TEST(BlockCount, RoundsUp) {
    EXPECT_EQ(BlockCount(0), 0u);
    EXPECT_EQ(BlockCount(1), 1u);
    EXPECT_EQ(BlockCount(50), 1u);
    EXPECT_EQ(BlockCount(51), 2u);
    EXPECT_EQ(BlockCount(101), 3u);
    EXPECT_EQ(BlockCount(200000), 4000u);
}

TEST(FormatHexBytes, TwoUpperCaseDigitsAndASpaceEach) {
    const uint8_t bytes[] = {0x01, 0x6A, 0x00};
    EXPECT_EQ(FormatHexBytes(bytes, 3), CString(L"01 6A 00 "));
    EXPECT_TRUE(FormatHexBytes(bytes, 0).IsEmpty());
}

TEST(ParseDeviceFrame, BlockAck) {
    const DeviceFrame f = Parse({0x01, 0x6A, 0x27, 0x10, 0x00, 0x01, 0xD3, 0x72});
    EXPECT_EQ(f.valid, 1);
    EXPECT_EQ(f.address, 1);
    EXPECT_EQ(f.functionCode, FUNC_BLOCK);
    EXPECT_EQ(f.blockNumber, 10000);
    EXPECT_EQ(f.blockCount, 1);
    EXPECT_EQ(f.frameLength, 8);
    EXPECT_TRUE(f.data.empty());
}

TEST(ParseDeviceFrame, ModelReplies) {
    const DeviceFrame abc = Parse({0x01, 0x69, 0x03, 0x61, 0x62, 0x63, 0x65, 0x10});
    EXPECT_EQ(abc.valid, 1);
    EXPECT_EQ(abc.dataLength, 3);
    EXPECT_EQ(abc.data, (Bytes{0x61, 0x62, 0x63}));

    Bytes empty{0x01, 0x69, 0x00};
    const uint16_t crc = Crc16Modbus(empty.data(), 3);
    empty.push_back(crc & 0xFF);
    empty.push_back(crc >> 8);
    const DeviceFrame none = Parse(empty);
    EXPECT_EQ(none.valid, 1);
    EXPECT_EQ(none.dataLength, 0);
    EXPECT_TRUE(none.data.empty());
}

Bytes WithCrc(Bytes body) {
    const uint16_t crc = Crc16Modbus(body.data(), static_cast<uint32_t>(body.size()));
    body.push_back(crc & 0xFF);
    body.push_back(crc >> 8);
    return body;
}

TEST(ParseDeviceFrame, StatusRepliesOfFiveAndThreeHundredBytes) {
    const DeviceFrame five = Parse(WithCrc({0x02, 0x6C, 0x5A}));
    EXPECT_EQ(five.valid, 1);
    EXPECT_EQ(five.status, 0x5A);
    EXPECT_EQ(five.dataLength, 0);
    EXPECT_TRUE(five.data.empty());

    Bytes body{0x02, 0x6C, 0x07};
    for (int i = 0; i < 295; ++i)
        body.push_back(static_cast<uint8_t>(i));
    const DeviceFrame big = Parse(WithCrc(body));
    ASSERT_EQ(big.frameLength, 300);
    EXPECT_EQ(big.valid, 1);
    EXPECT_EQ(big.dataLength, 39);  // 295 modulo 256
    ASSERT_EQ(big.data.size(), 39u);
    EXPECT_EQ(big.data.front(), 0);
    EXPECT_EQ(big.data.back(), 38);
}

TEST(ParseDeviceFrame, ExtendedReply) {
    const DeviceFrame f = Parse(WithCrc({0x01, 0x67, 0x06, 0x12, 0x34, 0x56, 0x78, 0xAA, 0xBB}));
    EXPECT_EQ(f.valid, 1);
    EXPECT_EQ(f.dataLength, 6);
    EXPECT_EQ(f.blockNumber, 0x1234);
    EXPECT_EQ(f.blockCount, 0x5678);
    EXPECT_EQ(f.data, (Bytes{0xAA, 0xBB}));
}

// Frames too short for their code's fields stay valid with the fields zero; a bad CRC, a length
// under 3 or an unknown function code is never valid.
struct ShortCase {
    const char* name;
    Bytes body;
    int valid;
};

class ParseShort : public ::testing::TestWithParam<ShortCase> {};

TEST_P(ParseShort, FieldsStayZero) {
    const DeviceFrame f = Parse(GetParam().body.size() >= 1 ? WithCrc(GetParam().body) : Bytes{});
    EXPECT_EQ(f.valid, GetParam().valid);
    EXPECT_EQ(f.blockNumber, 0);
    EXPECT_EQ(f.blockCount, 0);
    EXPECT_TRUE(f.data.empty());
}

INSTANTIATE_TEST_SUITE_P(Cases, ParseShort,
                         ::testing::Values(ShortCase{"ack_of_six", {0x01, 0x6A, 0x27, 0x10}, 1},
                                           ShortCase{"status_of_four", {0x01, 0x6C}, 1},
                                           ShortCase{"model_claims_more", {0x01, 0x69, 0x09, 0x41}, 1},
                                           ShortCase{"extended_of_seven", {0x01, 0x67, 0x04, 0x00, 0x01}, 1},
                                           ShortCase{"unknown_code", {0x01, 0x55, 0x00, 0x00}, 0},
                                           ShortCase{"one_byte", {0x01}, 0}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST(ParseDeviceFrame, BadCrcIsNotValid) {
    const DeviceFrame f = Parse({0x01, 0x6A, 0x27, 0x10, 0x00, 0x01, 0xD3, 0x73});
    EXPECT_EQ(f.valid, 0);
    EXPECT_EQ(f.functionCode, 0);
    EXPECT_EQ(f.frameLength, 8);
}

}  // namespace
