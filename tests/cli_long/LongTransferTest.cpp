// The largest files a technician sends, end to end through orvane-cli and the simulated device: a
// full program (4000 blocks) and a 1 MB firmware at 115200 (20000 blocks). Minutes each, so they
// have their own executable and the label "long".
#include "tests/cli/CliFixture.h"

// Each block is a round trip between two processes, so a busy machine stretches a transfer of
// thousands of them to many minutes; only a hung one reaches this (scaled for the build, below
// CTest's time-out for the test).
constexpr std::chrono::minutes kTransferLimit{25};

class LongTransfer : public CliTest {
protected:
    void SendAndCompare(const std::string& command, size_t size, const std::vector<std::string>& extra) {
        const Bytes payload = RandomBytes(size, 3);
        const std::string file = command == "program" ? Write("p.tr3", payload) : Image("f.trs", payload);
        SimulatedDevice device(
            {"--save", Path("saved.bin").string(), "--summary", Path("summary.json").string()});
        ASSERT_TRUE(device.Ready());
        std::vector<std::string> args = {command, file, "--port", device.Port(), "--timeout", "10"};
        args.insert(args.end(), extra.begin(), extra.end());
        const CliRun run = RunCli(args, kTransferLimit);
        EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
        RecordProperty("seconds", std::to_string(run.elapsed.count()));
        ASSERT_EQ(device.Stop(), 0);
        EXPECT_TRUE(Read(Path("saved.bin")) == payload) << "the device received something else";
        EXPECT_EQ(SummaryNumber(Path("summary.json"), "duplicateBlocks"), 0);
        EXPECT_EQ(SummaryNumber(Path("summary.json"), "numberingErrors"), 0);
        EXPECT_EQ(SummaryNumber(Path("summary.json"), "lastRate"), 9600);
    }
};

TEST_F(LongTransfer, FullProgramArrivesByteForByte) {
    SendAndCompare("program", 200000, {});
}

TEST_F(LongTransfer, MegabyteFirmwareAt115200ArrivesByteForByte) {
    SendAndCompare("firmware", 1000000, {"--baud", "115200"});
}
