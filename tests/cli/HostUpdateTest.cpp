// orvane-cli test/program/firmware against the simulated device, each a process of its own: what
// arrives at the device, how faults on the line end a run, and the exit code a script sees. Faults
// no real line can be made to show on cue run the host's session in this process instead.
#include <QJsonDocument>
#include <QJsonObject>
#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>
#include <set>

#include <fcntl.h>
#include <poll.h>
#include <spawn.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <regex>

#include "protocol/Protocol.h"
#include "tests/cli/CliFixture.h"
#include "tests/support/FaultyCommApi.h"
#include "tests/support/TestTime.h"
#include "tools/cli/HostSession.h"

using namespace std::chrono_literals;

namespace {

// The host's silence time-out in runs where healthy devices take part: long enough that no pause of
// a busy machine passes for silence, scaled like every limit.
const std::chrono::seconds kSilence = test_time::Limit(2s);

std::string SecondsArgument(std::chrono::seconds seconds) {
    return std::to_string(seconds.count());
}

}  // namespace

class HostUpdate : public CliTest {};

extern char** environ;

namespace {

struct TerminalRun {
    int exitCode = -1;
    std::string terminal;  // everything written to the pseudo-terminal, in order
    std::string out;       // standard output, when it went to a pipe
};

// Runs orvane-cli with standard error, and with `stdoutToo` standard output as well, on a
// pseudo-terminal `columns` wide, as a technician's terminal would be; the rest goes to a pipe.
TerminalRun RunOnTerminal(const std::vector<std::string>& args, bool stdoutToo, unsigned short columns) {
    TerminalRun run;
    const int master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);  // closed by the reading below
    if (master < 0 || ::grantpt(master) != 0 || ::unlockpt(master) != 0)
        return run;
    const int slave = ::open(::ptsname(master), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios raw{};
    ::tcgetattr(slave, &raw);
    ::cfmakeraw(&raw);  // the bytes as written, newlines not turned into CR LF
    ::tcsetattr(slave, TCSANOW, &raw);
    const winsize size{24, columns, 0, 0};
    ::ioctl(slave, TIOCSWINSZ, &size);
    int out[2];
    if (::pipe2(out, O_CLOEXEC) != 0)
        return run;
    std::vector<std::string> all = {ORVANE_CLI};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, stdoutToo ? slave : out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, slave, STDERR_FILENO);
    pid_t pid = -1;
    const bool started = ::posix_spawn(&pid, argv[0], &actions, nullptr, argv.data(), environ) == 0;
    posix_spawn_file_actions_destroy(&actions);
    ::close(slave);
    ::close(out[1]);
    // Both ends are read until they end: the pty reports EIO once the last writer has closed it.
    int ends[2] = {master, out[0]};
    std::string* into[2] = {&run.terminal, &run.out};
    while (started && (ends[0] >= 0 || ends[1] >= 0)) {
        pollfd fds[2] = {{ends[0], POLLIN, 0}, {ends[1], POLLIN, 0}};
        if (::poll(fds, 2, static_cast<int>(kHostRunLimit.count())) <= 0)
            break;
        for (int i = 0; i < 2; ++i) {
            if (ends[i] < 0 || fds[i].revents == 0)
                continue;
            char buffer[4096];
            const ssize_t n = ::read(ends[i], buffer, sizeof buffer);
            if (n > 0) {
                into[i]->append(buffer, static_cast<size_t>(n));
            } else if (n == 0 || errno != EINTR) {
                ::close(ends[i]);
                ends[i] = -1;
            }
        }
    }
    for (int end : ends) {
        if (end >= 0)
            ::close(end);
    }
    int status = 0;
    if (started && ::waitpid(pid, &status, 0) == pid)
        run.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    return run;
}

}  // namespace

// Every addressed frame carries the address given, on the host's side and as the device saw it.
TEST_F(HostUpdate, TransfersArriveWholeWithTheAddressInEveryFrame) {
    struct Case {
        const char* name;
        const char* command;
        std::vector<std::string> extra;
        const char* addressHex;
    };
    const Case cases[] = {
        {"program, default address", "program", {}, "01"},
        {"program, address 7", "program", {"--address", "7"}, "07"},
        {"program, address 0", "program", {"--address", "0"}, "00"},
        {"firmware at 115200, address 200", "firmware", {"--address", "200", "--baud", "115200"}, "C8"},
        {"firmware at 9600, address 7", "firmware", {"--address", "7"}, "07"},
    };
    const Bytes payload = RandomBytes(480);  // 10 blocks, the last one short
    const std::string program = Write("p.tr3", payload);
    const std::string image = Image("f.trs", payload);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SimulatedDevice device({"--verbose", "--save", Path("saved.bin").string()});
        ASSERT_TRUE(device.Ready());
        std::vector<std::string> args = {c.command, c.command == std::string("program") ? program : image,
                                         "--port", device.Port(), "--debug"};
        args.insert(args.end(), c.extra.begin(), c.extra.end());
        const CliRun run = RunCli(args, kHostRunLimit);
        EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
        ASSERT_EQ(device.Stop(), 0);
        EXPECT_EQ(Read(Path("saved.bin")), payload);

        size_t hostFrames = 0;
        for (const std::string& line : Lines(run.out)) {
            const std::string dump = "DEBUG：发送数据报文：";
            if (line.rfind(dump, 0) != 0 || line.rfind(dump + "FF 00 FF 00 AA 55", 0) == 0)
                continue;
            ++hostFrames;
            EXPECT_EQ(line.substr(dump.size(), 2), c.addressHex) << line;
        }
        size_t deviceFrames = 0, deviceBlocks = 0;
        for (const std::string& line : Lines(device.Err())) {
            if (line.rfind("rx ", 0) != 0 || line.rfind("rx trigger", 0) == 0)
                continue;
            ++deviceFrames;
            deviceBlocks += line.rfind("rx dataBlock: ", 0) == 0;
            EXPECT_EQ(line.substr(line.find(": ") + 2, 2), c.addressHex) << line;
        }
        EXPECT_EQ(deviceBlocks, 10u);
        EXPECT_EQ(deviceFrames, hostFrames) << "no frame lost or made up on the way";
    }
}

// A device that stops answering ends the run with exit 3 after the time-out, not before, and the
// host stops sending; a healthy device is never taken for a silent one while the host itself waits.
// How soon after the time-out a run ends depends on the machine: the upper bound only shows that it
// ended by the time-out rather than hung.
TEST_F(HostUpdate, SilenceEndsTheRunAfterTheTimeOut) {
    struct Case {
        const char* name;
        std::vector<std::string> simulator;
        std::vector<std::string> host;  // {command, file...}; the port is added
        int exitCode;
        std::chrono::milliseconds earliest;  // the run may not end before
        std::string reason;                  // the one line on stderr, or else the last log line
        long dataFrames;                     // as the device counted them
    };
    const std::chrono::milliseconds kEndsWithin = test_time::Limit(10s);
    // The connection test's own time-out, and the host's wait before its model query.
    constexpr std::chrono::milliseconds kTestTimeOut = 3s, kTriggerWait = 1s, kEarly = 100ms;
    const std::string timeout = SecondsArgument(kSilence);
    const std::string tr3 = Write("p.tr3", RandomBytes(1000));
    const std::string trs = Image("f.trs", RandomBytes(1000));
    const std::vector<std::string> silent = {"--silent"}, dropAck = {"--drop-ack-at", "3"};
    const std::vector<std::string> program = {"program", tr3, "--timeout", timeout};
    const std::vector<std::string> firmware = {"firmware", trs, "--timeout", timeout};
    const std::vector<std::string> fastFirmware = {
        "firmware", trs, "--baud", "115200", "--timeout", SecondsArgument(test_time::Limit(1s))};
    const std::string quiet = "the device sent nothing for " + timeout + " s; the update was stopped";
    const std::string done = "更新完成！", noReply = "警告：连接测试超时，未收到设备回复";
    const auto silence = kSilence - kEarly;
    const Case cases[] = {
        {"test, silent device", silent, {"test"}, 3, kTestTimeOut - kEarly, noReply, 0},
        {"program, silent device", silent, program, 3, silence, quiet, 1},
        {"program, no ack", dropAck, program, 3, silence, quiet, 3},
        {"firmware, no ack", dropAck, firmware, 3, kTriggerWait + kSilence, quiet, 3},
        // The device says nothing for the second the host waits before its model query, and takes
        // a quarter second to switch to 115200; neither is silence, even with a time-out that short.
        {"healthy device", {}, fastFirmware, 0, kTriggerWait, done, 20},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::vector<std::string> options = c.simulator;
        options.insert(options.end(), {"--summary", Path("summary.json").string()});
        SimulatedDevice device(options);
        ASSERT_TRUE(device.Ready());
        std::vector<std::string> args = c.host;
        args.insert(args.end(), {"--port", device.Port()});
        const CliRun run = RunCli(args, kHostRunLimit);
        EXPECT_EQ(run.exitCode, c.exitCode) << run.out << run.err;
        EXPECT_GE(run.elapsed, c.earliest);
        EXPECT_LE(run.elapsed, c.earliest + kEndsWithin);
        const std::vector<std::string> errLines = Lines(run.err), outLines = Lines(run.out);
        if (!errLines.empty()) {
            EXPECT_EQ(errLines, std::vector<std::string>{c.reason});
        } else {
            ASSERT_FALSE(outLines.empty());
            EXPECT_EQ(outLines.back(), c.reason);
        }
        ASSERT_EQ(device.Stop(), 0);
        EXPECT_EQ(SummaryNumber(Path("summary.json"), "dataFrames"), c.dataFrames);
    }
}

// The device acknowledges one block wrongly, then rightly: the program update logs the mismatch once
// and goes on; the firmware update ignores a number below its range. Nothing is lost or doubled.
TEST_F(HostUpdate, AWrongAckIsReportedAndTheRightOneContinues) {
    struct Case {
        const char* name;
        const char* command;
        const char* fault;
        const char* logged;  // empty: nothing to report
    };
    const Case cases[] = {
        {"program, wrong number", "program", "--wrong-number-at", "错误：块号不匹配: 期望2, 收到1"},
        {"program, wrong count", "program", "--wrong-count-at", "错误：总块数不匹配: 期望10, 收到11"},
        {"firmware, wrong number", "firmware", "--wrong-number-at", ""},
    };
    const Bytes payload = RandomBytes(500, 7);
    const std::string program = Write("p.tr3", payload);
    const std::string image = Image("f.trs", payload);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SimulatedDevice device({c.fault, "3", "--save", Path("saved.bin").string()});
        ASSERT_TRUE(device.Ready());
        const bool isProgram = c.command == std::string("program");
        const CliRun run =
            RunCli({c.command, isProgram ? program : image, "--port", device.Port(), "--timeout", "5"},
                   kHostRunLimit);
        EXPECT_EQ(run.exitCode, 0) << run.out << run.err;
        EXPECT_EQ(Count(run.out, "不匹配"), *c.logged ? 1u : 0u) << run.out;
        EXPECT_TRUE(!*c.logged || Contains(run.out, c.logged)) << run.out;
        ASSERT_EQ(device.Stop(), 0);
        EXPECT_EQ(Read(Path("saved.bin")), payload);
    }
}

// A cable pulled mid-transfer: a clear error at once (not after the time-out), no crash, and the
// port works again when the line comes back. The host's time-out is a day: a run that only noticed
// the loss by its time-out would be killed at the run limit instead of ending with exit 1.
TEST_F(HostUpdate, HangUpMidTransferFailsCleanlyAndThePortRecovers) {
    SimulatedDevice device({"--hangup-at", "5"});
    ASSERT_TRUE(device.Ready());
    const std::string port = device.Port();
    const CliRun run = RunCli(
        {"program", Write("p.tr3", RandomBytes(1000)), "--port", port, "--timeout", "86400"}, kHostRunLimit);
    EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
    const std::vector<std::string> err = Lines(run.err);
    ASSERT_EQ(err.size(), 1u) << run.err;
    EXPECT_TRUE(Contains(err[0], "the serial line failed")) << err[0];

    ASSERT_TRUE(device.AwaitReady());
    EXPECT_EQ(device.Port(), port);
    const CliRun test = RunCli({"test", "--port", port}, kHostRunLimit);
    EXPECT_EQ(test.exitCode, 0) << test.out << test.err;
    EXPECT_TRUE(Contains(test.out, "设备型号: ORV-SIM")) << test.out;
    EXPECT_EQ(device.Stop(), 0);
}

TEST_F(HostUpdate, ChipModelMismatchStopsBeforeAnyData) {
    SimulatedDevice device({"--model", "OTHER", "--summary", Path("summary.json").string()});
    ASSERT_TRUE(device.Ready());
    const CliRun run =
        RunCli({"firmware", Image("f.trs", RandomBytes(500)), "--port", device.Port()}, kHostRunLimit);
    EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
    EXPECT_TRUE(Contains(run.out, "错误：错误！！！设备芯片型号与固件对应芯片型号不符，不能进行固件更新！"))
        << run.out;
    ASSERT_EQ(device.Stop(), 0);
    EXPECT_EQ(SummaryNumber(Path("summary.json"), "modelQuery"), 1);
    EXPECT_EQ(SummaryNumber(Path("summary.json"), "verify"), 0);
    EXPECT_EQ(SummaryNumber(Path("summary.json"), "dataFrames"), 0);

    // The reason a script and the station record get is the mismatch, not the "stopped" after it.
    SimulatedDevice other({"--model", "OTHER"});
    ASSERT_TRUE(other.Ready());
    const CliRun json =
        RunCli({"firmware", Path("f.trs").string(), "--port", other.Port(), "--json"}, kHostRunLimit);
    ASSERT_FALSE(json.out.empty());
    EXPECT_TRUE(
        Contains(Lines(json.out).back(), "\"message\":\"错误！！！设备芯片型号与固件对应芯片型号不符"))
        << json.out;
    EXPECT_EQ(other.Stop(), 0);
}

// A station of four: one device silent, one hanging up mid-transfer, two healthy. The healthy ones
// complete byte-identical, the others end by their own fault without touching them; the table, the
// JSON results and the station record name every outcome, and the run exits 1. Run twice, text
// then JSON, both appending to one record.
TEST_F(HostUpdate, FourDevicesAtOnceEachEndByItsOwnFault) {
    const Bytes payload = RandomBytes(1500);  // 30 blocks
    const std::string program = Write("p.tr3", payload);
    const std::string record = Path("station.jsonl").string();
    const std::vector<std::string> outcomes = {"completed", "timeout", "line-lost", "completed"};
    std::multiset<std::string> recordedPorts;
    for (const bool json : {false, true}) {
        SCOPED_TRACE(json ? "json" : "text");
        Write("s1.bin", {});
        Write("s4.bin", {});
        SimulatedDevice rack({"--count", "4", "--ack-delay", "5", "--device",
                              "1:--save=" + Path("s1.bin").string(), "--device", "2:--silent", "--device",
                              "3:--hangup-at 5", "--device", "4:--save=" + Path("s4.bin").string()},
                             4);
        ASSERT_TRUE(rack.Ready());
        const std::vector<std::string> ports = rack.Ports();
        for (size_t i = 1; i < ports.size(); ++i)
            EXPECT_EQ(std::stoi(ports[i].substr(3)), std::stoi(ports[0].substr(3)) + static_cast<int>(i));
        std::vector<std::string> args = {"program",  program, "--timeout", SecondsArgument(kSilence),
                                         "--record", record};
        // The same four named one by one, and as a range.
        if (json) {
            args.insert(args.end(), {"--ports", ports.front() + "-" + ports.back(), "--json"});
        } else {
            for (const std::string& port : ports)
                args.insert(args.end(), {"--port", port});
        }
        const CliRun run = RunCli(args, kHostRunLimit);
        EXPECT_EQ(run.exitCode, 1) << run.out << run.err;
        EXPECT_EQ(rack.Stop(), 0);
        EXPECT_EQ(Read(Path("s1.bin")), payload);
        EXPECT_EQ(Read(Path("s4.bin")), payload);
        recordedPorts.insert(ports.begin(), ports.end());

        const std::vector<std::string> lines = Lines(run.out);
        if (!json) {
            const auto table = std::find_if(lines.begin(), lines.end(), [](const std::string& line) {
                return line.rfind("port ", 0) == 0;
            });
            // The table, a blank line, the outcome in one sentence, and the retry command.
            ASSERT_EQ(lines.end() - table, 9) << run.out;
            EXPECT_EQ(table[5], "");
            EXPECT_EQ(table[6].rfind("4 devices: 2 completed; ", 0), 0u) << table[6];
            EXPECT_EQ(table[7], "retry the others with:");
            for (size_t i = 0; i < ports.size(); ++i) {
                const std::string& row = table[static_cast<std::ptrdiff_t>(i) + 1];
                EXPECT_EQ(row.rfind(ports[i] + " ", 0), 0u) << row;
                EXPECT_TRUE(Contains(row, " " + outcomes[i] + " ")) << row;
                EXPECT_EQ(Contains(row, "1500"), outcomes[i] == "completed") << row;
            }
            EXPECT_TRUE(Contains(run.out, "[" + ports[0] + "] 更新完成！")) << run.out;
            continue;
        }
        std::map<std::string, std::string> results;
        QJsonObject summary;
        for (const std::string& line : lines) {
            const QJsonObject object = QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
            ASSERT_FALSE(object.isEmpty()) << line;
            if (object["type"] == "summary") {
                summary = object;
                continue;
            }
            ASSERT_TRUE(object["port"].isString()) << "every event names its port: " << line;
            if (object["type"] == "result")
                results[object["port"].toString().toStdString()] = object["status"].toString().toStdString();
        }
        for (size_t i = 0; i < ports.size(); ++i)
            EXPECT_EQ(results[ports[i]], outcomes[i]) << ports[i];
        EXPECT_EQ(summary["exit"].toInt(-1), 1);
        EXPECT_EQ(summary["completed"].toInt(-1), 2);
    }

    // Eight whole lines, written by eight processes, four at a time; every failure says why.
    std::ifstream in(record);
    const std::vector<std::string> recorded =
        Lines(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
    ASSERT_EQ(recorded.size(), 8u);
    std::multiset<std::string> seen;
    for (const std::string& line : recorded) {
        const QJsonObject object = QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
        ASSERT_FALSE(object.isEmpty()) << line;
        const std::string result = object["result"].toString().toStdString();
        EXPECT_EQ(std::count(outcomes.begin(), outcomes.end(), result) > 0, true) << line;
        EXPECT_EQ(object["reason"].toString().isEmpty(), result == "completed") << line;
        EXPECT_EQ(object["mode"], "program");
        EXPECT_EQ(object["size"].toInt(), 1500);
        EXPECT_EQ(object["sha256"].toString().size(), 64) << line;
        seen.insert(object["port"].toString().toStdString());
    }
    EXPECT_EQ(seen, recordedPorts);
}

// --json: each line of standard output is one JSON object with a type; the last is the result and
// its exit is the process's.
TEST_F(HostUpdate, JsonOutputIsOneObjectPerLineEndingInTheResult) {
    struct Case {
        const char* name;
        std::vector<std::string> simulator;
        std::vector<std::string> args;  // the device's port is added unless a port is given
        int exitCode;
        std::set<std::string> types;
    };
    const std::string program = Write("p.tr3", RandomBytes(1500));
    const Case cases[] = {
        {"completed program", {}, {"program", program}, 0, {"log", "progress", "result"}},
        {"ack lost",
         {"--drop-ack-at", "3"},
         {"program", program, "--timeout", SecondsArgument(test_time::Limit(1s))},
         3,
         {"log", "progress", "result"}},
        {"unknown port", {}, {"test", "--port", "COM200"}, 2, {"log", "result"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SimulatedDevice device(c.simulator);
        ASSERT_TRUE(device.Ready());
        std::vector<std::string> args = c.args;
        if (std::find(args.begin(), args.end(), "--port") == args.end())
            args.insert(args.end(), {"--port", device.Port()});
        args.push_back("--json");
        const CliRun run = RunCli(args, kHostRunLimit);
        EXPECT_EQ(run.exitCode, c.exitCode) << run.out << run.err;
        std::set<std::string> types;
        QJsonObject last;
        for (const std::string& line : Lines(run.out)) {
            QJsonParseError error{};
            const QJsonDocument document = QJsonDocument::fromJson(QByteArray::fromStdString(line), &error);
            ASSERT_TRUE(error.error == QJsonParseError::NoError && document.isObject()) << line;
            last = document.object();
            ASSERT_TRUE(last["type"].isString()) << line;
            types.insert(last["type"].toString().toStdString());
        }
        EXPECT_EQ(types, c.types);
        EXPECT_EQ(last["type"].toString(), "result");
        EXPECT_EQ(last["exit"].toInt(-1), run.exitCode);
        EXPECT_FALSE(last["message"].toString().isEmpty());
    }
}

// The step after the one-second wait fails inside the host: the query cannot be written, or the line
// refuses 115200. The run must end at once with exit 1 and the reason, not wait for a reply.
TEST_F(HostUpdate, FailureAfterTheTriggerWaitEndsTheRunWithTheReason) {
    struct Case {
        const char* name;
        bool highSpeed;
        const char* reason;
    };
    const Case cases[] = {
        {"query not written", false, "发送读取MCU型号失败"},
        {"115200 refused", true, "切换到115200失败"},
    };
    const std::string image = Image("f.trs", RandomBytes(300));
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SimulatedDevice device;
        ASSERT_TRUE(device.Ready());
        FaultyCommApi comm;
        comm.beforeWrite = [&c](CommHandle, const uint8_t* data, DWORD size) {
            return c.highSpeed || !(size == MODEL_QUERY_FRAME_LENGTH && data[1] == FUNC_MODEL);
        };
        comm.beforeSetState = [](CommHandle, const CommState& state) { return state.BaudRate != 115200; };
        HostOptions options;
        options.ports = {device.Port()};
        options.file = image;
        options.highSpeed = c.highSpeed;
        options.timeout = std::chrono::seconds(2);
        testing::internal::CaptureStdout();
        testing::internal::CaptureStderr();
        const int exitCode = HostSession(options, comm).RunUpdate(HostOptions::Kind::Firmware);
        const std::vector<std::string> out = Lines(testing::internal::GetCapturedStdout());
        testing::internal::GetCapturedStderr();
        EXPECT_EQ(exitCode, 1);
        ASSERT_FALSE(out.empty());
        EXPECT_EQ(out.back(), std::string("错误：") + c.reason);
        ASSERT_EQ(device.Stop(), 0);
    }
}

// On a terminal the bar's percentage agrees with its block count, the time left waits for a few
// blocks, the last bar stands above "更新完成！", and a station's lines fit a narrow terminal. Output
// that goes to a pipe gets no redrawing at all.
TEST_F(HostUpdate, ProgressOnATerminalIsTrueAndPipesGetNoRedraws) {
    const std::string program = Write("p.tr3", RandomBytes(2000));  // 40 blocks
    SimulatedDevice rack({"--count", "2", "--ack-delay", "20"}, 2);
    ASSERT_TRUE(rack.Ready());
    const std::vector<std::string> ports = rack.Ports();

    TerminalRun run = RunOnTerminal({"program", program, "--port", ports[0]}, true, 200);
    EXPECT_EQ(run.exitCode, 0) << run.terminal;
    static const std::regex bar(R"(\[[#.]{30}\] +(\d+)%  (\d+)/(\d+) blocks  \d+ B/s(  \d+:\d\d left)?)");
    size_t bars = 0, estimates = 0;
    for (auto it = std::sregex_iterator(run.terminal.begin(), run.terminal.end(), bar);
         it != std::sregex_iterator(); ++it) {
        const std::smatch& m = *it;
        const int percent = std::stoi(m[1]), done = std::stoi(m[2]), total = std::stoi(m[3]);
        EXPECT_EQ(total, 40);
        EXPECT_EQ(percent, done * 100 / total) << m.str();
        EXPECT_TRUE(done >= 5 || !m[4].matched) << "an estimate from too few blocks: " << m.str();
        ++bars;
        estimates += m[4].matched;
    }
    EXPECT_GE(bars, 2u) << run.terminal;
    EXPECT_GE(estimates, 1u) << run.terminal;
    const size_t done = run.terminal.find("更新完成！");
    ASSERT_NE(done, std::string::npos) << run.terminal;
    const size_t finalBar = run.terminal.find("100%  40/40 blocks");
    EXPECT_LT(finalBar, done) << "the final bar comes before the completion line: " << run.terminal;
    EXPECT_FALSE(Contains(run.terminal.substr(done), " blocks")) << "and no bar after it: " << run.terminal;

    // A station on a terminal 40 columns wide: each progress line fits, so a redraw leaves no copies.
    run = RunOnTerminal({"program", program, "--port", ports[0], "--port", ports[1]}, true, 40);
    EXPECT_EQ(run.exitCode, 0) << run.terminal;
    static const std::regex control("\x1b\\[[0-9;]*[A-Za-z]|\r");
    size_t progressLines = 0;
    for (const std::string& line : Lines(std::regex_replace(run.terminal, control, ""))) {
        if (!Contains(line, " blocks") && !Contains(line, "starting"))
            continue;
        ++progressLines;
        EXPECT_LE(line.size(), 39u) << line;
    }
    EXPECT_GE(progressLines, 2u) << run.terminal;

    // Standard output piped (`| tee`), standard error on the terminal: nothing is redrawn.
    for (const std::vector<std::string>& ports : {std::vector<std::string>{ports[0]}, ports}) {
        std::vector<std::string> args = {"program", program};
        for (const std::string& port : ports)
            args.insert(args.end(), {"--port", port});
        run = RunOnTerminal(args, false, 80);
        EXPECT_EQ(run.exitCode, 0) << run.terminal << run.out;
        EXPECT_TRUE(Contains(run.out, "更新完成！")) << run.out;
        EXPECT_FALSE(Contains(run.terminal, "\r") || Contains(run.terminal, "\x1b")) << run.terminal;
        EXPECT_FALSE(Contains(run.out, "\r") || Contains(run.out, "\x1b")) << run.out;
    }
    EXPECT_EQ(rack.Stop(), 0);
}
