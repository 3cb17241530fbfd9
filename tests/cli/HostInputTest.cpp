// What orvane-cli test/program/firmware make of bad input: wrong arguments, unusable files, ports
// that are not there or are held. Each run ends with one line on stderr that says why, the
// documented exit code, and nothing sent to the device.
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

#include "tests/cli/CliFixture.h"

class HostInput : public CliTest {};

TEST_F(HostInput, RefusedRunsSayWhyInOneLineAndSendNothing) {
    SimulatedDevice device({"--summary", Path("summary.json").string()});
    ASSERT_TRUE(device.Ready());
    const std::string port = device.Port();

    std::filesystem::create_directory(Path("folder.tr3"));
    Bytes corrupt = Read(Image("good.trs", RandomBytes(300)));
    corrupt[274 + 100] ^= 0x01;  // one payload bit
    const std::string corruptImage = Write("corrupt.trs", corrupt);
    const std::string empty = Write("empty.tr3", {});
    const std::string tooBig = Write("big.tr3", Bytes(200001, 0x5A));
    const std::string good = Write("good.tr3", RandomBytes(100));
    const std::string notes = Write("notes.txt", {'h', 'i'});
    const std::string image = Image("fw.trs", RandomBytes(100));
    const std::string renamedImage = Write("fw.tr3", Read(image));
    const std::string payload = Write("payload.bin", RandomBytes(100));

    struct Case {
        std::vector<std::string> args;
        int exitCode;
        std::string says;
    };
    const Case cases[] = {
        {{"program", Path("missing.tr3").string(), "--port", port}, 2, "does not exist"},
        {{"program", Path("folder.tr3").string(), "--port", port}, 2, "is a folder"},
        {{"firmware", corruptImage, "--port", port}, 2, "固件校验错误，加载固件文件失败"},
        {{"program", empty, "--port", port}, 2, "程序文件大小无效 (0或超过200000字节)"},
        {{"program", tooBig, "--port", port}, 2, "程序文件大小无效 (0或超过200000字节)"},
        {{"test", "--port", "COM200"}, 2, "COM200 does not exist"},
        {{"test", "--port", "COM0"}, 2, "port numbers go from COM1 to COM256"},
        {{"test", "--port", Path("no-such-tty").string()}, 2, "does not exist"},
        {{"test", "--port", notes}, 2, notes + " is a regular file, not a serial line"},
        {{"program", good, "--port", port, "--bogus"}, 2, "unknown option '--bogus'"},
        {{"test", "--port", port, "--address", "300"}, 2, "--address takes a number from 0 to 255"},
        {{"firmware", "x.trs", "--port", port, "--baud", "57600"}, 2, "--baud takes 9600 or 115200"},
        {{"program", good, "--port", port, "--timeout", "0"}, 2, "--timeout takes a number of seconds"},
        {{"program", good}, 2, "--port, --ports or --all-ports is required"},
        {{"program", "--port", port}, 2, "the program file (.tr3) is missing"},
        {{"program", good, good, "--port", port}, 2, "unexpected argument"},
        {{"bogus"}, 2, "unknown command 'bogus'"},
        // A file picked for the other command, or a firmware image renamed to a program.
        {{"program", image, "--port", port},
         2,
         "fw.trs is a firmware image (.trs): send it with 'orvane-cli firmware'"},
        {{"firmware", good, "--port", port},
         2,
         "good.tr3 is a program file (.tr3): send it with 'orvane-cli program'"},
        {{"program", renamedImage, "--port", port}, 2, "fw.tr3 starts like a firmware image"},
        {{"program", payload, "--port", port},
         2,
         "payload.bin is no program file (.tr3) (--force sends it anyway)"},
        {{"firmware", payload, "--port", port}, 2, "'orvane-cli image pack' makes one"},
        {{"test", "--port", port, "--record", "a", "--record", "b"}, 2, "--record is given more than once"},
        {{"test", "--ports", "COM1-COM300"}, 2, "port numbers go from COM1 to COM256, not 'COM1-COM300'"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.args));
        const CliRun run = RunCli(c.args, kHostRunLimit);
        EXPECT_EQ(run.exitCode, c.exitCode) << run.out << run.err;
        const std::vector<std::string> err = Lines(run.err);
        ASSERT_EQ(err.size(), 1u) << run.err;
        EXPECT_TRUE(Contains(err[0], c.says)) << err[0];
    }
    ASSERT_EQ(device.Stop(), 0);
    EXPECT_EQ(SummaryNumber(Path("summary.json"), "trigger"), 0);
    EXPECT_EQ(SummaryNumber(Path("summary.json"), "dataFrames"), 0);

    // --force sends it all the same: the whole image, header included, as a program.
    SimulatedDevice forced({"--save", Path("saved.bin").string()});
    ASSERT_TRUE(forced.Ready());
    const CliRun run = RunCli({"program", image, "--port", forced.Port(), "--force"}, kHostRunLimit);
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    ASSERT_EQ(forced.Stop(), 0);
    EXPECT_EQ(Read(Path("saved.bin")), Read(image));
}

// A port somebody else holds is refused with exit 2 (nothing was sent), whether the holder is any program
// with a lock on the device or a running update; the update is not disturbed. Each hold lasts until the test
// ends it: the lock is the test's own, and the device under update is stopped before the update starts, so
// that the update waits for its first acknowledgement (a day at the most) until the test lets the device go
// on.
TEST_F(HostInput, HeldPortIsRefusedAndLeftAlone) {
    SimulatedDevice device;
    ASSERT_TRUE(device.Ready());

    const int fd = ::open(device.Device().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
    CliRun run = RunCli({"test", "--port", device.Port()}, kHostRunLimit);
    EXPECT_EQ(run.exitCode, 2) << run.out << run.err;
    EXPECT_EQ(Lines(run.err).size(), 1u) << run.err;
    EXPECT_TRUE(Contains(run.err, "is held by another program")) << run.err;
    // The lock's holder is named, not merely some process that has the device open (the
    // simulator itself keeps it open).
    EXPECT_TRUE(Contains(run.err, "(pid " + std::to_string(::getpid()) + ")")) << run.err;
    ::close(fd);
    run = RunCli({"test", "--port", device.Port()}, kHostRunLimit);
    EXPECT_EQ(run.exitCode, 0) << "free again once the lock is gone: " << run.out << run.err;

    SimulatedDevice stalled(
        {"--save", Path("saved.bin").string(), "--summary", Path("summary.json").string()});
    ASSERT_TRUE(stalled.Ready());
    stalled.Pause();
    const Bytes payload = RandomBytes(2000);
    CliProcess update({"program", Write("p.tr3", payload), "--port", stalled.Port(), "--timeout", "86400"});
    // The update holds its port from before it logs its start until it ends.
    bool started = false;
    for (std::optional<std::string> line; !started && (line = update.NextLine(kHostRunLimit));)
        started = *line == "开始程序更新";
    ASSERT_TRUE(started) << update.Out() << update.Err();
    run = RunCli({"test", "--port", stalled.Port()}, kHostRunLimit);
    stalled.Resume();
    EXPECT_EQ(run.exitCode, 2) << run.out << run.err;
    EXPECT_TRUE(Contains(run.err, "is held by another program: orvane-cli (pid")) << run.err;
    EXPECT_EQ(update.Wait(kHostRunLimit), 0) << update.Out() << update.Err();
    ASSERT_EQ(stalled.Stop(), 0);
    EXPECT_EQ(Read(Path("saved.bin")), payload);
    // The refused run sent nothing: the one trigger is the update's, and no model query came.
    EXPECT_EQ(SummaryNumber(Path("summary.json"), "trigger"), 1);
    EXPECT_EQ(SummaryNumber(Path("summary.json"), "modelQuery"), 0);
    ASSERT_EQ(device.Stop(), 0);
}

// A station run with one port named 300 times and one held among free ones: the repeats are said in one
// line and
// the device updated once, the held port is refused with its holder named, and the others complete.
TEST_F(HostInput, RepeatedAndHeldPortsInAStationEachGetTheirLine) {
    SimulatedDevice rack({"--count", "3", "--device", "1:--summary=" + Path("s1.json").string(), "--device",
                          "3:--summary=" + Path("s3.json").string()},
                         3);
    ASSERT_TRUE(rack.Ready());
    const std::vector<std::string> ports = rack.Ports();
    const int fd = ::open(rack.Devices()[1].c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
    const std::string again = ports[0].substr(3);  // the same port by its number
    std::vector<std::string> args = {
        "program", Write("p.tr3", RandomBytes(500)), "--port", ports[0], "--port", ports[1], "--port",
        ports[2]};
    for (int i = 0; i < 299; ++i)
        args.insert(args.end(), {"--port", i % 2 == 0 ? again : ports[0]});
    const CliRun run = RunCli(args, kHostRunLimit);
    ::close(fd);
    EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
    EXPECT_EQ(Count(run.err, "is listed"), 1u) << run.err;
    EXPECT_TRUE(
        Contains(run.err, "[" + ports[0] + "] " + ports[0] + " is listed 300 times; it is updated once"))
        << run.err;
    EXPECT_TRUE(Contains(run.out, "is held by another program")) << run.out;
    EXPECT_EQ(Count(run.out, "] 更新完成！"), 2u) << run.out;
    ASSERT_EQ(rack.Stop(), 0);
    EXPECT_EQ(SummaryNumber(Path("s1.json"), "dataFrames"), 10);
    EXPECT_EQ(SummaryNumber(Path("s1.json"), "trigger"), 1);
    EXPECT_EQ(SummaryNumber(Path("s3.json"), "dataFrames"), 10);
}

TEST_F(HostInput, EveryCommandExplainsItself) {
    for (const char* command : {"test", "program", "firmware", "ports", "image", "simulate"}) {
        SCOPED_TRACE(command);
        const CliRun run = RunCli({command, "--help"}, kHostRunLimit);
        EXPECT_EQ(run.exitCode, 0) << run.err;
        EXPECT_EQ(run.out.rfind("usage: orvane-cli " + std::string(command), 0), 0u) << run.out;
        EXPECT_EQ(run.err, "");
    }
}

// A range with a fixture missing names the absent ports in one line; --expect N refuses, before
// anything is sent, a run that does not have exactly N devices.
TEST_F(HostInput, ARangeNamesItsAbsentPortsAndExpectCountsTheDevices) {
    SimulatedDevice rack({"--count", "3", "--device", "1:--summary=" + Path("s1.json").string(), "--device",
                          "3:--summary=" + Path("s3.json").string()},
                         3);
    ASSERT_TRUE(rack.Ready());
    const std::vector<std::string> ports = rack.Ports();
    const std::string above = "COM" + std::to_string(std::stoi(ports[2].substr(3)) + 1);
    const std::string range = ports[0] + "-" + above;
    const std::string absent = "not present in " + range + ": " + above;

    CliRun run = RunCli({"test", "--ports", range, "--expect", "4"}, kHostRunLimit);
    EXPECT_EQ(run.exitCode, 2) << run.out << run.err;
    EXPECT_TRUE(Contains(run.err, "--expect 4, but 3 devices are there: " + ports[0] + "-" + ports[2]))
        << run.err;
    EXPECT_EQ(Count(run.err, absent), 1u) << run.err;
    run = RunCli({"test", "--port", ports[0], "--expect", "2"}, kHostRunLimit);
    EXPECT_EQ(run.exitCode, 2) << run.out << run.err;
    EXPECT_EQ(Lines(run.err).size(), 1u) << run.err;
    ASSERT_EQ(rack.Stop(), 0);
    EXPECT_EQ(SummaryNumber(Path("s1.json"), "trigger"), 0) << "nothing sent";
    EXPECT_EQ(SummaryNumber(Path("s3.json"), "trigger"), 0) << "nothing sent";

    SimulatedDevice again({"--count", "3"}, 3);
    ASSERT_TRUE(again.Ready());
    ASSERT_EQ(again.Ports(), ports);
    run = RunCli({"test", "--ports", range}, kHostRunLimit);
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_EQ(Lines(run.err), std::vector<std::string>{absent});
    run = RunCli({"test", "--ports", range, "--expect", "3"}, kHostRunLimit);
    EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
    EXPECT_EQ(again.Stop(), 0);
}
