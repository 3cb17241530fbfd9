// Finding host frames in the raw byte stream: every kind, any read boundaries, and recovery from
// whatever else the line carries.
#include <gtest/gtest.h>

#include <random>

#include "tests/sim/SimTestFrames.h"
#include "tools/sim/SimFrameSplitter.h"

using namespace simtest;

namespace {

using Found = std::pair<SimFrameKind, Bytes>;

std::vector<Found> Drain(SimFrameSplitter& splitter) {
    std::vector<Found> found;
    while (auto frame = splitter.Next())
        found.emplace_back(frame->kind, frame->bytes);
    return found;
}

const std::vector<Found> kConversation = {
    {SimFrameKind::Trigger, Trigger()},
    {SimFrameKind::ModelQuery, kModelQuery},
    {SimFrameKind::StatusQuery, kStatusQuery},
    {SimFrameKind::Verify, kVerifyAbc},
    {SimFrameKind::DataBlock, kBlockAbc},
    {SimFrameKind::DataBlock, Block(0xFF, 0, 1, Pattern(50))},    // full block to address FF
    {SimFrameKind::DataBlock, Block(0x01, 10000, 1, {1, 2, 3})},  // the verify number, no record
    {SimFrameKind::ModelQuery, ModelQuery(0xFF, 0x0480)},
};

}  // namespace

TEST(SimFrameSplitterTest, FindsEveryKindWhateverTheReadBoundaries) {
    Bytes stream;
    for (const Found& f : kConversation)
        stream = Concat({stream, f.second});
    for (size_t cut = 0; cut <= stream.size(); ++cut) {
        SimFrameSplitter splitter;
        splitter.Feed(stream.data(), cut, At(0));
        splitter.Feed(stream.data() + cut, stream.size() - cut, At(1));
        EXPECT_EQ(Drain(splitter), kConversation) << "cut at " << cut;
        EXPECT_EQ(splitter.BadFrames(), 0u);
    }
    SimFrameSplitter split;
    split.Feed(kBlockAbc.data(), 5, At(10));
    split.Feed(kBlockAbc.data() + 5, kBlockAbc.size() - 5, At(20));
    EXPECT_EQ(split.Next()->firstByteTime, At(10)) << "pacing counts from the first byte";
}

TEST(SimFrameSplitterTest, SkipsGarbageAndDamagedFrames) {
    // The model query with the last bit of its CRC flipped. Spelt out rather than copied and
    // changed in place: g++ 12 at -O3 warns falsely (-Wstringop-overflow) on back() of that copy.
    const Bytes badCrc = {0x01, 0x69, 0x00, 0x65, 0x00, 0x00, 0x4D, 0xDD};
    Bytes badTag = Trigger();
    badTag[10] = 0x07;
    const std::vector<Bytes> junk = {
        {0x01, 0x42, 0x00},
        {0x00},
        badCrc,
        {0xFF, 0x00, 0xFF, 0x00, 0xAA},
        badTag,
        Block(1, 5, 1, {}),
        {0x01, 0x6A, 0, 0, 0, 1, 51},
        // "6A 32" promises 59 bytes: only the quiet line lets the frames behind it out
        {0x07, 0x6A, 0, 0, 0, 0, 50}};
    for (const Bytes& j : junk) {
        SimFrameSplitter splitter;
        const Bytes stream = Concat({kModelQuery, j, kBlockAbc, j, Trigger()});
        splitter.Feed(stream.data(), stream.size(), At(0));
        splitter.OnIdle();
        const std::vector<Found> expected = {{SimFrameKind::ModelQuery, kModelQuery},
                                             {SimFrameKind::DataBlock, kBlockAbc},
                                             {SimFrameKind::Trigger, Trigger()}};
        EXPECT_EQ(Drain(splitter), expected) << j.size();
        EXPECT_EQ(splitter.BadFrames(), 2u);
        EXPECT_EQ(splitter.SkippedBytes(), 2 * j.size());
    }
}

TEST(SimFrameSplitterTest, RandomInputNeverStopsItFindingTheNextFrame) {
    std::mt19937 random(20240607);
    const Bytes favourites = {0x69, 0x6A, 0x6C, 0xFF, 0x00, 0xAA, 0x55, 50, 16};
    for (int round = 0; round < 300; ++round) {
        // Lean on the bytes that start frames, so the noise keeps opening false candidates.
        Bytes noise(random() % 300);
        for (uint8_t& b : noise)
            b = static_cast<uint8_t>(random() % 3 ? random() : favourites[random() % 9]);
        SimFrameSplitter splitter;
        for (size_t at = 0, n = 0; at < noise.size(); at += n) {
            n = std::min<size_t>(noise.size() - at, 1 + random() % 40);
            splitter.Feed(noise.data() + at, n, At(0));
        }
        splitter.OnIdle();
        Drain(splitter);
        splitter.Feed(kStatusQuery.data(), kStatusQuery.size(), At(1));
        const auto found = Drain(splitter);
        ASSERT_FALSE(found.empty()) << round;
        EXPECT_EQ(found.back().second, kStatusQuery) << round;
    }
}
