// SerialPort over a real pseudo-terminal: the test plays the device on the master side.
#include <fcntl.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <functional>
#include <mutex>
#include <optional>
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

constexpr tcflag_t kFlowInput = IXON | IXOFF | IXANY;
constexpr cc_t kStartChar = 0x01;  // a setting of the driver's that Open must keep

class SerialPortTest : public ::testing::Test {
protected:
    void SetUp() override { registry.Link("COM5", pty.SlavePath()); }

    // The line settings the kernel holds for the port.
    termios Line() const {
        termios tio{};
        EXPECT_EQ(::tcgetattr(pty.SlaveFd(), &tio), 0);
        return tio;
    }
    speed_t SlaveSpeed() const {
        const termios tio = Line();
        return ::cfgetospeed(&tio);
    }
    // What an earlier program may leave on a line: flow control of both kinds, cooked input and
    // output, and (with `framing`) 7O2; plus settings of the driver's own that are not ours to change.
    void SpoilLine(bool framing) const {
        termios tio = Line();
        if (framing)
            tio.c_cflag = (tio.c_cflag & ~CSIZE) | CS7 | PARENB | PARODD | CSTOPB;
        tio.c_cflag |= CRTSCTS;
        tio.c_cflag &= ~HUPCL;
        tio.c_iflag |= kFlowInput | ICRNL;
        tio.c_oflag |= OPOST | ONLCR;
        tio.c_lflag |= ICANON | ECHO;
        tio.c_cc[VSTART] = kStartChar;
        ASSERT_EQ(::tcsetattr(pty.SlaveFd(), TCSANOW, &tio), 0);
    }
    // Raw 8N1 without flow control, and the driver's own settings as SpoilLine left them.
    void ExpectRawEightNOneKeepingTheRest() const {
        const termios tio = Line();
        EXPECT_EQ(tio.c_cflag & CSIZE, static_cast<tcflag_t>(CS8));
        EXPECT_FALSE(tio.c_cflag & (PARENB | CSTOPB));
        EXPECT_FALSE(tio.c_cflag & CRTSCTS);
        EXPECT_FALSE(tio.c_iflag & (kFlowInput | ICRNL));
        EXPECT_FALSE(tio.c_oflag & OPOST);
        EXPECT_FALSE(tio.c_lflag & (ICANON | ECHO));
        EXPECT_FALSE(tio.c_cflag & HUPCL);
        EXPECT_EQ(tio.c_cc[VSTART], kStartChar);
    }

    TempRegistry registry;
    Pty pty;
    TestOwner owner;
    DiagCapture diag;
};

TEST_F(SerialPortTest, OpensByComNumberAt9600RawEightNOneWithoutFlowControl) {
    SpoilLine(true);
    SerialPort port;
    ASSERT_TRUE(port.Open(&owner, kPort));
    EXPECT_TRUE(port.IsOpen());
    EXPECT_EQ(SlaveSpeed(), B9600);
    ExpectRawEightNOneKeepingTheRest();
    // A second Open is a no-op reporting success.
    EXPECT_TRUE(port.Open(nullptr, 99));

    // XON and XOFF inside binary frames are data both ways: none is swallowed, and an XOFF from the
    // device does not stop what the host sends.
    const Bytes inbound{0x7E, 0x13, 0x00, 0x11, 0x13, 0x0D, 0x0A, 0x11};
    pty.Write(inbound);
    ASSERT_TRUE(owner.WaitForCount(inbound.size()).has_value());
    EXPECT_EQ(owner.Bytes(), inbound);
    const Bytes outbound{0x13, 0x11, 0x0A, 0x55};
    ASSERT_TRUE(port.Write(outbound.data(), static_cast<uint32_t>(outbound.size())));
    EXPECT_EQ(pty.Read(outbound.size()), outbound);
}

TEST_F(SerialPortTest, OpenDiscardsWhatTheLineHeldBefore) {
    pty.Write({0xEE, 0xEE, 0xEE});  // input nobody has read yet
    SerialPort port;
    ASSERT_TRUE(port.Open(&owner, kPort));
    pty.Write({0x42});
    ASSERT_TRUE(owner.WaitForCount(1).has_value());
    EXPECT_EQ(owner.Bytes(), Bytes{0x42});
    const uint8_t byte = 0x43;
    ASSERT_TRUE(port.Write(&byte, 1));
    EXPECT_EQ(pty.Read(1), Bytes{0x43});
}

// Each step of Open that can fail names itself alone, closes the handle (the port is free again at
// once) and leaves the object closed.
TEST_F(SerialPortTest, OpenFailuresNameTheStepAndReleaseThePort) {
    auto refuse = [](CommHandle) {
        SetLastError(5);
        return false;
    };
    const std::function<void(FaultyCommApi&)> faults[] = {
        [&](FaultyCommApi& api) { api.beforeGetState = refuse; },
        [&](FaultyCommApi& api) { api.beforeSetState = [&](CommHandle h, CommState&) { return refuse(h); }; },
        [&](FaultyCommApi& api) { api.beforeSetTimeouts = refuse; },
    };
    const wchar_t* says[] = {L"获取串口状态失败", L"设置串口状态失败", L"设置串口超时失败"};
    for (size_t i = 0; i < std::size(faults); ++i) {
        SCOPED_TRACE(i);
        FaultyCommApi api;
        faults[i](api);
        diag.Clear();
        SerialPort port(api);
        EXPECT_FALSE(port.Open(&owner, kPort));
        EXPECT_FALSE(port.IsOpen());
        ASSERT_EQ(diag.Lines().size(), 1u);
        EXPECT_EQ(diag.Lines()[0].stream, ConsoleStream::Error);
        EXPECT_EQ(diag.Lines()[0].text, CString(says[i]));
        SerialPort other;
        EXPECT_TRUE(other.Open(&owner, kPort));
    }
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

// A device that stops reading fills the line's buffers; a write then fails once its bound (its time
// on the wire, doubled, plus two seconds) has passed, instead of holding the caller for good.
TEST_F(SerialPortTest, WriteToADeviceThatStopsReadingFailsWithinItsBound) {
    SerialPort port;
    ASSERT_TRUE(port.Open(&owner, kPort));
    const Bytes frame(256, 0x5A);
    auto took = std::chrono::steady_clock::duration::zero();
    bool failed = false;
    // The pty's buffers hold some tens of kilobytes; nothing reads the master side.
    for (int i = 0; i < 4096 && !failed; ++i) {
        const auto start = std::chrono::steady_clock::now();
        failed = !port.Write(frame.data(), static_cast<uint32_t>(frame.size()));
        took = std::chrono::steady_clock::now() - start;
    }
    ASSERT_TRUE(failed);
    EXPECT_GE(took, 2s);
    EXPECT_TRUE(diag.Contains(ConsoleStream::Error, L"写入串口失败，错误码：110"));
    EXPECT_TRUE(port.IsOpen());
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

// The test keeps the slave open throughout, as the simulator does: the exclusive hold must go with
// Close, or nobody but root could open the port again.
TEST_F(SerialPortTest, CloseThenOpenAgain) {
    SerialPort port;
    ASSERT_TRUE(port.Open(&owner, kPort));
    int exclusive = 0;
    ASSERT_EQ(::ioctl(pty.SlaveFd(), TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 1) << "programs that take no lock must be kept out while the port is open";
    port.Close();
    ASSERT_EQ(::ioctl(pty.SlaveFd(), TIOCGEXCL, &exclusive), 0);
    EXPECT_EQ(exclusive, 0);
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
    SpoilLine(false);  // flow control and line editing, turned on behind the port's back
    // Bytes that arrive while the reader is stopped for the change must not be delivered.
    api.beforeSetState = [&](CommHandle, const CommState&) {
        pty.Write({0xEE, 0xEE, 0xEE});
        return true;
    };
    ASSERT_TRUE(port.SetBaudRate(115200));
    api.beforeSetState = nullptr;
    EXPECT_EQ(SlaveSpeed(), B115200);
    ExpectRawEightNOneKeepingTheRest();
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
    EXPECT_EQ(SlaveSpeed(), B9600);

    // Rates without a table entry of ours are set and reported as the numbers they are.
    ASSERT_TRUE(port.SetBaudRate(250000));
    termios tio = Line();
    ASSERT_EQ(::cfsetospeed(&tio, B2000000), 0);
    ASSERT_EQ(::tcsetattr(pty.SlaveFd(), TCSANOW, &tio), 0);
    ASSERT_TRUE(port.SetBaudRate(9600));
    EXPECT_TRUE(diag.Contains(ConsoleStream::Output, L"波特率已从 9600 成功更改为 250000"));
    EXPECT_TRUE(diag.Contains(ConsoleStream::Output, L"波特率已从 2000000 成功更改为 9600"));
    ExpectRawEightNOneKeepingTheRest();
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
    EXPECT_EQ(SlaveSpeed(), B9600);
    pty.Write({0x01});
    EXPECT_TRUE(owner.WaitForCount(1).has_value());
}

TEST_F(SerialPortTest, FailedRateChangeRestartsTheReader) {
    FaultyCommApi api;
    SerialPort port(api);
    ASSERT_TRUE(port.Open(&owner, kPort));
    api.beforeSetState = [](CommHandle, const CommState&) {
        SetLastError(16);
        return false;
    };
    EXPECT_FALSE(port.SetBaudRate(115200));
    EXPECT_TRUE(diag.Contains(ConsoleStream::Error, L"设置波特率失败，错误码：16"));
    EXPECT_EQ(SlaveSpeed(), B9600);
    pty.Write({0x33});
    ASSERT_TRUE(owner.WaitForCount(1).has_value());
    EXPECT_EQ(owner.Bytes(), Bytes{0x33});

    // A driver that reports success but takes another rate: only reading the line back shows it.
    // The line goes back to the rate it had, and the reader runs on.
    api.beforeSetState = [](CommHandle, CommState& state) {
        if (state.BaudRate == 115200)
            state.BaudRate = 57600;
        return true;
    };
    diag.Clear();
    owner.Clear();
    EXPECT_FALSE(port.SetBaudRate(115200));
    EXPECT_TRUE(diag.Contains(ConsoleStream::Error, L"设置波特率失败，错误码：22"));
    EXPECT_FALSE(diag.Contains(ConsoleStream::Output, L"波特率已从 9600 成功更改为 115200"));
    EXPECT_EQ(SlaveSpeed(), B9600);
    pty.Write({0x34});
    ASSERT_TRUE(owner.WaitForCount(1).has_value());
    EXPECT_EQ(owner.Bytes(), Bytes{0x34});
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

// A read returns within its total time-out even while bytes keep coming closer together than the
// interval time-out: the reader must get round to its stop flag. A read that kept going would fill
// its buffer, far more than the line can carry in the read's 10 ms however fast the machine.
TEST_F(SerialPortTest, ReadKeepsItsTotalDeadlineUnderAContinuousStream) {
    CommApi& api = SystemCommApi();
    const CommHandle handle = api.Open(kPort);
    ASSERT_NE(handle, INVALID_HANDLE_VALUE);
    // The interval is longer than the port's own, so that no scheduling gap of the writer can end
    // the read: only the total time-out may.
    CommTimeouts timeouts;
    timeouts.ReadIntervalTimeout = 50;
    timeouts.ReadTotalTimeoutConstant = 10;
    ASSERT_TRUE(api.SetTimeouts(handle, timeouts));
    // The writer stays ahead of the reader, so data is always waiting when a read asks for more.
    const int flags = ::fcntl(pty.MasterFd(), F_GETFL);
    ASSERT_EQ(::fcntl(pty.MasterFd(), F_SETFL, flags | O_NONBLOCK), 0);
    std::atomic<bool> streaming{true};
    std::thread writer([&] {
        const std::vector<uint8_t> chunk(4096, 0x5A);
        while (streaming) {
            if (::write(pty.MasterFd(), chunk.data(), chunk.size()) < 0)
                std::this_thread::yield();  // full: the reader has not caught up yet
        }
    });
    std::vector<uint8_t> buffer(64 << 20);
    DWORD received = 0;
    const bool ok = api.Read(handle, buffer.data(), static_cast<DWORD>(buffer.size()), received);
    streaming = false;
    writer.join();
    api.Close(handle);
    EXPECT_TRUE(ok);
    EXPECT_GT(received, 0u);
    EXPECT_LT(received, buffer.size()) << "the read ended by filling its buffer, not by its deadline";
}

// A driver may hold close() until unsent output has gone, half a minute on a stalled line. Close
// gives the output a moment, then discards it, so that the driver has nothing left to wait for.
TEST_F(SerialPortTest, CloseDiscardsOutputThatCannotDrain) {
    FaultyCommApi api;
    SerialPort port(api);
    ASSERT_TRUE(port.Open(&owner, kPort));
    std::mutex mutex;
    bool outputPending = true;
    std::optional<bool> pendingAtClose;
    api.outQueue = [&](DWORD& count) {
        std::lock_guard<std::mutex> lock(mutex);
        count = outputPending ? 4000 : 0;
        return true;
    };
    api.beforePurge = [&](CommHandle, DWORD flags) {
        std::lock_guard<std::mutex> lock(mutex);
        if (flags & PURGE_TXCLEAR)
            outputPending = false;
        return true;
    };
    api.beforeClose = [&](CommHandle) {  // where the driver would wait
        std::lock_guard<std::mutex> lock(mutex);
        pendingAtClose = outputPending;
    };
    port.Close();
    EXPECT_EQ(pendingAtClose, std::optional<bool>(false)) << "closed with the output still queued";
    EXPECT_FALSE(port.IsOpen());
    EXPECT_TRUE(diag.Contains(ConsoleStream::Error, L"关闭串口时仍有 4000 字节未发送，已丢弃"));
}

// A full 59-byte block out and its 8-byte acknowledgement back, forty times over: every byte of each
// arrives, in order. The time it takes is measured and printed; how fast it must be is the
// benchmarks' business (make bench), not a test's.
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
        ASSERT_EQ(owner.Bytes(), ack);
        millis.push_back(
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count());
    }
    std::sort(millis.begin(), millis.end());
    const double median = millis[millis.size() / 2];
    const double p99 = millis[millis.size() * 99 / 100];
    RecordProperty("median_ms", std::to_string(median));
    RecordProperty("p99_ms", std::to_string(p99));
    std::printf("round trip 59+8 bytes: median %.2f ms, p99 %.2f ms\n", median, p99);
}

}  // namespace
