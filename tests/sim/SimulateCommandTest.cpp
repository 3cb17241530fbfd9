// 'orvane-cli simulate' as a separate process, the way end-to-end tests and trainers use it: the
// test plays the host on the registered device with plain POSIX calls.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <fstream>

#include "framework/PortRegistry.h"
#include "tests/sim/SimTestFrames.h"
#include "tests/support/TempRegistry.h"
#include "tests/support/TestTime.h"

extern char** environ;

#ifndef ORVANE_CLI_PATH
#define ORVANE_CLI_PATH ""  // orvane-cli is not part of this build; the tests skip
#endif

using namespace simtest;

namespace {

constexpr std::chrono::milliseconds kTimeout = test_time::Limit(std::chrono::milliseconds(5000));
constexpr std::chrono::milliseconds kExitPoll{10};

// Waits for `fd` to be readable; false on time-out.
bool Readable(int fd, std::chrono::steady_clock::time_point deadline) {
    const auto left =
        std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    pollfd pfd{fd, POLLIN, 0};
    return left.count() > 0 && ::poll(&pfd, 1, static_cast<int>(left.count())) > 0;
}

// Opens the device the way the host does: raw, no controlling terminal.
int OpenLine(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    termios tio{};
    if (fd >= 0 && ::tcgetattr(fd, &tio) == 0) {
        ::cfmakeraw(&tio);
        ::tcsetattr(fd, TCSANOW, &tio);
    }
    return fd;
}

// Writes `request` and reads up to `count` bytes of answer; fewer on time-out or hang-up.
Bytes Ask(int fd, const Bytes& request, size_t count) {
    if (::write(fd, request.data(), request.size()) != static_cast<ssize_t>(request.size()))
        return {};
    Bytes out(count);
    size_t got = 0;
    const auto deadline = std::chrono::steady_clock::now() + kTimeout;
    while (got < count && Readable(fd, deadline)) {
        const ssize_t n = ::read(fd, out.data() + got, count - got);
        if (n <= 0)
            break;
        got += static_cast<size_t>(n);
    }
    out.resize(got);
    return out;
}

// The command with its standard output and error on one pipe; killed if a test leaves it running.
class Simulator {
public:
    explicit Simulator(std::vector<std::string> args) {
        args.insert(args.begin(), {ORVANE_CLI_PATH, "simulate"});
        std::vector<char*> argv;
        for (std::string& a : args)
            argv.push_back(a.data());
        argv.push_back(nullptr);
        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], 1);
        posix_spawn_file_actions_adddup2(&actions, out[1], 2);
        // The temporary registry travels in the environment.
        if (::posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), environ) != 0)
            m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        m_out = out[0];
    }
    ~Simulator() {
        if (m_pid > 0)
            ::kill(m_pid, SIGKILL), ::waitpid(m_pid, nullptr, 0);
        ::close(m_out);
    }

    // The next output line, without its newline.
    std::string Line() {
        const auto deadline = std::chrono::steady_clock::now() + kTimeout;
        size_t nl;
        while ((nl = m_pending.find('\n')) == std::string::npos && Readable(m_out, deadline)) {
            char buffer[256];
            const ssize_t n = ::read(m_out, buffer, sizeof(buffer));
            if (n <= 0)
                break;
            m_pending.append(buffer, static_cast<size_t>(n));
        }
        if (nl == std::string::npos)
            return "(no line) " + m_pending;
        std::string line = m_pending.substr(0, nl);
        m_pending.erase(0, nl + 1);
        return line;
    }

    // Sends `signal` (none: 0) and returns the exit code, or -1 if it does not end in time.
    int Exit(int signal = 0) {
        if (signal != 0)
            ::kill(m_pid, signal);
        const auto deadline = std::chrono::steady_clock::now() + kTimeout;
        int status = 0;
        // waitpid has no time-out of its own, so the child's end is polled.
        while (::waitpid(m_pid, &status, WNOHANG) == 0) {
            if (std::chrono::steady_clock::now() > deadline)
                return -1;
            std::this_thread::sleep_for(kExitPoll);
        }
        m_pid = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
    }

private:
    pid_t m_pid = -1;
    int m_out = -1;
    std::string m_pending;
};

}  // namespace

class SimulateCommandTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (std::string(ORVANE_CLI_PATH).empty())
            GTEST_SKIP() << "orvane-cli is not built";
    }
    TempRegistry registry;
};

TEST_F(SimulateCommandTest, PlaysTheDeviceAndCleansUpOnSigterm) {
    const auto summary = registry.Root() / "summary.json";
    const auto saved = registry.Root() / "payload.bin";
    Simulator sim({"--model", "abc", "--summary", summary.string(), "--save", saved.string()});
    const std::string ready = sim.Line();
    const std::string device = PortRegistry::Default().Resolve(9);
    ASSERT_EQ(ready, "READY COM9 " + device) << sim.Line();

    int fd = OpenLine(device);
    ASSERT_GE(fd, 0);
    EXPECT_EQ(Ask(fd, Trigger(), 0), Bytes{});
    EXPECT_EQ(Ask(fd, kModelQuery, 8), kModelReplyAbc);
    // The host closing and reopening its port does not disturb the line.
    ::close(fd);
    fd = OpenLine(device);
    EXPECT_EQ(Ask(fd, kStatusQuery, 5), WithCrc({1, 0x6C, 0}));
    EXPECT_EQ(Ask(fd, Concat({{0x00}, kVerifyAbc}), 8), kVerifyAck) << "after a stray byte";
    EXPECT_EQ(Ask(fd, kBlockAbc, 8), Ack(1, 10001, 1));
    ::close(fd);

    EXPECT_EQ(sim.Exit(SIGTERM), 0);
    EXPECT_TRUE(PortRegistry::Default().Resolve(9).empty()) << "the link is removed";
    std::ifstream payload(saved, std::ios::binary);
    EXPECT_EQ(std::string(std::istreambuf_iterator<char>(payload), {}), "abc");
    std::ifstream in(summary);
    const std::string json((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const QJsonObject s = QJsonDocument::fromJson(QByteArray::fromStdString(json)).object();
    EXPECT_EQ(s["mode"].toString(), "firmware");
    EXPECT_TRUE(s["complete"].toBool());
    EXPECT_TRUE(s["record"].toObject()["ok"].toBool());
    EXPECT_EQ(s["record"].toObject()["crc"].toObject()["announced"].toInt(), 0x5749);
    EXPECT_EQ(s["frames"].toObject()["verify"].toInt(), 1);
    EXPECT_EQ(s["badFrames"].toInt(), 1);
    EXPECT_EQ(s["blocksReceived"].toInt(), 1);
    EXPECT_EQ(s["payloadLength"].toInt(), 3);
    EXPECT_EQ(s["payloadSha256"].toString(),
              "ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad");
    EXPECT_EQ(s["lastRate"].toInt(), 9600);
}

// Three host runs against one simulator: the cable is pulled in each, and the line comes back under
// the same number every time.
TEST_F(SimulateCommandTest, HangUpInEveryRunComesBackUnderTheSameNumber) {
    Simulator sim({"--port", "40", "--hangup-at", "1"});
    ASSERT_EQ(sim.Line().rfind("READY COM40 ", 0), 0u) << sim.Line();
    const Bytes transfer = Concat({Trigger(), Block(1, 0, 1, {0x42})});
    for (int run = 1; run <= 3; ++run) {
        int fd = OpenLine(PortRegistry::Default().Resolve(40));
        EXPECT_EQ(Ask(fd, transfer, 1), Bytes{}) << "run " << run << ": no ack, the line is gone";
        ::close(fd);
        const std::string again = sim.Line();
        EXPECT_EQ(again, "READY COM40 " + PortRegistry::Default().Resolve(40)) << "run " << run;
    }
    int fd = OpenLine(PortRegistry::Default().Resolve(40));
    EXPECT_EQ(Ask(fd, Block(1, 0, 1, {0x42}), 8), Ack(1, 0, 1)) << "the block sent again within a run";
    ::close(fd);
    EXPECT_EQ(sim.Exit(SIGINT), 0);
}

// A simulator killed outright cannot remove its link; the link counts no longer and the number is
// free again.
TEST_F(SimulateCommandTest, AKilledSimulatorsNumberIsFreeAgain) {
    Simulator killed({"--port", "41"});
    ASSERT_EQ(killed.Line().rfind("READY COM41 ", 0), 0u);
    EXPECT_EQ(killed.Exit(SIGKILL), 128 + SIGKILL);
    EXPECT_TRUE(std::filesystem::is_symlink(registry.PortsDir() / "COM41")) << "left behind";
    EXPECT_EQ(PortRegistry::Default().Resolve(41), "");
    Simulator next({"--port", "41"});
    EXPECT_EQ(next.Line().rfind("READY COM41 ", 0), 0u);
    EXPECT_EQ(next.Exit(SIGTERM), 0);
}

TEST_F(SimulateCommandTest, RefusesATakenPortAndBadArguments) {
    registry.Link("COM12", "/dev/null");
    Simulator taken({"--port", "12"});
    EXPECT_NE(taken.Line().find("COM12 is taken"), std::string::npos);
    EXPECT_EQ(taken.Exit(), 2);
    EXPECT_EQ(PortRegistry::Default().Resolve(12), "/dev/null");

    // A port folder that others can write to is not linked into, with or without a number.
    const auto folder = registry.PortsDir().parent_path();
    std::filesystem::permissions(folder, std::filesystem::perms::others_write,
                                 std::filesystem::perm_options::add);
    for (const std::vector<std::string>& args :
         {std::vector<std::string>{"--port", "13"}, std::vector<std::string>{}}) {
        Simulator refused(args);
        EXPECT_EQ(refused.Line(), "simulate: the port folder " + folder.string() +
                                      " is writable by others; make it private (chmod 700) or remove it");
        EXPECT_EQ(refused.Exit(), 1);
    }
    std::filesystem::permissions(folder, std::filesystem::perms::others_write,
                                 std::filesystem::perm_options::remove);
    EXPECT_EQ(std::distance(std::filesystem::directory_iterator(registry.PortsDir()), {}), 2)
        << "COM12 and its lock alone";

    EXPECT_EQ(Simulator({"--port", "zwölf"}).Exit(), 2);
    Simulator help({"--help"});
    EXPECT_EQ(help.Line(), "usage: orvane-cli simulate [options]");
    EXPECT_EQ(help.Exit(), 0);
}
