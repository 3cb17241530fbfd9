// The simulated device's answers, what it keeps of a transfer, its rate changes, pacing and faults,
// all in simulated time.
#include <gtest/gtest.h>

#include "tests/sim/SimTestFrames.h"
#include "tools/sim/DeviceSimulator.h"
#include "tools/sim/SimFrameSplitter.h"

using namespace simtest;
using std::chrono::milliseconds;

namespace {

// Feeds whole host frames to a simulator and collects what it sends, at chosen times.
class Device {
public:
    explicit Device(SimulatorOptions options = {}) : sim(std::move(options)) {}

    void Send(const Bytes& frame, SimTime at) { Send(frame, at, at); }
    void Send(const Bytes& frame, SimTime firstByte, SimTime now) {
        SimFrameSplitter splitter;
        splitter.Feed(frame.data(), frame.size(), firstByte);
        auto parsed = splitter.Next();
        ASSERT_TRUE(parsed) << "not a host frame";
        ASSERT_FALSE(splitter.Next());
        sim.OnFrame(*parsed, now);
    }
    // Everything written by `until`, each write as one element.
    std::vector<Bytes> Written(SimTime until) {
        std::vector<Bytes> writes;
        for (const SimOutput& out : sim.TakeDue(until)) {
            writes.push_back(out.kind == SimOutput::Kind::HangUp ? Bytes{} : out.bytes);
            if (out.kind == SimOutput::Kind::HangUp)
                hungUp = true;
        }
        return writes;
    }
    // Sends a frame and returns what is written within the next second.
    std::vector<Bytes> Exchange(const Bytes& frame, SimTime at) {
        Send(frame, at);
        return Written(at + milliseconds(1000));
    }

    DeviceSimulator sim;
    bool hungUp = false;
};

const Bytes kModelQuery = {0x01, 0x69, 0x00, 0x65, 0x00, 0x00, 0x4D, 0xDC};
const Bytes kHighSpeedQuery = {0x01, 0x69, 0x00, 0x65, 0x04, 0x80, 0x4E, 0xBC};
const Bytes kStatusQuery = {0x01, 0x6C, 0x00, 0x65, 0x00, 0x0A, 0x0A, 0,    0,   0,
                            0,    0,    0,    0,    0,    0,    0,    0x50, 0x68};
const Bytes kVerifyAbc = {0x01, 0x6A, 0x27, 0x10, 0x00, 0x01, 0x10, 0x08, 0x00, 0x60, 0x00, 0x00, 0x00,
                          0x00, 0x03, 0x00, 0x00, 0x49, 0x57, 0x26, 0x60, 0xCC, 0xCC, 0x52, 0x89};
const Bytes kBlockAbc = {0x01, 0x6A, 0x27, 0x11, 0x00, 0x01, 0x03, 0x61, 0x62, 0x63, 0xB0, 0x8C};

SimulatorOptions WithModel(const std::string& model) {
    SimulatorOptions options;
    options.modelGbk = model;
    return options;
}

// Trigger, then every block of `payload` (with a verify frame first for firmware); each block at
// its own second. Returns the acknowledgements in order.
std::vector<Bytes> Transfer(Device& device, const Bytes& payload, bool firmware, int startSecond = 0) {
    std::vector<Bytes> acks;
    int second = startSecond;
    auto next = [&second] { return At(milliseconds(1000 * second++)); };
    device.Send(Trigger(), next());
    if (firmware) {
        for (const Bytes& b : device.Exchange(Verify(1, payload), next()))
            acks.push_back(b);
    }
    for (size_t i = 0; i < BlockCount(payload.size()); ++i) {
        for (const Bytes& b : device.Exchange(PayloadBlock(1, payload, i, firmware ? 10001 : 0), next())) {
            acks.push_back(b);
        }
    }
    return acks;
}

}  // namespace

TEST(DeviceSimulatorTest, AnswersTheFixedVectors) {
    SimulatorOptions statusOptions = WithModel("abc");
    statusOptions.statusCode = 0x5A;
    struct Case {
        const char* name;
        SimulatorOptions options;
        std::vector<Bytes> frames;  // the last one's answer is checked
        Bytes reply;
    };
    const std::vector<Case> cases = {
        {"model query", WithModel("abc"), {kModelQuery}, {0x01, 0x69, 0x03, 0x61, 0x62, 0x63, 0x65, 0x10}},
        {"empty model", WithModel(""), {kModelQuery}, WithCrc({0x01, 0x69, 0x00})},
        {"GBK model",
         WithModel("\xB2\xE2\xCA\xD4"),
         {kModelQuery},
         WithCrc({0x01, 0x69, 0x04, 0xB2, 0xE2, 0xCA, 0xD4})},
        {"status query", WithModel("abc"), {kStatusQuery}, WithCrc({0x01, 0x6C, 0x00})},
        {"status code", statusOptions, {kStatusQuery}, WithCrc({0x01, 0x6C, 0x5A})},
        {"verify", {}, {kVerifyAbc}, {0x01, 0x6A, 0x27, 0x10, 0x00, 0x01, 0xD3, 0x72}},
        {"first block", {}, {kVerifyAbc, kBlockAbc}, WithCrc({0x01, 0x6A, 0x27, 0x11, 0x00, 0x01})},
        {"host's address",
         WithModel("abc"),
         {ModelQuery(0x37, 0)},
         WithCrc({0x37, 0x69, 0x03, 0x61, 0x62, 0x63})},
        {"program block", {}, {Block(0xC8, 0, 2, Pattern(50))}, Ack(0xC8, 0, 2)},
    };
    for (const Case& c : cases) {
        Device device(c.options);
        std::vector<Bytes> written;
        for (size_t i = 0; i < c.frames.size(); ++i)
            written = device.Exchange(c.frames[i], At(milliseconds(100 * i)));
        ASSERT_EQ(written.size(), 1u) << c.name;
        EXPECT_EQ(written[0], c.reply) << c.name;
    }
    Device trigger;
    EXPECT_TRUE(trigger.Exchange(Trigger(), At(milliseconds(0))).empty()) << "a trigger gets no answer";
}

TEST(DeviceSimulatorTest, KeepsAFirmwarePayloadAndChecksTheRecord) {
    Device device;
    const Bytes payload = Pattern(101);
    const std::vector<Bytes> acks = Transfer(device, payload, true);
    const std::vector<Bytes> expected = {Ack(1, 10000, 3), Ack(1, 10001, 3), Ack(1, 10002, 3),
                                         Ack(1, 10003, 3)};
    EXPECT_EQ(acks, expected);
    EXPECT_EQ(device.sim.Payload(), payload);
    const SimReport report = device.sim.Report();
    EXPECT_EQ(report.mode, SimTransferMode::Firmware);
    EXPECT_TRUE(report.complete);
    EXPECT_EQ(report.blocksReceived, 3u);
    EXPECT_EQ(report.blocksExpected, 3u);
    EXPECT_EQ(report.numberingErrors, 0u);
    ASSERT_TRUE(report.record);
    EXPECT_TRUE(report.record->AllOk());
    EXPECT_EQ(device.sim.TransfersCompleted(), 1u);
}

TEST(DeviceSimulatorTest, RecordMismatchShowsWhenBlocksDifferFromTheAnnouncement) {
    Device device;
    const Bytes announced = Pattern(60);
    Bytes sent = announced;
    sent[55] ^= 0xFF;  // the second block carries other bytes than the record was made of
    device.Send(Trigger(), At(milliseconds(0)));
    device.Exchange(Verify(1, announced), At(milliseconds(10)));
    device.Exchange(PayloadBlock(1, sent, 0, 10001), At(milliseconds(20)));
    device.Exchange(PayloadBlock(1, sent, 1, 10001), At(milliseconds(30)));
    const SimReport report = device.sim.Report();
    ASSERT_TRUE(report.record);
    EXPECT_TRUE(report.complete);
    EXPECT_TRUE(report.record->length.ok());
    EXPECT_FALSE(report.record->crc.ok());
    EXPECT_FALSE(report.record->sum.ok());
    EXPECT_FALSE(report.record->xorValue.ok());
    EXPECT_FALSE(report.record->AllOk());
}

TEST(DeviceSimulatorTest, ChecksBlockNumbering) {
    const Bytes payload = Pattern(150);  // three blocks
    struct Case {
        const char* name;
        std::vector<size_t> order;  // block indexes in the order sent (program numbering)
        uint32_t received, duplicates, numberingErrors;
        bool complete;
    };
    const std::vector<Case> cases = {
        {"in order", {0, 1, 2}, 3, 0, 0, true},          {"re-sent block", {0, 1, 1, 2}, 3, 1, 0, true},
        {"swapped", {0, 2, 1}, 3, 0, 2, true},           {"gap", {0, 2}, 2, 0, 1, false},
        {"beyond the count", {0, 1, 7}, 2, 0, 1, false},
    };
    for (const Case& c : cases) {
        Device device;
        device.Send(Trigger(), At(milliseconds(0)));
        int ms = 10;
        for (size_t index : c.order) {
            const Bytes frame = index < 3 ? PayloadBlock(1, payload, index, 0) : Block(1, index, 3, {0x01});
            const std::vector<Bytes> acks = device.Exchange(frame, At(milliseconds(ms += 10)));
            ASSERT_EQ(acks.size(), 1u) << c.name;
            EXPECT_EQ(acks[0], Ack(1, static_cast<uint16_t>(index), 3)) << c.name << ": acks echo what came";
        }
        const SimReport report = device.sim.Report();
        EXPECT_EQ(report.mode, SimTransferMode::Program) << c.name;
        EXPECT_EQ(report.blocksReceived, c.received) << c.name;
        EXPECT_EQ(report.duplicateBlocks, c.duplicates) << c.name;
        EXPECT_EQ(report.numberingErrors, c.numberingErrors) << c.name;
        EXPECT_EQ(report.complete, c.complete) << c.name;
        EXPECT_FALSE(report.record) << c.name;
        if (c.complete) {
            EXPECT_EQ(device.sim.Payload(), payload) << c.name;
        }
    }
}

TEST(DeviceSimulatorTest, ReSentBlockReplacesAndCountChangesAreNoted) {
    Device device;
    device.Send(Trigger(), At(milliseconds(0)));
    device.Exchange(Block(1, 0, 2, Bytes(50, 0xAA)), At(milliseconds(10)));
    device.Exchange(Block(1, 0, 2, Bytes(50, 0xBB)), At(milliseconds(20)));
    device.Exchange(Block(1, 1, 3, {0xCC}), At(milliseconds(30)));
    Bytes expected(50, 0xBB);
    expected.push_back(0xCC);
    EXPECT_EQ(device.sim.Payload(), expected);
    const SimReport report = device.sim.Report();
    EXPECT_EQ(report.duplicateBlocks, 1u);
    EXPECT_EQ(report.countMismatches, 1u);
    EXPECT_EQ(report.dataFrames, 3u);
}

TEST(DeviceSimulatorTest, TriggerStartsANewSessionButKeepsTheLastTransferUntilANewOneBegins) {
    Device device;
    const Bytes first = Pattern(70, 5);
    Transfer(device, first, true);
    // A connection test after the update must not wipe what the update delivered.
    device.Send(Trigger(), At(milliseconds(20000)));
    device.Exchange(kModelQuery, At(milliseconds(20150)));
    EXPECT_EQ(device.sim.Payload(), first);
    EXPECT_EQ(device.sim.Report().mode, SimTransferMode::Firmware);

    const Bytes second = Pattern(30, 9);
    Transfer(device, second, false, 30);
    EXPECT_EQ(device.sim.Payload(), second);
    const SimReport report = device.sim.Report();
    EXPECT_EQ(report.mode, SimTransferMode::Program);
    EXPECT_EQ(report.dataFrames, 1u);
    EXPECT_EQ(report.transfersCompleted, 2u);
    EXPECT_EQ(report.framesByKind.at("trigger"), 3u);
}

TEST(DeviceSimulatorTest, HighSpeedReplyWaitsForTheSwitchAndTheRateReturnsAfterTheLastAck) {
    SimulatorOptions options = WithModel("abc");
    options.switchDelay = milliseconds(250);
    Device device(options);
    device.Send(Trigger(), At(milliseconds(0)));
    device.Send(kHighSpeedQuery, At(milliseconds(1000)));
    EXPECT_EQ(device.sim.CurrentRate(), 115200u);
    EXPECT_TRUE(device.Written(At(milliseconds(1249))).empty()) << "a reply before the host's switch is lost";
    EXPECT_EQ(device.Written(At(milliseconds(1250))),
              std::vector<Bytes>{WithCrc({1, 0x69, 3, 'a', 'b', 'c'})});

    const Bytes payload = Pattern(80);
    device.Exchange(kStatusQuery, At(milliseconds(1300)));
    device.Exchange(Verify(1, payload), At(milliseconds(1310)));
    device.Exchange(PayloadBlock(1, payload, 0, 10001), At(milliseconds(1320)));
    EXPECT_EQ(device.sim.CurrentRate(), 115200u);
    device.Exchange(PayloadBlock(1, payload, 1, 10001), At(milliseconds(1330)));
    EXPECT_EQ(device.sim.CurrentRate(), 9600u);
    EXPECT_EQ(device.sim.Report().lastRate, 9600u);

    // A plain query does not switch; a trigger always brings the rate back.
    device.Exchange(kModelQuery, At(milliseconds(2000)));
    EXPECT_EQ(device.sim.CurrentRate(), 9600u);
    device.Send(kHighSpeedQuery, At(milliseconds(3000)));
    device.Send(Trigger(), At(milliseconds(3001)));
    EXPECT_EQ(device.sim.CurrentRate(), 9600u);
}

TEST(DeviceSimulatorTest, PacingTakesTheWireTimeBothWays) {
    SimulatorOptions options = WithModel("abc");
    options.pace = true;
    options.ackDelay = milliseconds(7);
    Device device(options);
    const auto byte9600 = DeviceSimulator::ByteTime(9600);
    const auto byte115200 = DeviceSimulator::ByteTime(115200);
    EXPECT_EQ(byte9600, std::chrono::nanoseconds(1041666));

    // A 59-byte block whose first byte came at 100 ms, read at 101 ms: it is in only after 59
    // byte times; the ack then takes 7 ms of thought and 8 byte times on the wire.
    const SimTime first = At(milliseconds(100));
    device.Send(Block(1, 0, 1, Pattern(50)), first, At(milliseconds(101)));
    const SimTime ackDue = first + (59 + 8) * byte9600 + milliseconds(7);
    ASSERT_TRUE(device.sim.NextDue());
    EXPECT_EQ(*device.sim.NextDue(), ackDue);
    EXPECT_TRUE(device.Written(ackDue - std::chrono::nanoseconds(1)).empty());
    EXPECT_EQ(device.Written(ackDue).size(), 1u);

    // A frame read late is processed when read; one that is in while the device is still sending
    // waits until the device is done.
    device.Send(kStatusQuery, At(milliseconds(200)), At(milliseconds(300)));
    device.Send(kStatusQuery, At(milliseconds(300)) - 19 * byte9600, At(milliseconds(300)));
    const SimTime firstReply = At(milliseconds(300)) + 5 * byte9600;
    EXPECT_EQ(device.Written(firstReply).size(), 1u);
    const SimTime secondReply = firstReply + 5 * byte9600;
    EXPECT_TRUE(device.Written(secondReply - std::chrono::nanoseconds(1)).empty());
    EXPECT_EQ(device.Written(secondReply).size(), 1u);

    // At 115200 the reply of the switch query is paced at the new rate.
    device.Send(kHighSpeedQuery, At(milliseconds(1000)));
    const SimTime modelDue = At(milliseconds(1000)) + 8 * byte9600 + options.switchDelay + 8 * byte115200;
    EXPECT_EQ(*device.sim.NextDue(), modelDue);
}

TEST(DeviceSimulatorTest, SilentAndStrayByteFaults) {
    SimulatorOptions silent = WithModel("abc");
    silent.silent = true;
    Device quiet(silent);
    EXPECT_TRUE(Transfer(quiet, Pattern(60), true).empty());
    EXPECT_TRUE(quiet.Exchange(kModelQuery, At(milliseconds(9000))).empty());
    EXPECT_EQ(quiet.sim.Payload(), Pattern(60)) << "a silent device still listens";

    SimulatorOptions stray = WithModel("abc");
    stray.strayByte = true;
    Device device(stray);
    const Bytes reply = WithCrc({1, 0x69, 3, 'a', 'b', 'c'});
    Bytes withStray = reply;
    withStray.insert(withStray.begin(), 0x00);
    EXPECT_EQ(device.Exchange(kModelQuery, At(milliseconds(0))), std::vector<Bytes>{reply})
        << "no trigger yet";
    device.Send(Trigger(), At(milliseconds(100)));
    EXPECT_EQ(device.Exchange(kModelQuery, At(milliseconds(200))), std::vector<Bytes>{withStray});
    EXPECT_EQ(device.Exchange(kModelQuery, At(milliseconds(300))), std::vector<Bytes>{reply});
    device.Send(Trigger(), At(milliseconds(400)));
    EXPECT_EQ(device.Exchange(kModelQuery, At(milliseconds(500))), std::vector<Bytes>{withStray});
}

TEST(DeviceSimulatorTest, FaultyAckIsFollowedByTheCorrectOneOnce) {
    struct Case {
        const char* name;
        bool firmware;
        bool wrongNumber;
        Bytes faulty;  // what block 2 is first acknowledged with
        Bytes correct;
    };
    const std::vector<Case> cases = {
        {"program number", false, true, Ack(1, 0, 3), Ack(1, 1, 3)},
        {"program count", false, false, Ack(1, 1, 4), Ack(1, 1, 3)},
        {"firmware number", true, true, Ack(1, 9999, 3), Ack(1, 10002, 3)},
        {"firmware count", true, false, Ack(1, 10002, 4), Ack(1, 10002, 3)},
    };
    const Bytes payload = Pattern(150);
    for (const Case& c : cases) {
        SimulatorOptions options;
        (c.wrongNumber ? options.wrongNumberAt : options.wrongCountAt) = 2;
        options.recoverDelay = milliseconds(200);
        Device device(options);
        const uint16_t base = c.firmware ? 10001 : 0;
        device.Send(Trigger(), At(milliseconds(0)));
        if (c.firmware)
            device.Exchange(Verify(1, payload), At(milliseconds(10)));
        device.Exchange(PayloadBlock(1, payload, 0, base), At(milliseconds(20)));
        device.Send(PayloadBlock(1, payload, 1, base), At(milliseconds(1000)));
        EXPECT_EQ(device.Written(At(milliseconds(1199))), std::vector<Bytes>{c.faulty}) << c.name;
        EXPECT_EQ(device.Written(At(milliseconds(1200))), std::vector<Bytes>{c.correct}) << c.name;
        // Once a run: the same ordinal in the next session is acknowledged plainly.
        device.Send(Trigger(), At(milliseconds(2000)));
        device.Exchange(PayloadBlock(1, payload, 0, base), At(milliseconds(2010)));
        EXPECT_EQ(device.Exchange(PayloadBlock(1, payload, 1, base), At(milliseconds(2020))),
                  std::vector<Bytes>{c.correct})
            << c.name;
    }
}

TEST(DeviceSimulatorTest, CorrectionIsWithdrawnWhenTheHostTookTheFaultyAck) {
    // A firmware host ignores the count, takes the faulty ack and sends the next block at once; a
    // late correction would then be read as the ack of that block.
    SimulatorOptions options;
    options.wrongCountAt = 1;
    Device device(options);
    const Bytes payload = Pattern(150);
    device.Send(Trigger(), At(milliseconds(0)));
    device.Exchange(Verify(1, payload), At(milliseconds(10)));
    device.Send(PayloadBlock(1, payload, 0, 10001), At(milliseconds(20)));
    EXPECT_EQ(device.Written(At(milliseconds(20))), std::vector<Bytes>{Ack(1, 10001, 4)});
    device.Send(PayloadBlock(1, payload, 1, 10001), At(milliseconds(25)));
    EXPECT_EQ(device.Written(At(milliseconds(5000))), std::vector<Bytes>{Ack(1, 10002, 3)});
}

TEST(DeviceSimulatorTest, DroppedAckAndHangUp) {
    const Bytes payload = Pattern(150);
    SimulatorOptions drop;
    drop.dropAckAt = 2;
    Device dropping(drop);
    dropping.Send(Trigger(), At(milliseconds(0)));
    EXPECT_EQ(dropping.Exchange(PayloadBlock(1, payload, 0, 0), At(milliseconds(10))).size(), 1u);
    EXPECT_TRUE(dropping.Exchange(PayloadBlock(1, payload, 1, 0), At(milliseconds(20))).empty());
    EXPECT_FALSE(dropping.sim.NextDue());
    // The host gives up and starts again: this time block 2 is acknowledged.
    EXPECT_EQ(Transfer(dropping, payload, false, 10).size(), 3u);

    SimulatorOptions hangup;
    hangup.hangupAt = 2;
    hangup.pace = true;
    Device hanging(hangup);
    hanging.Send(Trigger(), At(milliseconds(0)));
    hanging.Send(kHighSpeedQuery, At(milliseconds(1000)));
    hanging.Written(At(milliseconds(2000)));
    hanging.Exchange(PayloadBlock(1, payload, 0, 0), At(milliseconds(2010)));
    EXPECT_FALSE(hanging.hungUp);
    const std::vector<Bytes> written =
        hanging.Exchange(PayloadBlock(1, payload, 1, 0), At(milliseconds(2020)));
    EXPECT_EQ(written, std::vector<Bytes>{Bytes{}}) << "a hang-up and no ack";
    EXPECT_TRUE(hanging.hungUp);
    hanging.sim.OnLineReset();
    EXPECT_EQ(hanging.sim.CurrentRate(), 9600u);
    hanging.hungUp = false;
    EXPECT_EQ(Transfer(hanging, payload, false, 10).size(), 3u);
    EXPECT_FALSE(hanging.hungUp) << "the cable is pulled once";
}
