// The simulated device's answers, what it keeps of a transfer, its rate changes, pacing and faults,
// all in simulated time.
#include <gtest/gtest.h>

#include "tests/sim/SimTestFrames.h"
#include "tools/sim/DeviceSimulator.h"
#include "tools/sim/SimFrameSplitter.h"

using namespace simtest;
using Writes = std::vector<Bytes>;

namespace {

// Feeds whole host frames to a simulator and collects what it sends by a given time.
struct Device {
    explicit Device(SimulatorOptions options = {}) : sim(std::move(options)) {}

    void Send(const Bytes& frame, SimTime now, std::optional<SimTime> firstByte = {}) {
        SimFrameSplitter splitter;
        splitter.Feed(frame.data(), frame.size(), firstByte.value_or(now));
        auto parsed = splitter.Next();
        ASSERT_TRUE(parsed);
        sim.OnFrame(*parsed, now);
    }
    // A hang-up shows as an empty write.
    Writes Written(SimTime until) {
        Writes writes;
        for (const SimOutput& out : sim.TakeDue(until))
            writes.push_back(out.bytes);
        return writes;
    }
    Writes Exchange(const Bytes& frame, int ms) {
        Send(frame, At(ms));
        return Written(At(ms + 999));
    }
    // Trigger, verify (firmware) and every block, one a second from `second` on.
    Writes Transfer(const Bytes& payload, bool firmware, int second = 0) {
        Writes acks;
        Send(Trigger(), At(1000 * second++));
        if (firmware)
            acks = Exchange(Verify(1, payload), 1000 * second++);
        for (size_t i = 0; i < BlockCount(payload.size()); ++i) {
            for (Bytes& ack : Exchange(PayloadBlock(payload, i, firmware ? 10001 : 0), 1000 * second++)) {
                acks.push_back(ack);
            }
        }
        return acks;
    }

    DeviceSimulator sim;
};

SimulatorOptions Options(void (*adjust)(SimulatorOptions&)) {
    SimulatorOptions options;
    options.modelGbk = "abc";
    adjust(options);
    return options;
}

}  // namespace

TEST(DeviceSimulatorTest, AnswersTheFixedVectorsWithTheHostsAddress) {
    const SimulatorOptions abc = Options([](SimulatorOptions&) {});
    const std::vector<std::tuple<SimulatorOptions, std::vector<Bytes>, Bytes>> cases = {
        {abc, {kModelQuery}, kModelReplyAbc},
        {Options([](SimulatorOptions& o) { o.modelGbk = ""; }), {kModelQuery}, WithCrc({1, 0x69, 0})},
        {abc, {ModelQuery(0x37, 0)}, WithCrc({0x37, 0x69, 3, 'a', 'b', 'c'})},
        {abc, {kStatusQuery}, WithCrc({1, 0x6C, 0})},
        {Options([](SimulatorOptions& o) { o.statusCode = 0x5A; }), {kStatusQuery}, WithCrc({1, 0x6C, 0x5A})},
        {abc, {kVerifyAbc}, kVerifyAck},
        {abc, {kVerifyAbc, kBlockAbc}, Ack(1, 10001, 1)},
        {abc, {Block(0xC8, 0, 2, Pattern(50))}, Ack(0xC8, 0, 2)},
    };
    for (const auto& [options, frames, reply] : cases) {
        Device device(options);
        Writes written;
        for (size_t i = 0; i < frames.size(); ++i)
            written = device.Exchange(frames[i], 1000 * static_cast<int>(i));
        EXPECT_EQ(written, Writes{reply});
    }
    EXPECT_TRUE(Device().Exchange(Trigger(), 0).empty()) << "a trigger gets no answer";
}

TEST(DeviceSimulatorTest, KeepsAFirmwarePayloadAndChecksItsRecord) {
    Device device;
    const Bytes payload = Pattern(101);
    EXPECT_EQ(device.Transfer(payload, true),
              (Writes{Ack(1, 10000, 3), Ack(1, 10001, 3), Ack(1, 10002, 3), Ack(1, 10003, 3)}));
    EXPECT_EQ(device.sim.Payload(), payload);
    const SimReport report = device.sim.Report();
    EXPECT_EQ(report.mode, SimTransferMode::Firmware);
    EXPECT_TRUE(report.complete && report.record && report.record->AllOk());
}

TEST(DeviceSimulatorTest, ChecksBlockNumberingAndReplacesReSentBlocks) {
    const Bytes payload = Pattern(150);
    struct Case {
        std::vector<uint16_t> order;  // program block numbers in the order sent; 7 is beyond the count
        uint32_t received, duplicates, numberingErrors;
        bool complete;
    };
    for (const Case& c : std::vector<Case>{{{0, 1, 2}, 3, 0, 0, true},
                                           {{0, 1, 1, 2}, 3, 1, 0, true},
                                           {{0, 2, 1}, 3, 0, 2, true},
                                           {{0, 2}, 2, 0, 1, false},
                                           {{0, 1, 7}, 2, 0, 1, false}}) {
        Device device;
        device.Send(Trigger(), At(0));
        int ms = 0;
        for (uint16_t n : c.order) {
            const Bytes frame = n < 3 ? PayloadBlock(payload, n, 0) : Block(1, n, 3, {1});
            EXPECT_EQ(device.Exchange(frame, ms += 1000), Writes{Ack(1, n, 3)}) << "acks echo what came";
        }
        const SimReport r = device.sim.Report();
        EXPECT_EQ(r.mode, SimTransferMode::Program);
        EXPECT_EQ(std::tie(r.blocksReceived, r.duplicateBlocks, r.numberingErrors, r.complete),
                  std::tie(c.received, c.duplicates, c.numberingErrors, c.complete))
            << ::testing::PrintToString(c.order);
        if (c.complete) {
            EXPECT_EQ(device.sim.Payload(), payload);
        }
    }
}

TEST(DeviceSimulatorTest, TriggerStartsASessionButATestDoesNotWipeTheLastTransfer) {
    Device device;
    device.Transfer(Pattern(70, 5), true);
    device.Send(Trigger(), At(20000));
    device.Exchange(kModelQuery, 20150);
    EXPECT_EQ(device.sim.Payload(), Pattern(70, 5));

    device.Transfer(Pattern(30, 9), false, 30);
    EXPECT_EQ(device.sim.Payload(), Pattern(30, 9));
    const SimReport report = device.sim.Report();
    EXPECT_EQ(report.mode, SimTransferMode::Program);
    EXPECT_EQ(report.dataFrames, 1u);
    EXPECT_EQ(report.transfersCompleted, 2u);
}

TEST(DeviceSimulatorTest, HighSpeedReplyComesOnlyAfterTheSwitchAndTheRateReturnsAfterTheLastAck) {
    Device device(Options([](SimulatorOptions& o) { o.switchDelay = std::chrono::milliseconds(250); }));
    device.Send(Trigger(), At(0));
    device.Send(kHighSpeedQuery, At(1000));
    EXPECT_EQ(device.sim.CurrentRate(), 115200u);
    EXPECT_TRUE(device.Written(At(1249)).empty()) << "a reply during the host's switch is lost";
    EXPECT_EQ(device.Written(At(1250)), Writes{kModelReplyAbc});

    const Bytes payload = Pattern(80);
    device.Exchange(Verify(1, payload), 2000);
    device.Exchange(PayloadBlock(payload, 0, 10001), 3000);
    EXPECT_EQ(device.sim.CurrentRate(), 115200u);
    device.Exchange(PayloadBlock(payload, 1, 10001), 4000);
    EXPECT_EQ(device.sim.CurrentRate(), 9600u);

    device.Send(kHighSpeedQuery, At(5000));
    device.Send(Trigger(), At(5001));
    EXPECT_EQ(device.sim.CurrentRate(), 9600u) << "a trigger brings the rate back";
}

TEST(DeviceSimulatorTest, PacingTakesTheWireTimeBothWays) {
    Device device(Options([](SimulatorOptions& o) {
        o.pace = true;
        o.ackDelay = std::chrono::milliseconds(7);
    }));
    const auto bit9600 = DeviceSimulator::ByteTime(9600), bit115200 = DeviceSimulator::ByteTime(115200);
    EXPECT_EQ(bit9600, std::chrono::nanoseconds(1041666));
    // A 59-byte block whose first byte came at 100 ms: in after 59 byte times, then 7 ms of
    // thought and 8 byte times of ack.
    device.Send(Block(1, 0, 1, Pattern(50)), At(101), At(100));
    const SimTime ackDue = At(100) + 67 * bit9600 + std::chrono::milliseconds(7);
    EXPECT_EQ(device.sim.NextDue(), ackDue);
    EXPECT_TRUE(device.Written(ackDue - std::chrono::nanoseconds(1)).empty());
    EXPECT_EQ(device.Written(ackDue).size(), 1u);

    // A frame that is in while the device is still sending waits until it is done.
    device.Send(kStatusQuery, At(300), At(200));
    device.Send(kStatusQuery, At(300), At(300) - 19 * bit9600);
    EXPECT_EQ(device.Written(At(300) + 5 * bit9600).size(), 1u);
    EXPECT_EQ(device.sim.NextDue(), At(300) + 10 * bit9600);

    device.Written(At(1000));
    device.Send(kHighSpeedQuery, At(1000));
    EXPECT_EQ(device.sim.NextDue(), At(1250) + 8 * bit9600 + 8 * bit115200) << "the reply goes at 115200";
}

TEST(DeviceSimulatorTest, SilentAndStrayByteFaults) {
    Device quiet(Options([](SimulatorOptions& o) { o.silent = true; }));
    EXPECT_TRUE(quiet.Transfer(Pattern(60), true).empty());
    EXPECT_EQ(quiet.sim.Payload(), Pattern(60)) << "a silent device still listens";

    Device device(Options([](SimulatorOptions& o) { o.strayByte = true; }));
    const Bytes stray = Concat({{0x00}, kModelReplyAbc});
    EXPECT_EQ(device.Exchange(kModelQuery, 0), Writes{kModelReplyAbc}) << "no trigger yet";
    for (int session = 1; session <= 2; ++session) {
        device.Send(Trigger(), At(1000 * session));
        EXPECT_EQ(device.Exchange(kModelQuery, 1000 * session + 100), Writes{stray});
        EXPECT_EQ(device.Exchange(kModelQuery, 1000 * session + 200), Writes{kModelReplyAbc});
    }
}

TEST(DeviceSimulatorTest, FaultyAckIsCorrectedOnceUnlessTheHostTookIt) {
    const Bytes payload = Pattern(150);
    // {firmware, wrong number?, first ack of block 2, correct ack}
    const std::vector<std::tuple<bool, bool, Bytes, Bytes>> cases = {
        {false, true, Ack(1, 0, 3), Ack(1, 1, 3)},
        {false, false, Ack(1, 1, 4), Ack(1, 1, 3)},
        {true, true, Ack(1, 9999, 3), Ack(1, 10002, 3)},  // below every number a firmware host takes
        {true, false, Ack(1, 10002, 4), Ack(1, 10002, 3)},
    };
    for (const auto& [firmware, wrongNumber, faulty, correct] : cases) {
        SimulatorOptions options;
        (wrongNumber ? options.wrongNumberAt : options.wrongCountAt) = 2;
        Device device(options);
        const uint16_t base = firmware ? 10001 : 0;
        // Each run (a trigger frame) gets the fault once, however many runs went before.
        for (int run = 0; run < 3; ++run) {
            const int t = 10000 * run;
            device.Send(Trigger(), At(t));
            device.Exchange(PayloadBlock(payload, 0, base), t + 10);
            device.Send(PayloadBlock(payload, 1, base), At(t + 1000));
            EXPECT_EQ(device.Written(At(t + 1199)), Writes{faulty}) << "run " << run;
            EXPECT_EQ(device.Written(At(t + 1200)), Writes{correct}) << "run " << run;
            EXPECT_EQ(device.Exchange(PayloadBlock(payload, 2, base), t + 2000), Writes{Ack(1, base + 2, 3)});
        }
    }
    // A host that took the faulty ack sends the next block; the correction must not follow.
    Device device(Options([](SimulatorOptions& o) { o.wrongCountAt = 1; }));
    device.Send(Trigger(), At(0));
    device.Send(PayloadBlock(payload, 0, 10001), At(20));
    EXPECT_EQ(device.Written(At(20)), Writes{Ack(1, 10001, 4)});
    device.Send(PayloadBlock(payload, 1, 10001), At(25));
    EXPECT_EQ(device.Written(At(5000)), Writes{Ack(1, 10002, 3)});
}

TEST(DeviceSimulatorTest, DroppedAckAndHangUpHappenOnceARun) {
    const Bytes payload = Pattern(150);
    for (bool hangup : {false, true}) {
        SimulatorOptions options;
        (hangup ? options.hangupAt : options.dropAckAt) = 2;
        Device device(options);
        for (int run = 0; run < 3; ++run) {
            const int t = 10000 * run;
            device.Send(Trigger(), At(t));
            device.Send(kHighSpeedQuery, At(t + 10));
            device.Exchange(PayloadBlock(payload, 0, 0), t + 1000);
            EXPECT_EQ(device.Exchange(PayloadBlock(payload, 1, 0), t + 2000),
                      hangup ? Writes{Bytes{}} : Writes{})
                << "run " << run;
            if (hangup) {
                device.sim.OnLineReset();
                EXPECT_EQ(device.sim.CurrentRate(), 9600u);
            }
            EXPECT_EQ(device.Exchange(PayloadBlock(payload, 1, 0), t + 3000), Writes{Ack(1, 1, 3)})
                << "the block sent again is acknowledged";
        }
    }
}
