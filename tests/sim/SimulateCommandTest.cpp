// 'orvane-cli simulate' as a separate process, the way end-to-end tests and trainers use it.
#include <gtest/gtest.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <filesystem>
#include <fstream>

#include "framework/posix/PortRegistry.h"
#include "tests/sim/SimTestFrames.h"
#include "tests/sim/SimTestIo.h"
#include "tests/support/TempRegistry.h"

extern char** environ;

using namespace simtest;

namespace {

constexpr std::chrono::milliseconds kExitTimeout{5000};
constexpr std::chrono::milliseconds kExitPoll{10};

// The command with its standard output and error on pipes; killed if the test leaves it running.
class Simulator {
public:
    explicit Simulator(const std::vector<std::string>& args) {
#ifdef ORVANE_CLI_PATH
        std::vector<std::string> argv = {ORVANE_CLI_PATH, "simulate"};
        argv.insert(argv.end(), args.begin(), args.end());
        std::vector<char*> raw;
        for (std::string& a : argv)
            raw.push_back(a.data());
        raw.push_back(nullptr);
        int outPipe[2], errPipe[2];
        if (::pipe2(outPipe, O_CLOEXEC) != 0 || ::pipe2(errPipe, O_CLOEXEC) != 0)
            return;
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, outPipe[1], 1);
        posix_spawn_file_actions_adddup2(&actions, errPipe[1], 2);
        // The registry location travels in the environment TempRegistry has set.
        if (::posix_spawn(&m_pid, raw[0], &actions, nullptr, raw.data(), environ) != 0)
            m_pid = -1;
        posix_spawn_file_actions_destroy(&actions);
        ::close(outPipe[1]);
        ::close(errPipe[1]);
        m_out = outPipe[0];
        m_err = errPipe[0];
#else
        (void)args;
#endif
    }
    ~Simulator() {
        if (m_pid > 0) {
            ::kill(m_pid, SIGKILL);
            ::waitpid(m_pid, nullptr, 0);
        }
        if (m_out >= 0)
            ::close(m_out);
        if (m_err >= 0)
            ::close(m_err);
    }

    bool Started() const {
        return m_pid > 0;
    }
    std::optional<std::string> OutLine() {
        return ReadLine(m_out, m_outPending);
    }
    std::optional<std::string> ErrLine() {
        return ReadLine(m_err, m_errPending);
    }
    void Signal(int signal) {
        ::kill(m_pid, signal);
    }

    // The exit code, or -1 when it has not ended within the time-out.
    int Wait() {
        const auto deadline = std::chrono::steady_clock::now() + kExitTimeout;
        while (std::chrono::steady_clock::now() < deadline) {
            int status = 0;
            const pid_t done = ::waitpid(m_pid, &status, WNOHANG);
            if (done == m_pid) {
                m_pid = -1;
                return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
            }
            // waitpid has no time-out of its own; the child's end is polled.
            std::this_thread::sleep_for(kExitPoll);
        }
        return -1;
    }

private:
    pid_t m_pid = -1;
    int m_out = -1;
    int m_err = -1;
    std::string m_outPending;
    std::string m_errPending;
};

std::string ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

}  // namespace

class SimulateCommandTest : public ::testing::Test {
protected:
    void SetUp() override {
#ifndef ORVANE_CLI_PATH
        GTEST_SKIP() << "orvane-cli is not part of this build";
#endif
    }
    TempRegistry registry;
};

TEST_F(SimulateCommandTest, PlaysTheDeviceAndCleansUpOnSigterm) {
    const auto summary = registry.Root() / "summary.json";
    const auto saved = registry.Root() / "payload.bin";
    Simulator sim({"--model", "abc", "--summary", summary.string(), "--save", saved.string()});
    ASSERT_TRUE(sim.Started());
    const std::optional<std::string> ready = sim.OutLine();
    ASSERT_TRUE(ready) << sim.ErrLine().value_or("");
    const std::string device = PortRegistry::Default().Resolve(9);
    ASSERT_FALSE(device.empty());
    EXPECT_EQ(*ready, "READY COM9 " + device);

    const int fd = OpenLine(device);
    ASSERT_GE(fd, 0);
    const Bytes statusQuery = {0x01, 0x6C, 0x00, 0x65, 0x00, 0x0A, 0x0A, 0,    0,   0,
                               0,    0,    0,    0,    0,    0,    0,    0x50, 0x68};
    const std::vector<std::pair<Bytes, Bytes>> dialogue = {
        {{0x01, 0x69, 0x00, 0x65, 0x00, 0x00, 0x4D, 0xDC}, {0x01, 0x69, 0x03, 0x61, 0x62, 0x63, 0x65, 0x10}},
        {statusQuery, WithCrc({0x01, 0x6C, 0x00})},
        {{0x01, 0x6A, 0x27, 0x10, 0x00, 0x01, 0x10, 0x08, 0x00, 0x60, 0x00, 0x00, 0x00,
          0x00, 0x03, 0x00, 0x00, 0x49, 0x57, 0x26, 0x60, 0xCC, 0xCC, 0x52, 0x89},
         {0x01, 0x6A, 0x27, 0x10, 0x00, 0x01, 0xD3, 0x72}},
        {{0x01, 0x6A, 0x27, 0x11, 0x00, 0x01, 0x03, 0x61, 0x62, 0x63, 0xB0, 0x8C},
         WithCrc({0x01, 0x6A, 0x27, 0x11, 0x00, 0x01})},
    };
    ASSERT_TRUE(WriteAll(fd, Trigger()));
    for (const auto& [request, reply] : dialogue) {
        ASSERT_TRUE(WriteAll(fd, request));
        EXPECT_EQ(ReadBytes(fd, reply.size()), reply);
    }
    ::close(fd);

    sim.Signal(SIGTERM);
    EXPECT_EQ(sim.Wait(), 0);
    EXPECT_TRUE(PortRegistry::Default().Resolve(9).empty()) << "the link is removed";
    EXPECT_EQ(ReadFile(saved), "abc");
    const std::string json = ReadFile(summary);
    EXPECT_NE(
        json.find("\"payloadSha256\": \"ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad\""),
        std::string::npos)
        << json;
    EXPECT_NE(json.find("\"complete\": true"), std::string::npos) << json;
    EXPECT_NE(json.find("\"ok\": true\n"), std::string::npos) << "the record matches: " << json;
}

TEST_F(SimulateCommandTest, RefusesATakenPortAndBadArguments) {
    registry.Link("COM12", "/dev/null");
    struct Case {
        std::vector<std::string> args;
        int exitCode;
        std::string errorMentions;
    };
    const std::vector<Case> cases = {
        {{"--port", "12"}, 2, "COM12 is taken"},
        {{"--port", "zwölf"}, 2, "--port"},
        {{"--wrong-number-at"}, 2, "needs a value"},
        {{"--frobnicate"}, 2, "--frobnicate"},
    };
    for (const Case& c : cases) {
        Simulator sim(c.args);
        ASSERT_TRUE(sim.Started());
        const std::optional<std::string> error = sim.ErrLine();
        ASSERT_TRUE(error) << c.args.front();
        EXPECT_NE(error->find(c.errorMentions), std::string::npos) << *error;
        EXPECT_EQ(sim.Wait(), c.exitCode) << *error;
    }
    EXPECT_EQ(PortRegistry::Default().Resolve(12), "/dev/null");

    Simulator help({"--help"});
    ASSERT_TRUE(help.Started());
    const std::optional<std::string> usage = help.OutLine();
    ASSERT_TRUE(usage);
    EXPECT_EQ(usage->rfind("usage: orvane-cli simulate", 0), 0u);
    EXPECT_EQ(help.Wait(), 0);
}
