// SerialPort over a real pseudo-terminal: the test plays the device on the master side.
#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <thread>

#include "framework/LastError.h"
#include "serial/SerialPort.h"
#include "tests/support/DiagCapture.h"
#include "tests/support/FaultyCommApi.h"
#include "tests/support/Pty.h"
#include "tests/support/TempRegistry.h"
#include "tests/support/TestOwner.h"

namespace {

using namespace std::chrono_literals;
using Bytes = std::vector<uint8_t>;

constexpr int kPort = 5;

// The slave's line settings as the kernel holds them.
speed_t SlaveSpeed(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    termios tio{};
    ::tcgetattr(fd, &tio);
    ::close(fd);
    return ::cfgetospeed(&tio);
}

class SerialPortTest : public ::testing::Test {
protected:
    void SetUp() override { registry.Link("COM5", pty.SlavePath()); }

    TempRegistry registry;
    Pty pty;
    TestOwner owner;
    DiagCapture diag;
};

TEST_F(SerialPortTest, OpensByComNumberAt9600EightNOne) {
    SerialPort port;
    ASSERT_TRUE(port.Open(&owner, kPort));
    EXPECT_TRUE(port.IsOpen());
    EXPECT_EQ(SlaveSpeed(pty.SlavePath()), B9600);
    const int fd = ::open(pty.SlavePath().c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    termios tio{};
    ::tcgetattr(fd, &tio);
    ::close(fd);
    EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
    EXPECT_FALSE(tio.c_cflag & PARENB);
    EXPECT_FALSE(tio.c_cflag & CSTOPB);
    EXPECT_FALSE(tio.c_lflag & (ICANON | ECHO));  // binary line: no echo, no line editing
    // A second Open is a no-op reporting success.
    EXPECT_TRUE(port.Open(nullptr, 99));
}

TEST_F(SerialPortTest, SecondOpenOfTheSamePortIsRefused) {
    SerialPort first;
    ASSERT_TRUE(first.Open(&owner, kPort));
    SerialPort second;
    EXPECT_FALSE(second.Open(&owner, kPort));
    EXPECT_FALSE(second.IsOpen());
    EXPECT_TRUE(diag.Contains(ConsoleStream::Error, L"无法打开串口 COM5"));
    first.Close();
    EXPECT_TRUE(second.Open(&owner, kPort));
}

TEST_F(SerialPortTest, MissingPortFailsAndAnotherNumberStillOpens) {
    SerialPort port;
    EXPECT_FALSE(port.Open(&owner, 12));
    EXPECT_TRUE(diag.Contains(ConsoleStream::Error, L"无法打开串口 COM12"));
    registry.Link("COM12", (registry.Root() / "no-such-device").string());
    EXPECT_FALSE(port.Open(&owner, 12));
    EXPECT_TRUE(port.Open(&owner, kPort));
}

TEST_F(SerialPortTest, EveryByteIsPostedInOrderWithItsPortNumber) {
    SerialPort port;
    ASSERT_TRUE(port.Open(&owner, kPort));
    Bytes sent;
    for (int i = 0; i < 3000; ++i)
        sent.push_back(static_cast<uint8_t>(i * 7));
    // Several writes with gaps, so the bytes arrive over many reads.
    for (size_t off = 0; off < sent.size(); off += 700) {
        pty.Write(Bytes(sent.begin() + off, sent.begin() + std::min(sent.size(), off + 700)));
        std::this_thread::yield();
    }
    const auto messages = owner.WaitForCount(sent.size());
    ASSERT_TRUE(messages.has_value());
    ASSERT_EQ(messages->size(), sent.size());
    for (size_t i = 0; i < sent.size(); ++i) {
        ASSERT_EQ((*messages)[i].message, WM_SERIAL_BYTE);
        ASSERT_EQ((*messages)[i].wParam, sent[i]) << "byte " << i;
        ASSERT_EQ((*messages)[i].lParam, kPort);
    }
    EXPECT_TRUE(diag.Contains(ConsoleStream::Output, CString(L"成功发送字节：0x") + CString(L"e")));
}

TEST_F(SerialPortTest, WriteSendsTheWholeFrame) {
    SerialPort port;
    ASSERT_TRUE(port.Open(&owner, kPort));
    Bytes frame(59);
    for (size_t i = 0; i < frame.size(); ++i)
        frame[i] = static_cast<uint8_t>(0xA0 + i);
    ASSERT_TRUE(port.Write(frame.data(), static_cast<uint32_t>(frame.size())));
    EXPECT_EQ(pty.Read(frame.size()), frame);
}

TEST_F(SerialPortTest, WriteOnAClosedPortFailsQuietly) {
    SerialPort port;
    const uint8_t byte = 0x55;
    EXPECT_FALSE(port.Write(&byte, 1));
    ASSERT_TRUE(port.Open(&owner, kPort));
    port.Close();
    EXPECT_FALSE(port.Write(&byte, 1));
    EXPECT_TRUE(diag.Lines().empty());
}

TEST_F(SerialPortTest, CloseThenOpenAgain) {
    SerialPort port;
    ASSERT_TRUE(port.Open(&owner, kPort));
    port.Close();
    port.Close();  // closing twice does nothing
    EXPECT_FALSE(port.IsOpen());
    ASSERT_TRUE(port.Open(&owner, kPort));
    pty.Write({0x42});
    const auto messages = owner.WaitForCount(1);
    ASSERT_TRUE(messages.has_value());
    EXPECT_EQ((*messages)[0].wParam, 0x42u);
}

TEST_F(SerialPortTest, SetBaudRateChangesRateKeepsLineAndDiscardsInputReceivedMeanwhile) {
    FaultyCommApi api;
    SerialPort port(api);
    ASSERT_TRUE(port.Open(&owner, kPort));
    // Bytes that arrive while the reader is stopped for the change must not be delivered.
    api.beforeSetState = [&](CommHandle, const CommState&) {
        pty.Write({0xEE, 0xEE, 0xEE});
        return true;
    };
    ASSERT_TRUE(port.SetBaudRate(115200));
    api.beforeSetState = nullptr;
    EXPECT_EQ(SlaveSpeed(pty.SlavePath()), B115200);
    pty.Write({0x11, 0x22});
    ASSERT_TRUE(owner.WaitForCount(2).has_value());
    EXPECT_EQ(owner.Bytes(), (Bytes{0x11, 0x22}));

    EXPECT_TRUE(diag.Contains(ConsoleStream::Output, L"等待缓冲区数据发送完毕..."));
    EXPECT_TRUE(diag.Contains(ConsoleStream::Output, L"缓冲区数据已发送完毕，准备更改波特率..."));
    EXPECT_TRUE(diag.Contains(ConsoleStream::Output, L"波特率已从 9600 成功更改为 115200"));

    // Back to 9600, and the same rate once more, which still runs the whole sequence.
    ASSERT_TRUE(port.SetBaudRate(9600));
    ASSERT_TRUE(port.SetBaudRate(9600));
    EXPECT_TRUE(diag.Contains(ConsoleStream::Output, L"波特率已从 115200 成功更改为 9600"));
    EXPECT_TRUE(diag.Contains(ConsoleStream::Output, L"波特率已从 9600 成功更改为 9600"));
    EXPECT_EQ(SlaveSpeed(pty.SlavePath()), B9600);
}

TEST_F(SerialPortTest, SetBaudRateOnAClosedPort) {
    SerialPort port;
    EXPECT_FALSE(port.SetBaudRate(115200));
    EXPECT_TRUE(diag.Contains(ConsoleStream::Error, L"串口未打开，无法设置波特率"));
}

TEST_F(SerialPortTest, DrainTimeOutLeavesRateAndReaderAlone) {
    FaultyCommApi api;
    api.outQueue = [](DWORD& count) {
        count = 5;
        return true;
    };
    SerialPort port(api);
    ASSERT_TRUE(port.Open(&owner, kPort));
    const auto start = std::chrono::steady_clock::now();
    EXPECT_FALSE(port.SetBaudRate(115200));
    EXPECT_GE(std::chrono::steady_clock::now() - start, 1900ms);
    EXPECT_TRUE(diag.Contains(ConsoleStream::Error, L"等待数据发送超时，仍有 5 字节未发送"));
    EXPECT_EQ(SlaveSpeed(pty.SlavePath()), B9600);
    pty.Write({0x01});
    EXPECT_TRUE(owner.WaitForCount(1).has_value());
}

TEST_F(SerialPortTest, FailedRateChangeRestartsTheReader) {
    FaultyCommApi api;
    SerialPort port(api);
    ASSERT_TRUE(port.Open(&owner, kPort));
    api.beforeSetState = [](CommHandle, const CommState&) {
        SetLastError(22);
        return false;
    };
    EXPECT_FALSE(port.SetBaudRate(115200));
    EXPECT_TRUE(diag.Contains(ConsoleStream::Error, L"设置波特率失败，错误码：22"));
    EXPECT_EQ(SlaveSpeed(pty.SlavePath()), B9600);
    pty.Write({0x33});
    ASSERT_TRUE(owner.WaitForCount(1).has_value());
    EXPECT_EQ(owner.Bytes(), Bytes{0x33});
}

TEST_F(SerialPortTest, HangUpEndsTheReaderWithADiagnostic) {
    SerialPort port;
    ASSERT_TRUE(port.Open(&owner, kPort));
    pty.HangUp();
    EXPECT_TRUE(diag.WaitFor(ConsoleStream::Error, L"读取串口失败，错误码：5"));
    // The owner hears of it once, with the code and the port, so it can end what it was doing.
    const auto messages = owner.WaitForCount(1);
    ASSERT_TRUE(messages.has_value());
    EXPECT_EQ((*messages)[0].message, WM_SERIAL_LINE_LOST);
    EXPECT_EQ((*messages)[0].wParam, 5u);
    EXPECT_EQ((*messages)[0].lParam, kPort);
    EXPECT_TRUE(port.IsOpen());  // the port still reports open; only the reader has ended
    const uint8_t byte = 0;
    EXPECT_FALSE(port.Write(&byte, 1));
    port.Close();
}

TEST_F(SerialPortTest, OneOffReadErrorStopsDeliveryUntilTheNextRateChange) {
    FaultyCommApi api;
    std::atomic<int> failures{1};
    api.beforeRead = [&](CommHandle) {
        if (failures.fetch_sub(1) > 0) {
            SetLastError(71);
            return false;
        }
        return true;
    };
    SerialPort port(api);
    ASSERT_TRUE(port.Open(&owner, kPort));
    ASSERT_TRUE(diag.WaitFor(ConsoleStream::Error, L"读取串口失败，错误码：71"));
    const auto lost = owner.WaitForCount(1);
    ASSERT_TRUE(lost.has_value());
    EXPECT_EQ((*lost)[0].message, WM_SERIAL_LINE_LOST);
    EXPECT_EQ((*lost)[0].wParam, 71u);
    pty.Write({0x10, 0x20});
    // The reader has ended: nothing more may arrive. Waiting a few read cycles shows it.
    EXPECT_FALSE(owner.WaitForCount(2, 100ms).has_value());
    owner.Clear();
    ASSERT_TRUE(port.SetBaudRate(9600));  // discards the waiting bytes and starts a fresh reader
    pty.Write({0x30});
    ASSERT_TRUE(owner.WaitForCount(1).has_value());
    EXPECT_EQ(owner.Bytes(), Bytes{0x30});
}

TEST_F(SerialPortTest, TimeoutCodesDoNotEndTheReader) {
    FaultyCommApi api;
    std::atomic<int> calls{0};
    api.beforeRead = [&](CommHandle) {
        const int n = calls++;
        if (n < 2) {
            SetLastError(n == 0 ? ERROR_IO_PENDING : ERROR_TIMEOUT);
            return false;
        }
        return true;
    };
    SerialPort port(api);
    ASSERT_TRUE(port.Open(&owner, kPort));
    pty.Write({0x77});
    ASSERT_TRUE(owner.WaitForCount(1).has_value());
    for (const DiagLine& line : diag.Lines())
        EXPECT_NE(line.stream, ConsoleStream::Error);
}

// What a posted byte costs end to end: host writes a full 59-byte block, the device answers with an
// 8-byte acknowledgement, and the host has all 8 bytes posted.
TEST_F(SerialPortTest, RoundTripLatencyOfABlockAndItsAck) {
    SerialPort port;
    ASSERT_TRUE(port.Open(&owner, kPort));
    const Bytes block(59, 0x5A);
    const Bytes ack(8, 0xA5);
    std::vector<double> millis;
    for (int i = 0; i < 40; ++i) {
        owner.Clear();
        const auto start = std::chrono::steady_clock::now();
        ASSERT_TRUE(port.Write(block.data(), static_cast<uint32_t>(block.size())));
        ASSERT_EQ(pty.Read(block.size()).size(), block.size());
        pty.Write(ack);
        ASSERT_TRUE(owner.WaitForCount(ack.size()).has_value());
        millis.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(millis.begin(), millis.end());
    const double median = millis[millis.size() / 2];
    const double p99 = millis[millis.size() * 99 / 100];
    RecordProperty("median_ms", std::to_string(median));
    RecordProperty("p99_ms", std::to_string(p99));
    std::printf("round trip 59+8 bytes: median %.2f ms, p99 %.2f ms\n", median, p99);
    // A read returns within 10 ms and is followed by a 10 ms pause: one cycle bounds the latency.
    EXPECT_LT(p99, 60.0);
}

}  // namespace
