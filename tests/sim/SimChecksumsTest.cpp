// The simulator's own checksums: CRC-16/MODBUS, SHA-256 and the verify-record check.
#include <gtest/gtest.h>

#include "tests/sim/SimTestFrames.h"
#include "tools/common/Sha256.h"
#include "tools/sim/VerifyRecordCheck.h"

using namespace simtest;

namespace {

Bytes Text(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

std::array<uint8_t, 16> RecordOf(const Bytes& verifyFrame) {
    std::array<uint8_t, 16> record{};
    std::copy_n(verifyFrame.begin() + 7, 16, record.begin());
    return record;
}

}  // namespace

TEST(SimChecksumsTest, Crc16MatchesTheCheckValueAndEveryFixedFrame) {
    EXPECT_EQ(SimCrc16Modbus(Text("123456789")), 0x4B37);
    EXPECT_EQ(SimCrc16Modbus(Bytes{}), 0xFFFF);
    for (const Bytes& frame :
         {kModelQuery, kHighSpeedQuery, kStatusQuery, kVerifyAbc, kBlockAbc, kModelReplyAbc, kVerifyAck}) {
        EXPECT_EQ(WithCrc(Bytes(frame.begin(), frame.end() - 2)), frame);
    }
}

TEST(SimChecksumsTest, Sha256StandardDigests) {
    EXPECT_EQ(Sha256::Hex({}), "e3b0c44298fc1c149afbf4c8996fb92427ae41e4649b934ca495991b7852b855");
    EXPECT_EQ(Sha256::Hex(Text("abc")), "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    // 56 bytes: the length no longer fits the first block's padding.
    EXPECT_EQ(Sha256::Hex(Text("abcdbcdecdefdefgefghfghighijhijkijkljklmklmnlmnomnopnopq")),
              "248d6a61d20638b8e5c026930c3e6039a33ce45964ff2167f6ecedd419db06c1");
    EXPECT_EQ(Sha256::Hex(Bytes(1000000, 'a')),
              "cdc76e5c9914fb9281a1c7e284d73e67f1809a48a497200e046d39ccc7112cd0");
}

TEST(SimChecksumsTest, VerifyRecordIsJudgedFieldByField) {
    EXPECT_TRUE(VerifyRecordCheck::Check(RecordOf(kVerifyAbc), 1, Text("abc")).AllOk());
    const Bytes big = Pattern(70001);  // length and CRC beyond 16 bits
    EXPECT_TRUE(VerifyRecordCheck::Check(RecordOf(Verify(1, big)), BlockCount(big.size()), big).AllOk());

    const Bytes payload = Pattern(120);
    const std::vector<std::pair<size_t, VerifyField VerifyRecordResult::*>> cases = {
        {2, nullptr},
        {9, nullptr},
        {15, nullptr},  // fixed bytes
        {7, &VerifyRecordResult::length},
        {10, &VerifyRecordResult::crc},
        {11, &VerifyRecordResult::crc},
        {12, &VerifyRecordResult::sum},
        {13, &VerifyRecordResult::xorValue},
    };
    for (const auto& [offset, broken] : cases) {
        std::array<uint8_t, 16> record = RecordOf(Verify(1, payload));
        record[offset] ^= 0x01;
        const VerifyRecordResult r = VerifyRecordCheck::Check(record, 3, payload);
        EXPECT_FALSE(r.AllOk()) << offset;
        EXPECT_EQ(r.fixedBytesOk, broken != nullptr) << offset;
        for (auto field : {&VerifyRecordResult::length, &VerifyRecordResult::crc, &VerifyRecordResult::sum,
                           &VerifyRecordResult::xorValue}) {
            EXPECT_EQ((r.*field).ok(), field != broken) << offset;
        }
    }
    const VerifyRecordResult wrongCount = VerifyRecordCheck::Check(RecordOf(Verify(1, payload)), 2, payload);
    EXPECT_FALSE(wrongCount.blockCount.ok());
}
