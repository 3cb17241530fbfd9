// How runs of orvane-cli end, for one port and for a station: interrupted, a device process killed,
// a station record that cannot be written, and the exit code of every outcome. Whatever happens,
// every unit touched gets its record line and the exit code says what happened.
#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/wait.h>
#include <unistd.h>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <sstream>

#include "tests/cli/CliFixture.h"

namespace {

QJsonObject Object(const std::string& line) {
    return QJsonDocument::fromJson(QByteArray::fromStdString(line)).object();
}

std::vector<std::string> FileLines(const std::filesystem::path& path) {
    std::ifstream in(path);
    return Lines(std::string(std::istreambuf_iterator<char>(in), {}));
}

// Reads standard output until `count` lines containing every one of `parts` went by (true), or it
// ends first.
bool AwaitLines(CliProcess& process, const std::vector<std::string>& parts, size_t count) {
    for (size_t seen = 0; seen < count;) {
        const std::optional<std::string> line = process.NextLine(kHostRunLimit);
        if (!line)
            return false;
        seen += std::all_of(parts.begin(), parts.end(),
                            [&](const std::string& part) { return Contains(*line, part); });
    }
    return true;
}

// The station's child process that runs `port`, found among the children of `parent`.
pid_t DeviceProcess(pid_t parent, const std::string& port) {
    DIR* proc = ::opendir("/proc");
    pid_t found = -1;
    for (dirent* entry; proc && found < 0 && (entry = ::readdir(proc));) {
        const pid_t pid = static_cast<pid_t>(std::atoi(entry->d_name));
        if (pid <= 0)
            continue;
        std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
        std::string statText(std::istreambuf_iterator<char>(stat), {});
        // The parent's pid is the second field after the command name in parentheses.
        const size_t close = statText.rfind(')');
        if (close == std::string::npos)
            continue;
        std::istringstream fields(statText.substr(close + 2));
        std::string state;
        pid_t ppid = 0;
        fields >> state >> ppid;
        if (ppid != parent)
            continue;
        std::ifstream cmdline("/proc/" + std::to_string(pid) + "/cmdline");
        const std::string arguments(std::istreambuf_iterator<char>(cmdline), {});
        if (Contains(arguments, std::string("--port") + '\0' + port + '\0'))
            found = pid;
    }
    if (proc)
        ::closedir(proc);
    return found;
}

}  // namespace

class RunEndings : public CliTest {};

// An interrupt mid-update, to one port or to a station of four, each device held at block 4 by a
// device that does not acknowledge it: every device is stopped as the window's Stop does, every unit
// gets its record line with the blocks acknowledged, the table is printed, the exit code names the
// signal, and the devices saw the transfer end part-way.
TEST_F(RunEndings, AnInterruptStopsEveryDeviceAndKeepsEveryRecord) {
    struct Case {
        const char* name;
        int signal;
        size_t devices;
        int exitCode;
        const char* reason;
    };
    const Case cases[] = {
        {"SIGINT, one port", SIGINT, 1, 130, "stopped by an interrupt (Ctrl-C) after 3 of 40 blocks"},
        {"SIGTERM, one port", SIGTERM, 1, 143, "stopped by a termination request after 3 of 40 blocks"},
        {"SIGINT, four ports", SIGINT, 4, 130, "stopped by an interrupt (Ctrl-C) after 3 of 40 blocks"},
        {"SIGTERM, four ports", SIGTERM, 4, 143, "stopped by a termination request after 3 of 40 blocks"},
    };
    const std::string program = Write("p.tr3", RandomBytes(2000));  // 40 blocks
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string record = Path(std::string("record-") + std::to_string(c.signal) + "-" +
                                        std::to_string(c.devices) + ".jsonl")
                                       .string();
        std::vector<std::string> simulator = {"--drop-ack-at", "4"};
        if (c.devices == 1) {
            simulator.insert(simulator.end(), {"--summary", Path("s1.json").string()});
        } else {
            simulator.insert(simulator.end(), {"--count", std::to_string(c.devices)});
            for (size_t k = 1; k <= c.devices; ++k) {
                simulator.insert(simulator.end(),
                                 {"--device", std::to_string(k) + ":--summary=" +
                                                  Path("s" + std::to_string(k) + ".json").string()});
            }
        }
        SimulatedDevice rack(simulator, c.devices);
        ASSERT_TRUE(rack.Ready());
        std::vector<std::string> args = {"program", program,    "--debug", "--timeout",
                                         "600",     "--record", record};
        for (const std::string& port : rack.Ports())
            args.insert(args.end(), {"--port", port});
        CliProcess run(args);
        // Each device acknowledged block 3 and holds block 4 until the interrupt.
        ASSERT_TRUE(AwaitLines(run, {"数据块 3/40 确认成功"}, c.devices)) << run.Out() << run.Err();
        run.Signal(c.signal);
        EXPECT_EQ(run.Wait(kHostRunLimit), c.exitCode) << run.Out() << run.Err();
        ASSERT_EQ(rack.Stop(), 0);

        EXPECT_EQ(Count(run.Out(), "警告：更新中断，设备需重启"), c.devices) << run.Out();
        const std::vector<std::string> recorded = FileLines(record);
        ASSERT_EQ(recorded.size(), c.devices) << run.Out() << run.Err();
        std::set<std::string> ports;
        for (const std::string& line : recorded) {
            const QJsonObject entry = Object(line);
            EXPECT_EQ(entry["result"].toString(), "interrupted") << line;
            EXPECT_EQ(entry["exit"].toInt(), c.exitCode) << line;
            EXPECT_EQ(entry["blocks"].toInt(), 3) << line;
            EXPECT_EQ(entry["reason"].toString().toStdString(), c.reason) << line;
            ports.insert(entry["port"].toString().toStdString());
        }
        EXPECT_EQ(ports, std::set<std::string>(rack.Ports().begin(), rack.Ports().end()));
        if (c.devices == 1) {
            EXPECT_EQ(Lines(run.Err()), std::vector<std::string>{c.reason});
        } else {
            const std::vector<std::string> out = Lines(run.Out());
            const auto table = std::find_if(
                out.begin(), out.end(), [](const std::string& line) { return line.rfind("port ", 0) == 0; });
            const auto end = std::find(table, out.end(), "");
            ASSERT_EQ(static_cast<size_t>(end - table), c.devices + 1) << run.Out();
            for (auto row = table + 1; row != end; ++row) {
                EXPECT_TRUE(Contains(*row, " interrupted  150 ")) << *row;
                EXPECT_TRUE(Contains(*row, c.reason)) << *row;
            }
        }
        for (size_t k = 1; k <= c.devices; ++k) {
            const std::filesystem::path summary = Path("s" + std::to_string(k) + ".json");
            EXPECT_EQ(SummaryNumber(summary, "blocksReceived"), 4) << "block 4 arrived, nothing after it";
            EXPECT_EQ(SummaryNumber(summary, "blocksExpected"), 40);
            EXPECT_EQ(SummaryNumber(summary, "transfersCompleted"), 0);
        }
    }
}

// One device's process is killed outright mid-update: its unit still gets a record line and a result
// that say it crashed and how far it got; the other device completes and the run exits 1.
TEST_F(RunEndings, AKilledDeviceProcessKeepsItsRecordLineAndProgress) {
    const Bytes payload = RandomBytes(2000);  // 40 blocks
    const std::string program = Write("p.tr3", payload);
    const std::string record = Path("station.jsonl").string();
    SimulatedDevice rack({"--count", "2", "--device", "1:--save=" + Path("saved.bin").string(), "--device",
                          "2:--drop-ack-at=4"},
                         2);
    ASSERT_TRUE(rack.Ready());
    const std::vector<std::string> ports = rack.Ports();
    CliProcess run({"program", program, "--json", "--timeout", "600", "--record", record, "--port", ports[0],
                    "--port", ports[1]});
    // The station has seen the held device's progress up to block 3.
    const std::string held = "{\"port\":\"" + ports[1] + "\",\"type\":\"progress\"";
    ASSERT_TRUE(AwaitLines(run, {held, "\"blocks_done\":3,"}, 1)) << run.Out() << run.Err();
    const pid_t device = DeviceProcess(run.Pid(), ports[1]);
    ASSERT_GT(device, 0);
    ASSERT_EQ(::kill(device, SIGKILL), 0);
    EXPECT_EQ(run.Wait(kHostRunLimit), 1) << run.Out() << run.Err();
    ASSERT_EQ(rack.Stop(), 0);
    EXPECT_EQ(Read(Path("saved.bin")), payload);

    const std::string reason =
        "the device's process was ended by signal 9 without a result after 3 of 40 blocks";
    std::map<std::string, QJsonObject> entries, results;
    for (const std::string& line : FileLines(record))
        entries[Object(line)["port"].toString().toStdString()] = Object(line);
    for (const std::string& line : Lines(run.Out())) {
        if (Object(line)["type"] == "result")
            results[Object(line)["port"].toString().toStdString()] = Object(line);
    }
    ASSERT_EQ(entries.size(), 2u);
    EXPECT_EQ(entries[ports[0]]["result"].toString(), "completed");
    EXPECT_EQ(entries[ports[1]]["result"].toString(), "crashed");
    EXPECT_EQ(entries[ports[1]]["exit"].toInt(), 1);
    EXPECT_EQ(entries[ports[1]]["blocks"].toInt(), 3);
    EXPECT_EQ(entries[ports[1]]["reason"].toString().toStdString(), reason);
    ASSERT_EQ(results.size(), 2u) << run.Out();
    EXPECT_EQ(results[ports[1]]["status"].toString(), "crashed");
    EXPECT_EQ(results[ports[1]]["exit"].toInt(), 1);
    EXPECT_EQ(results[ports[1]]["bytes"].toInt(), 150) << "the bytes acknowledged before the crash";
    EXPECT_EQ(results[ports[1]]["message"].toString().toStdString(), reason);
}

// A record that cannot be opened stops the run before anything is sent, with one line and exit 2;
// one that takes no line (a full disk) is found after the update, which then exits 1 and says why,
// on the console and as a JSON event. One port and a station of two alike.
TEST_F(RunEndings, ARecordThatCannotBeWrittenIsNeverSilent) {
    std::filesystem::create_directory(Path("folder"));
    const std::string readOnly = Write("read-only.jsonl", {});
    std::filesystem::permissions(readOnly, std::filesystem::perms::owner_read |
                                               std::filesystem::perms::group_read |
                                               std::filesystem::perms::others_read);
    struct Case {
        std::string name;
        std::string record;
        bool opens;
        std::string says;
    };
    std::vector<Case> cases = {
        {"missing folder", Path("no-such-folder/station.jsonl").string(), false, "No such file or directory"},
        {"a folder", Path("folder").string(), false, "Is a directory"},
        {"/dev/full", "/dev/full", true, "write failed for /dev/full: No space left on device"},
    };
    // Root may write any file; the case means a technician's own account.
    if (::geteuid() != 0)
        cases.push_back({"read-only file", readOnly, false, "Permission denied"});
    const std::string program = Write("p.tr3", RandomBytes(300));
    for (const Case& c : cases) {
        for (const size_t devices : {size_t{1}, size_t{2}}) {
            SCOPED_TRACE(c.name + (devices == 1 ? ", one port" : ", a station"));
            SimulatedDevice rack(
                {"--count", std::to_string(devices), "--device", "1:--summary=" + Path("s1.json").string()},
                devices);
            ASSERT_TRUE(rack.Ready());
            std::vector<std::string> args = {"program", program, "--record", c.record};
            for (const std::string& port : rack.Ports())
                args.insert(args.end(), {"--port", port});
            const CliRun text = RunCli(args, kHostRunLimit);
            args.push_back("--json");
            const CliRun json = RunCli(args, kHostRunLimit);
            ASSERT_EQ(rack.Stop(), 0);
            EXPECT_EQ(text.exitCode, c.opens ? 1 : 2) << text.out << text.err;
            EXPECT_EQ(json.exitCode, text.exitCode) << json.out << json.err;
            const std::vector<std::string> err = Lines(text.err);
            ASSERT_EQ(err.size(), c.opens ? devices : 1u) << text.err;
            for (const std::string& line : err) {
                EXPECT_TRUE(Contains(line, "the station record")) << line;
                EXPECT_TRUE(Contains(line, c.says)) << line;
            }
            size_t events = 0;
            for (const std::string& line : Lines(json.out)) {
                const QJsonObject object = Object(line);
                const bool event = object["type"] == "record-error";
                events += event;
                EXPECT_TRUE(!event || Contains(object["message"].toString().toStdString(), c.says)) << line;
                if (object["type"] == "summary" || (devices == 1 && object["type"] == "result")) {
                    EXPECT_EQ(object["exit"].toInt(), text.exitCode) << line;
                }
            }
            EXPECT_EQ(events, c.opens ? devices : 0u) << json.out;
            // Two complete transfers when the record opened, none at all when it did not.
            EXPECT_EQ(SummaryNumber(Path("s1.json"), "transfersCompleted"), c.opens ? 2 : 0);
            EXPECT_EQ(SummaryNumber(Path("s1.json"), "trigger"), c.opens ? 2 : 0);
        }
    }
}

// The exit code says what happened, the same way for one port and for a station: 0 completed, 1 a
// device failed (in a station also a port held or missing among others that were updated), 2
// nothing sent (usage, file, port not available), 3 timed out.
TEST_F(RunEndings, ExitCodesSayWhatHappenedForOnePortAndMany) {
    SimulatedDevice rack({"--count", "4", "--device", "3:--model=OTHER", "--device", "4:--silent"}, 4);
    ASSERT_TRUE(rack.Ready());
    const std::vector<std::string> ports = rack.Ports();
    const std::string &healthy = ports[0], &held = ports[1], &wrongModel = ports[2], &silent = ports[3];
    const std::string missing = "COM250";
    const std::string image = Image("f.trs", RandomBytes(300));
    struct Row {
        const char* outcome;
        std::vector<std::string> ports;  // one: a single-port run; more: a station
        std::vector<std::string> extra;  // "--file-missing" names a file that is not there
        int exitCode;
    };
    const Row rows[] = {
        {"completed", {healthy}, {}, 0},
        {"device failed", {wrongModel}, {}, 1},
        {"device failed, station", {healthy, wrongModel}, {}, 1},
        {"timed out", {silent}, {}, 3},
        {"timed out, station", {healthy, silent}, {}, 3},
        {"failed outranks timed out", {wrongModel, silent}, {}, 1},
        {"port held", {held}, {}, 2},
        {"port held among updated ones", {healthy, held}, {}, 1},
        {"port missing", {missing}, {}, 2},
        {"port missing among updated ones", {healthy, missing}, {}, 1},
        {"no port available, station", {held, missing}, {}, 2},
        {"usage", {healthy}, {"--bogus"}, 2},
        {"usage, station", {healthy, wrongModel}, {"--bogus"}, 2},
        {"file", {healthy}, {"--file-missing"}, 2},
        {"file, station", {healthy, wrongModel}, {"--file-missing"}, 2},
    };
    const int lock = ::open(rack.Devices()[1].c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    ASSERT_GE(lock, 0);
    ASSERT_EQ(::flock(lock, LOCK_EX | LOCK_NB), 0);
    for (const Row& row : rows) {
        SCOPED_TRACE(row.outcome);
        const bool fileMissing = !row.extra.empty() && row.extra[0] == "--file-missing";
        std::vector<std::string> args = {"firmware", fileMissing ? Path("missing.trs").string() : image,
                                         "--timeout", "1"};
        if (!fileMissing)
            args.insert(args.end(), row.extra.begin(), row.extra.end());
        for (const std::string& port : row.ports)
            args.insert(args.end(), {"--port", port});
        const CliRun run = RunCli(args, kHostRunLimit);
        EXPECT_EQ(run.exitCode, row.exitCode) << run.out << run.err;
    }
    ::close(lock);
    EXPECT_EQ(rack.Stop(), 0);
}

// Every record line names its run (one run id for all), the tool's version, the host, when the unit
// began and ended, what was acknowledged and the image's own model, plus the --tag fields; every
// JSON event has a time stamp. A tag that a line could not hold as given is refused before anything
// is sent: the devices saw only the one good run's trigger frame.
TEST_F(RunEndings, RecordsNameTheRunAndCarryTheTags) {
    SimulatedDevice rack({"--count", "2", "--device", "1:--summary=" + Path("s1.json").string(), "--device",
                          "2:--summary=" + Path("s2.json").string()},
                         2);
    ASSERT_TRUE(rack.Ready());
    const Bytes payload = RandomBytes(420, 3);
    const std::string image = Image("f.trs", payload, "ORV-SIM");
    const auto record = Path("line.jsonl");
    const std::vector<std::string> station = {"firmware", image,           "--port",   rack.Ports()[0],
                                              "--port",   rack.Ports()[1], "--record", record.string()};
    for (const std::vector<std::string>& bad :
         std::vector<std::vector<std::string>>{{"--tag", "port=COM1"},
                                               {"--tag", "bad key=x"},
                                               {"--tag", "noequals"},
                                               {"--tag",
                                                "op=a\x01"
                                                "b"},
                                               {"--tag", "op=\xff"},
                                               {"--tag", "op=a", "--tag", "op=b"}}) {
        std::vector<std::string> args = station;
        args.insert(args.end(), bad.begin(), bad.end());
        const CliRun run = RunCli(args, kHostRunLimit);
        EXPECT_EQ(run.exitCode, 2) << bad[1] << run.out << run.err;
        EXPECT_TRUE(Contains(run.err, "--tag")) << run.err;
    }
    std::vector<std::string> args = station;
    args.insert(args.end(), {"--tag", "operator=li", "--tag", "order=WO-1234", "--json"});
    const CliRun run = RunCli(args, kHostRunLimit);
    ASSERT_EQ(run.exitCode, 0) << run.out << run.err;
    for (const std::string& line : Lines(run.out)) {
        const QString time = Object(line).value("time").toString();
        EXPECT_TRUE(time.size() == 24 && time.endsWith('Z')) << line;  // 2026-12-07T20:16:48.125Z
    }
    const CliRun version = RunCli({"--version"}, kHostRunLimit);
    char host[256] = "";
    ASSERT_EQ(::gethostname(host, sizeof host - 1), 0);
    const std::vector<std::string> lines = FileLines(record);
    ASSERT_EQ(lines.size(), 2u);
    std::set<QString> runIds;
    for (const std::string& line : lines) {
        const QJsonObject fields = Object(line);
        runIds.insert(fields.value("run_id").toString());
        EXPECT_EQ(version.out, "orvane-cli " + fields.value("version").toString().toStdString() + "\n");
        EXPECT_EQ(fields.value("host").toString().toStdString(), host);
        EXPECT_EQ(fields.value("image_model").toString(), "ORV-SIM");
        EXPECT_EQ(fields.value("bytes").toInt(), static_cast<int>(payload.size()));
        EXPECT_GE(fields.value("end").toString(), fields.value("time").toString());
        EXPECT_EQ(fields.value("operator").toString(), "li");
        EXPECT_EQ(fields.value("order").toString(), "WO-1234");
        EXPECT_FALSE(fields.contains("unit"));  // a loop's lines only
    }
    EXPECT_EQ(runIds.size(), 1u);
    EXPECT_FALSE(runIds.begin()->isEmpty());
    ASSERT_EQ(rack.Stop(), 0);
    EXPECT_EQ(SummaryNumber(Path("s1.json"), "trigger"), 1);
    EXPECT_EQ(SummaryNumber(Path("s2.json"), "trigger"), 1);
}

// A station that did not complete everywhere ends with one sentence on what happened and the command
// that retries exactly the ports that did not complete; run as printed, it updates those alone. The
// JSON summary lists the same ports with their reasons.
TEST_F(RunEndings, TheRetryLineUpdatesExactlyTheFailedPorts) {
    std::vector<std::string> options = {"--count", "3", "--device", "2:--drop-ack-at=2"};
    for (int k = 1; k <= 3; ++k)
        options.insert(
            options.end(),
            {"--device", std::to_string(k) + ":--summary=" + Path("s" + std::to_string(k)).string()});
    SimulatedDevice rack(options, 3);
    ASSERT_TRUE(rack.Ready());
    const std::string program = Write("有空格 app.tr3", RandomBytes(300, 9));
    const auto record = Path("line.jsonl");
    const std::vector<std::string> args = {
        "program",       program,     "--port", rack.Ports()[0], "--port",       rack.Ports()[1], "--port",
        rack.Ports()[2], "--timeout", "1",      "--record",      record.string()};
    const CliRun first = RunCli(args, kHostRunLimit);
    EXPECT_EQ(first.exitCode, 3) << first.out << first.err;
    EXPECT_TRUE(Contains(first.out, "3 devices: 2 completed; " + rack.Ports()[1] + " timed out"))
        << first.out;
    const std::vector<std::string> out = Lines(first.out);
    const auto intro = std::find(out.begin(), out.end(), "retry the others with:");
    ASSERT_TRUE(intro != out.end() && intro + 1 != out.end()) << first.out;

    FILE* shell = ::popen((intro[1] + " >/dev/null 2>&1").c_str(), "r");
    ASSERT_NE(shell, nullptr);
    const int status = ::pclose(shell);
    EXPECT_EQ(WEXITSTATUS(status), 3) << intro[1];
    std::vector<std::string> lines = FileLines(record);
    ASSERT_EQ(lines.size(), 4u);
    EXPECT_EQ(Object(lines[3]).value("port").toString().toStdString(), rack.Ports()[1]);

    std::vector<std::string> json = args;
    json.push_back("--json");
    const CliRun again = RunCli(json, kHostRunLimit);
    const QJsonObject summary = Object(Lines(again.out).back());
    EXPECT_EQ(summary.value("type").toString(), "summary");
    const QJsonArray failed = summary.value("failed").toArray();
    ASSERT_EQ(failed.size(), 1) << again.out;
    EXPECT_EQ(failed[0].toObject().value("port").toString().toStdString(), rack.Ports()[1]);
    EXPECT_EQ(failed[0].toObject().value("result").toString(), "timeout");
    EXPECT_FALSE(failed[0].toObject().value("reason").toString().isEmpty());
    EXPECT_TRUE(Contains(summary.value("retry").toString().toStdString(), "--port " + rack.Ports()[1]));

    ASSERT_EQ(rack.Stop(), 0);
    EXPECT_EQ(SummaryNumber(Path("s1"), "trigger"), 2);  // the first run and the JSON one
    EXPECT_EQ(SummaryNumber(Path("s2"), "trigger"), 3);  // and the retry
    EXPECT_EQ(SummaryNumber(Path("s3"), "trigger"), 2);
}
