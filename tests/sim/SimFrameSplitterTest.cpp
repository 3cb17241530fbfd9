// Finding host frames in the raw byte stream: every kind, any read boundaries, and recovery from
// whatever else the line carries.
#include <gtest/gtest.h>

#include <random>

#include "tests/sim/SimTestFrames.h"
#include "tools/sim/SimFrameSplitter.h"

using namespace simtest;

namespace {

const Bytes kModelQuery = {0x01, 0x69, 0x00, 0x65, 0x00, 0x00, 0x4D, 0xDC};
const Bytes kVerifyAbc = {0x01, 0x6A, 0x27, 0x10, 0x00, 0x01, 0x10, 0x08, 0x00, 0x60, 0x00, 0x00, 0x00,
                          0x00, 0x03, 0x00, 0x00, 0x49, 0x57, 0x26, 0x60, 0xCC, 0xCC, 0x52, 0x89};
const Bytes kBlockAbc = {0x01, 0x6A, 0x27, 0x11, 0x00, 0x01, 0x03, 0x61, 0x62, 0x63, 0xB0, 0x8C};
const Bytes kStatusQuery = {0x01, 0x6C, 0x00, 0x65, 0x00, 0x0A, 0x0A, 0,    0,   0,
                            0,    0,    0,    0,    0,    0,    0,    0x50, 0x68};

struct Found {
    SimFrameKind kind;
    Bytes bytes;
    bool operator==(const Found&) const = default;
};

std::vector<Found> Drain(SimFrameSplitter& splitter) {
    std::vector<Found> found;
    while (auto frame = splitter.Next())
        found.push_back({frame->kind, frame->bytes});
    return found;
}

Bytes Concat(const std::vector<Bytes>& parts) {
    Bytes all;
    for (const Bytes& p : parts)
        all.insert(all.end(), p.begin(), p.end());
    return all;
}

// One conversation's worth of host frames, back to back.
const std::vector<Found>& Conversation() {
    static const std::vector<Found> frames = {
        {SimFrameKind::Trigger, Trigger()},
        {SimFrameKind::ModelQuery, kModelQuery},
        {SimFrameKind::StatusQuery, kStatusQuery},
        {SimFrameKind::Verify, kVerifyAbc},
        {SimFrameKind::DataBlock, kBlockAbc},
        {SimFrameKind::DataBlock, PayloadBlock(0xFF, Pattern(50), 0, 0)},  // full block, address FF
        {SimFrameKind::ModelQuery, ModelQuery(0xFF, 0x0480)},
    };
    return frames;
}

Bytes ConversationBytes() {
    std::vector<Bytes> parts;
    for (const Found& f : Conversation())
        parts.push_back(f.bytes);
    return Concat(parts);
}

}  // namespace

TEST(SimFrameSplitterTest, FindsEveryKindWhateverTheReadBoundaries) {
    const Bytes stream = ConversationBytes();
    for (size_t cut = 0; cut <= stream.size(); ++cut) {
        SimFrameSplitter splitter;
        splitter.Feed(stream.data(), cut, At(std::chrono::milliseconds(0)));
        splitter.Feed(stream.data() + cut, stream.size() - cut, At(std::chrono::milliseconds(1)));
        EXPECT_EQ(Drain(splitter), Conversation()) << "cut at " << cut;
        EXPECT_EQ(splitter.BadFrames(), 0u);
        EXPECT_FALSE(splitter.HasPartial());
    }
    SimFrameSplitter byteByByte;
    for (uint8_t b : stream)
        byteByByte.Feed(&b, 1, At(std::chrono::milliseconds(0)));
    EXPECT_EQ(Drain(byteByByte), Conversation());
}

TEST(SimFrameSplitterTest, FrameTimeIsItsFirstByte) {
    SimFrameSplitter splitter;
    splitter.Feed(kBlockAbc.data(), 5, At(std::chrono::milliseconds(10)));
    splitter.Feed(kBlockAbc.data() + 5, kBlockAbc.size() - 5, At(std::chrono::milliseconds(20)));
    auto frame = splitter.Next();
    ASSERT_TRUE(frame);
    EXPECT_EQ(frame->firstByteTime, At(std::chrono::milliseconds(10)));
}

TEST(SimFrameSplitterTest, SkipsGarbageAndDamagedFrames) {
    Bytes badCrc = kModelQuery;
    badCrc.back() ^= 0x01;
    Bytes badTag = Trigger();
    badTag[10] = 0x07;  // the tag must be printable
    Bytes zeroLength = Block(0x01, 5, 1, {});
    struct Case {
        const char* name;
        Bytes junk;
    };
    const std::vector<Case> cases = {
        {"unknown function code", {0x01, 0x42, 0x00}},
        {"bad CRC", badCrc},
        {"stray zero", {0x00}},
        {"trigger header cut short", {0xFF, 0x00, 0xFF, 0x00, 0xAA}},
        {"control byte in tag", badTag},
        {"empty data block", zeroLength},
        {"oversized data block", {0x01, 0x6A, 0x00, 0x00, 0x00, 0x01, 51}},
    };
    for (const Case& c : cases) {
        SimFrameSplitter splitter;
        const Bytes stream = Concat({kModelQuery, c.junk, kBlockAbc, c.junk, Trigger()});
        splitter.Feed(stream.data(), stream.size(), At(std::chrono::milliseconds(0)));
        splitter.OnIdle();
        const std::vector<Found> expected = {{SimFrameKind::ModelQuery, kModelQuery},
                                             {SimFrameKind::DataBlock, kBlockAbc},
                                             {SimFrameKind::Trigger, Trigger()}};
        EXPECT_EQ(Drain(splitter), expected) << c.name;
        EXPECT_EQ(splitter.BadFrames(), 2u) << c.name;
        EXPECT_EQ(splitter.SkippedBytes(), 2 * c.junk.size()) << c.name;
    }
}

TEST(SimFrameSplitterTest, QuietLineReleasesAFrameHiddenBehindAFalseStart) {
    // "6A 32" promises a 59-byte block; the query behind it would wait for ever without the quiet
    // rule, and the host would wait with it.
    SimFrameSplitter splitter;
    const Bytes stream = Concat({{0x07, 0x6A, 0, 0, 0, 0, 50}, kModelQuery});
    splitter.Feed(stream.data(), stream.size(), At(std::chrono::milliseconds(0)));
    EXPECT_FALSE(splitter.Next());
    EXPECT_TRUE(splitter.HasPartial());
    splitter.OnIdle();
    const std::vector<Found> expected = {{SimFrameKind::ModelQuery, kModelQuery}};
    EXPECT_EQ(Drain(splitter), expected);
    EXPECT_FALSE(splitter.HasPartial());
    EXPECT_EQ(splitter.BadFrames(), 1u);
}

TEST(SimFrameSplitterTest, VerifyNeedsBothNumberAndRecordLength) {
    const Bytes number10000Short = Block(0x01, 10000, 1, {1, 2, 3});
    const Bytes record16Elsewhere = Block(0x01, 10001, 1, Bytes(16, 0x55));
    SimFrameSplitter splitter;
    const Bytes stream = Concat({number10000Short, record16Elsewhere, kVerifyAbc});
    splitter.Feed(stream.data(), stream.size(), At(std::chrono::milliseconds(0)));
    const std::vector<Found> expected = {{SimFrameKind::DataBlock, number10000Short},
                                         {SimFrameKind::DataBlock, record16Elsewhere},
                                         {SimFrameKind::Verify, kVerifyAbc}};
    EXPECT_EQ(Drain(splitter), expected);
}

TEST(SimFrameSplitterTest, RandomInputNeverStopsItFindingTheNextFrame) {
    std::mt19937 random(20240607);
    std::uniform_int_distribution<int> byte(0, 255);
    std::uniform_int_distribution<int> length(0, 300);
    const Bytes favourites = {0x69, 0x6A, 0x6C, 0xFF, 0x00, 0xAA, 0x55, 50, 16};
    for (int round = 0; round < 300; ++round) {
        Bytes noise(static_cast<size_t>(length(random)));
        // Lean on the bytes that start frames, so the noise keeps opening false candidates.
        for (uint8_t& b : noise)
            b = (byte(random) % 3 == 0) ? favourites[byte(random) % favourites.size()] : byte(random);
        SimFrameSplitter splitter;
        size_t at = 0;
        while (at < noise.size()) {
            const size_t n = std::min<size_t>(noise.size() - at, 1 + byte(random) % 40);
            splitter.Feed(noise.data() + at, n, At(std::chrono::milliseconds(0)));
            at += n;
        }
        splitter.OnIdle();
        Drain(splitter);
        EXPECT_FALSE(splitter.HasPartial());
        splitter.Feed(kStatusQuery.data(), kStatusQuery.size(), At(std::chrono::milliseconds(1)));
        const auto found = Drain(splitter);
        ASSERT_FALSE(found.empty()) << "round " << round;
        EXPECT_EQ(found.back().bytes, kStatusQuery) << "round " << round;
    }
}
