// The simulator's I/O loop on real pseudo-terminals, in this process: port numbers, the line
// surviving the host's reopen, the quiet-line rule, and the hang-up fault.
#include <gtest/gtest.h>

#include <condition_variable>
#include <fstream>
#include <mutex>
#include <thread>

#include "tests/sim/SimTestFrames.h"
#include "tests/sim/SimTestIo.h"
#include "tests/support/TempRegistry.h"
#include "tools/sim/SimulatorLoop.h"

using namespace simtest;

namespace {

class Lines {
public:
    SimulatorLoop::LineSink Sink() {
        return [this](const std::string& line) {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_lines.push_back(line);
            m_cv.notify_all();
        };
    }
    std::optional<std::string> WaitFor(size_t count, std::chrono::milliseconds timeout = kIoTimeout) {
        std::unique_lock<std::mutex> lock(m_mutex);
        if (!m_cv.wait_for(lock, timeout, [&] { return m_lines.size() >= count; }))
            return std::nullopt;
        return m_lines[count - 1];
    }
    std::string All() {
        std::lock_guard<std::mutex> lock(m_mutex);
        std::string all;
        for (const std::string& line : m_lines)
            all += line + "\n";
        return all;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::vector<std::string> m_lines;
};

// A loop serving on its own thread until the test ends.
class RunningLoop {
public:
    explicit RunningLoop(SimulatorOptions options)
        : loop(std::move(options), PortRegistry::Default(), out.Sink(), err.Sink()) {
        if (::pipe(m_stop) != 0)
            throw std::runtime_error("pipe failed");
        started = loop.Start();
        if (started == 0)
            m_thread = std::thread([this] { result = loop.Run(m_stop[0]); });
    }
    ~RunningLoop() { Stop(); }
    void Stop() {
        if (m_thread.joinable()) {
            const char byte = 1;
            [[maybe_unused]] ssize_t n = ::write(m_stop[1], &byte, 1);
            m_thread.join();
        }
        if (m_stop[0] >= 0)
            ::close(m_stop[0]), ::close(m_stop[1]);
        m_stop[0] = m_stop[1] = -1;
    }
    std::string Device() const { return PortRegistry::Default().Resolve(loop.Port()); }

    Lines out;
    Lines err;
    SimulatorLoop loop;
    int started = -1;
    int result = -1;

private:
    int m_stop[2] = {-1, -1};
    std::thread m_thread;
};

}  // namespace

TEST(SimulatorLoopTest, TakesTheLowestFreeNumberFromNineOrExactlyTheOneAskedFor) {
    TempRegistry registry;
    registry.Link("COM9", "/dev/null");
    Lines out, err;
    SimulatorOptions any;
    SimulatorLoop first(any, PortRegistry::Default(), out.Sink(), err.Sink());
    ASSERT_EQ(first.Start(), 0) << err.All();
    EXPECT_EQ(first.Port(), 10);
    const std::string ready = *out.WaitFor(1);
    EXPECT_EQ(ready, "READY COM10 " + PortRegistry::Default().Resolve(10));

    SimulatorOptions taken;
    taken.port = 9;
    SimulatorLoop refused(taken, PortRegistry::Default(), out.Sink(), err.Sink());
    EXPECT_EQ(refused.Start(), 2);
    EXPECT_NE(err.All().find("COM9 is taken"), std::string::npos) << err.All();
    taken.port = 10;
    SimulatorLoop alsoRefused(taken, PortRegistry::Default(), out.Sink(), err.Sink());
    EXPECT_EQ(alsoRefused.Start(), 2);

    SimulatorOptions exact;
    exact.port = 200;
    {
        SimulatorLoop asked(exact, PortRegistry::Default(), out.Sink(), err.Sink());
        ASSERT_EQ(asked.Start(), 0) << err.All();
        EXPECT_EQ(asked.Port(), 200);
        EXPECT_FALSE(PortRegistry::Default().Resolve(200).empty());
    }
    EXPECT_TRUE(PortRegistry::Default().Resolve(200).empty()) << "the link goes with the simulator";
    EXPECT_EQ(PortRegistry::Default().Resolve(9), "/dev/null") << "somebody else's link stays";
}

TEST(SimulatorLoopTest, LineSurvivesTheHostReopeningAndGarbageBeforeAQuery) {
    TempRegistry registry;
    SimulatorOptions options;
    options.modelGbk = "abc";
    RunningLoop sim(options);
    ASSERT_EQ(sim.started, 0) << sim.err.All();
    const Bytes reply = {0x01, 0x69, 0x03, 0x61, 0x62, 0x63, 0x65, 0x10};
    for (int open = 0; open < 3; ++open) {
        const int fd = OpenLine(sim.Device());
        ASSERT_GE(fd, 0);
        // A false start ("6A 32" promises a 59-byte block) ahead of the query.
        Bytes stream = {0x07, 0x6A, 0x00, 0x00, 0x00, 0x00, 0x32};
        const Bytes query = ModelQuery(1, 0);
        stream.insert(stream.end(), query.begin(), query.end());
        ASSERT_TRUE(WriteAll(fd, stream));
        EXPECT_EQ(ReadBytes(fd, reply.size()), reply) << "open " << open;
        ::close(fd);
    }
    sim.Stop();
    EXPECT_EQ(sim.result, 0);
    EXPECT_TRUE(sim.Device().empty());
}

TEST(SimulatorLoopTest, HangUpDropsTheLineAndBringsItBackUnderTheSameNumber) {
    TempRegistry registry;
    SimulatorOptions options;
    options.hangupAt = 1;
    options.summaryFile = (registry.Root() / "summary.json").string();
    RunningLoop sim(options);
    ASSERT_EQ(sim.started, 0) << sim.err.All();
    const std::string firstReady = *sim.out.WaitFor(1);

    const int fd = OpenLine(sim.Device());
    ASSERT_GE(fd, 0);
    Bytes stream = Trigger();
    const Bytes block = Block(1, 0, 1, {0x42});
    stream.insert(stream.end(), block.begin(), block.end());
    ASSERT_TRUE(WriteAll(fd, stream));
    EXPECT_TRUE(WaitForHangUp(fd)) << "the host sees the cable pulled";
    ::close(fd);

    const std::optional<std::string> secondReady = sim.out.WaitFor(2);
    ASSERT_TRUE(secondReady) << sim.err.All();
    const std::string prefix = "READY COM" + std::to_string(sim.loop.Port()) + " ";
    EXPECT_EQ(secondReady->rfind(prefix, 0), 0u) << *secondReady;
    EXPECT_EQ(secondReady->substr(prefix.size()), sim.Device());

    const int again = OpenLine(sim.Device());
    ASSERT_GE(again, 0);
    ASSERT_TRUE(WriteAll(again, stream));
    EXPECT_EQ(ReadBytes(again, 8), Ack(1, 0, 1)) << "the hang-up happens once";
    ::close(again);

    sim.Stop();
    std::ifstream summary(options.summaryFile);
    const std::string json((std::istreambuf_iterator<char>(summary)), std::istreambuf_iterator<char>());
    EXPECT_NE(json.find("\"transfersCompleted\": 2"), std::string::npos) << json;
}
