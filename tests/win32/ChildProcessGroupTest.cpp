// A station's children on Windows, and the console interrupts: the test program runs copies of itself
// as the children (the first argument names the part a copy plays), so that what a child sees can be
// checked from inside it. scripts/test-windows.sh runs two more parts on a console and on a COM port.
#include <windows.h>

#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <vector>

#include "framework/ChildProcessGroup.h"
#include "framework/ConsoleDiagnostics.h"
#include "framework/InterruptRequest.h"
#include "framework/TextCodec.h"
#include "serial/SerialPort.h"

namespace {

using namespace std::chrono_literals;

constexpr int kNotInterrupted = 7;
constexpr auto kChildPatience = 20s;

std::string SelfPath() {
    char path[MAX_PATH] = {};
    ::GetModuleFileNameA(nullptr, path, MAX_PATH);
    return path;
}

// Waits for an interrupt after saying it is ready; its exit code is the interrupt's.
int WaitForInterrupt() {
    InterruptRequest::Install();
    std::printf("ready\n");
    std::fflush(stdout);
    const auto until = std::chrono::steady_clock::now() + kChildPatience;
    while (!InterruptRequest::Pending() && std::chrono::steady_clock::now() < until)
        ::Sleep(10);
    return InterruptRequest::Pending() ? InterruptRequest::Pending() : kNotInterrupted;
}

// Run on a real console by scripts/test-windows.sh, which types Ctrl+C into it twice: the first is
// recorded, the second ends the process with its code at once (the return below is never reached).
int AwaitConsoleInterrupts() {
    InterruptRequest::Install();
    std::printf("ready\n");
    std::fflush(stdout);
    const auto until = std::chrono::steady_clock::now() + kChildPatience;
    while (!InterruptRequest::Pending() && std::chrono::steady_clock::now() < until)
        ::Sleep(10);
    std::printf("pending-%d-recorded\n", InterruptRequest::Pending());
    std::fflush(stdout);
    ::Sleep(static_cast<DWORD>(std::chrono::milliseconds(kChildPatience).count()));
    return kNotInterrupted;
}

// Run by scripts/test-windows.sh against COM<port>, a pty whose other end nobody reads: frames are
// written until one fails, which must happen within its bound (twice its time on the wire plus two
// seconds) with the write-failure line, rather than hold the program for good.
int WriteToAStalledLine(int port) {
    SerialPort line;
    if (!line.Open(nullptr, port)) {
        std::printf("COM%d did not open\n", port);
        return 2;
    }
    CString failure;
    SetConsoleSink([&](ConsoleStream, const std::string& gbk) {
        if (gbk.rfind(WideToAnsi(L"写入串口失败"), 0) == 0)
            failure = AnsiToWide(gbk);
    });
    const std::vector<uint8_t> frame(256, 0x5A);
    for (int i = 0; i < 100000; ++i) {
        const auto start = std::chrono::steady_clock::now();
        if (!line.Write(frame.data(), static_cast<uint32_t>(frame.size()))) {
            const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
                std::chrono::steady_clock::now() - start);
            std::printf("write %d failed after %lld ms: %s\n", i, static_cast<long long>(took.count()),
                        failure.ToUtf8().c_str());
            return 0;
        }
    }
    std::printf("every write went out\n");
    return 1;
}

TEST(ChildProcessGroup, InterruptAllReachesEveryChildOnce) {
    ChildProcessGroup group;
    int ready = 0;
    const auto exits = group.Run(SelfPath(), {{"--wait-for-interrupt"}, {"--wait-for-interrupt"}},
                                 [&](size_t, bool, const std::string& line) {
                                     if (line == "ready" && ++ready == 2)
                                         group.InterruptAll();
                                 });
    ASSERT_EQ(exits.size(), 2u);
    for (const ChildExit& exit : exits) {
        EXPECT_EQ(exit.startError, "");
        EXPECT_EQ(exit.exitCode, 143);
    }
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 2 && std::string(argv[1]) == "--wait-for-interrupt")
        return WaitForInterrupt();
    if (argc >= 3 && std::string(argv[1]) == "--write-to-stalled-line")
        return WriteToAStalledLine(std::atoi(argv[2]));
    if (argc >= 2 && std::string(argv[1]) == "--console-interrupts")
        return AwaitConsoleInterrupts();
    testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}
