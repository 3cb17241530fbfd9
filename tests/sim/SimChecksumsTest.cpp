// The simulator's own checksums: CRC-16/MODBUS, SHA-256 and the verify-record check.
#include <gtest/gtest.h>

#include <array>
#include <string>

#include "tests/sim/SimTestFrames.h"
#include "tools/sim/Sha256.h"
#include "tools/sim/SimCrc16.h"
#include "tools/sim/VerifyRecordCheck.h"

using namespace simtest;

namespace {

Bytes Text(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

Bytes Stepped(size_t size) {
    Bytes bytes(size);
    for (size_t i = 0; i < size; ++i)
        bytes[i] = static_cast<uint8_t>(i * 7 + 3);
    return bytes;
}

std::array<uint8_t, 16> AsRecord(const Bytes& bytes) {
    std::array<uint8_t, 16> record{};
    std::copy_n(bytes.begin(), 16, record.begin());
    return record;
}

}  // namespace

TEST(SimCrc16Test, PublishedCheckValueAndFrameVectors) {
    EXPECT_EQ(SimCrc16Modbus(Text("123456789")), 0x4B37);
    EXPECT_EQ(SimCrc16Modbus(Bytes{}), 0xFFFF);
    // Each vector's last two bytes are the CRC of the rest, low byte first.
    const std::vector<Bytes> frames = {
        {0x01, 0x69, 0x00, 0x65, 0x00, 0x00, 0x4D, 0xDC},
        {0x01, 0x69, 0x00, 0x65, 0x04, 0x80, 0x4E, 0xBC},
        {0x01, 0x69, 0x03, 0x61, 0x62, 0x63, 0x65, 0x10},
        {0x01, 0x6A, 0x27, 0x10, 0x00, 0x01, 0xD3, 0x72},
        {0x01, 0x6A, 0x27, 0x11, 0x00, 0x01, 0x03, 0x61, 0x62, 0x63, 0xB0, 0x8C},
        {0x01, 0x6C, 0x00, 0x65, 0x00, 0x0A, 0x0A, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0x50, 0x68},
    };
    for (const Bytes& frame : frames) {
        const uint16_t crc = SimCrc16Modbus(frame.data(), frame.size() - 2);
        EXPECT_EQ(crc & 0xFF, frame[frame.size() - 2]);
        EXPECT_EQ(crc >> 8, frame[frame.size() - 1]);
    }
}

TEST(Sha256Test, StandardDigests) {
    EXPECT_EQ(Sha256::Hex({}), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(Sha256::Hex(Text("abc")), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(Sha256::Hex(Text("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq")),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(Sha256::Hex(Bytes(1000000, 'a')),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(Sha256Test, PaddingBoundariesAndPiecewiseUpdates) {
    // Lengths around the 55/56-byte padding boundary and the 64-byte block.
    const std::vector<std::pair<size_t, std::string>> cases = {
        {55, "e7313d333c272e639f790978283f9eb392e843d0f29b7016828bb1daa4aac70b"},
        {56, "4324d65f3c103567f5589c710bc08f8523f929a9272e3af36fc968e52abc6c27"},
        {63, "81c80242132f230c3bd41b3e63bbcff16107339549214a99614ff26664625055"},
        {64, "39e3d7b6b5d075d37d053ad89b24b41bef4f3c29760c84447cab3f3be1882241"},
        {65, "aacca6ff74fdbb296d165a45cecfa04e5127bc008770fbbdd48006f2d2fae95e"},
        {119, "9ce7368e4daf32341631b492e80359dc9f594b48453cd0dd5bf0b19279cc177e"},
    };
    for (const auto& [size, digest] : cases) {
        const Bytes data = Stepped(size);
        EXPECT_EQ(Sha256::Hex(data), digest) << size;
        Sha256 pieces;
        for (size_t from = 0; from < size; from += 13)
            pieces.Update(data.data() + from, std::min<size_t>(13, size - from));
        Sha256 whole;
        whole.Update(data.data(), data.size());
        EXPECT_EQ(pieces.Final(), whole.Final()) << size;
    }
}

TEST(VerifyRecordCheckTest, RecordOfTheReceivedPayloadPasses) {
    const Bytes abcRecord = {0x08, 0x00, 0x60, 0x00, 0x00, 0x00, 0x00, 0x03,
                             0x00, 0x00, 0x49, 0x57, 0x26, 0x60, 0xCC, 0xCC};
    EXPECT_TRUE(VerifyRecordCheck::Check(AsRecord(abcRecord), 1, Text("abc")).AllOk());

    const Bytes empty = {0x08, 0x00, 0x60, 0x00, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF, 0x00, 0x00, 0xCC, 0xCC};
    EXPECT_TRUE(VerifyRecordCheck::Check(AsRecord(empty), 0, {}).AllOk());

    const Bytes big = Pattern(70001);  // CRC and length beyond 16 bits
    const VerifyRecordResult result =
        VerifyRecordCheck::Check(AsRecord(Record(big)), BlockCount(big.size()), big);
    EXPECT_TRUE(result.AllOk());
    EXPECT_EQ(result.length.received, 70001u);
}

TEST(VerifyRecordCheckTest, EachFieldIsJudgedOnItsOwn) {
    const Bytes payload = Pattern(120);
    struct Case {
        const char* name;
        size_t offset;                           // record byte to disturb
        VerifyField VerifyRecordResult::*field;  // null: one of the fixed bytes
    };
    const std::vector<Case> cases = {
        {"fixed lead", 2, nullptr},
        {"fixed middle", 9, nullptr},
        {"fixed tail", 15, nullptr},
        {"length", 7, &VerifyRecordResult::length},
        {"crc low", 10, &VerifyRecordResult::crc},
        {"crc high", 11, &VerifyRecordResult::crc},
        {"sum", 12, &VerifyRecordResult::sum},
        {"xor", 13, &VerifyRecordResult::xorValue},
    };
    for (const Case& c : cases) {
        Bytes record = Record(payload);
        record[c.offset] ^= 0x01;
        const VerifyRecordResult result =
            VerifyRecordCheck::Check(AsRecord(record), BlockCount(120), payload);
        EXPECT_FALSE(result.AllOk()) << c.name;
        EXPECT_EQ(result.fixedBytesOk, c.field != nullptr) << c.name;
        for (auto field : {&VerifyRecordResult::length, &VerifyRecordResult::crc, &VerifyRecordResult::sum,
                           &VerifyRecordResult::xorValue}) {
            EXPECT_EQ((result.*field).ok(), field != c.field) << c.name;
        }
    }
    // A verify frame whose block count disagrees with the announced length.
    const VerifyRecordResult wrongCount = VerifyRecordCheck::Check(AsRecord(Record(payload)), 2, payload);
    EXPECT_FALSE(wrongCount.blockCount.ok());
    EXPECT_EQ(wrongCount.blockCount.received, 3u);
}
