#include "serial/SerialPort.h"

#include <algorithm>
#include <chrono>
#include <system_error>

#include "framework/ConsoleDiagnostics.h"
#include "framework/LastError.h"

namespace {

using namespace std::chrono_literals;

constexpr DWORD kDefaultBaudRate = 9600;
constexpr DWORD kReadChunk = 1024;
// A read returns within kReadTimeout, or kReadInterval after the last byte of a burst.
constexpr std::chrono::milliseconds kReadTimeout = 10ms;
constexpr std::chrono::milliseconds kReadInterval = 1ms;
// Pause after every read, so the reader cannot spin.
constexpr std::chrono::milliseconds kReadPause = 10ms;
// The rate is changed only once the transmit queue is empty, waited for at most kDrainLimit.
constexpr std::chrono::milliseconds kDrainPoll = 10ms;
constexpr std::chrono::milliseconds kDrainLimit = 2000ms;
// A driver may count only the writes it has not yet completed, and report an empty queue while the
// adapter is still sending the last ones: the rate then also waits until the bytes written last have
// had their time on the wire at the old rate (start bit, eight data bits, stop bit), plus kWireMargin.
constexpr long long kBitsPerByte = 10;
constexpr std::chrono::milliseconds kWireMargin = 10ms;
// A write may take kWriteMarginFactor times its time on the wire plus kWriteBoundFloor before it
// fails: a device that stops reading must not hold the window (and its Stop button) for good.
constexpr long long kWriteMarginFactor = 2;
constexpr std::chrono::milliseconds kWriteBoundFloor = 2000ms;
// Every state set carries sane software flow-control characters and small levels: they do nothing
// while flow control is off, but a driver that reports none (or levels beyond its buffer) refuses the
// whole setting when they are handed back to it.
constexpr BYTE kXonChar = 0x11;
constexpr BYTE kXoffChar = 0x13;
constexpr WORD kFlowLevel = 256;
// Close gives output already written this long to leave, then discards the rest: a driver may
// otherwise hold close() until it has gone, which for a stalled line is half a minute.
constexpr std::chrono::milliseconds kCloseDrainLimit = 200ms;

CString WithNumber(const wchar_t* text, long long value) {
    CString line;
    line.Format(L"%s%I64d", text, value);
    return line;
}

CString WithCode(const wchar_t* text) {
    return WithNumber(text, static_cast<long long>(GetLastError()));
}

std::chrono::microseconds WireTime(DWORD bytes, DWORD baudRate) {
    return std::chrono::microseconds(static_cast<long long>(bytes) * kBitsPerByte * 1000000 /
                                     std::max<DWORD>(baudRate, 1));
}

void SetFlowCharacters(CommState& state) {
    state.XonChar = kXonChar;
    state.XoffChar = kXoffChar;
    state.XonLim = kFlowLevel;
    state.XoffLim = kFlowLevel;
}

CommTimeouts LineTimeouts(DWORD baudRate) {
    CommTimeouts timeouts;
    timeouts.ReadIntervalTimeout = static_cast<DWORD>(kReadInterval.count());
    timeouts.ReadTotalTimeoutMultiplier = 0;
    timeouts.ReadTotalTimeoutConstant = static_cast<DWORD>(kReadTimeout.count());
    // Whole milliseconds per byte, rounded up: at 115200 that is 1 ms for 0.17 ms on the wire.
    const long long perByteMicros =
        kWriteMarginFactor * kBitsPerByte * 1000000 / std::max<DWORD>(baudRate, 1);
    timeouts.WriteTotalTimeoutMultiplier = static_cast<DWORD>((perByteMicros + 999) / 1000);
    timeouts.WriteTotalTimeoutConstant = static_cast<DWORD>(kWriteBoundFloor.count());
    return timeouts;
}

}  // namespace

SerialPort::SerialPort(CommApi& api) : m_api(api) {}

SerialPort::~SerialPort() {
    Close();
}

bool SerialPort::Open(CWnd* owner, int port) {
    if (m_isOpen)
        return true;
    m_owner = owner;
    m_portNumber = port;

    m_hComm = m_api.Open(port);
    if (m_hComm == INVALID_HANDLE_VALUE) {
        ConsoleErr(WithNumber(L"无法打开串口 COM", port));
        return false;
    }

    auto fail = [this](const wchar_t* text) {
        ConsoleErr(text);
        m_api.Close(m_hComm);
        m_hComm = INVALID_HANDLE_VALUE;
        return false;
    };

    CommState state;
    if (!m_api.GetState(m_hComm, state))
        return fail(L"获取串口状态失败");
    state.BaudRate = kDefaultBaudRate;
    state.ByteSize = 8;
    state.Parity = 0;
    state.StopBits = 0;
    state.FlowControl = false;
    SetFlowCharacters(state);
    if (!m_api.SetState(m_hComm, state) || !LineHolds(state))
        return fail(L"设置串口状态失败");
    m_baudRate = kDefaultBaudRate;
    m_wireFreeAt = {};

    m_api.Purge(m_hComm, PURGE_TXCLEAR | PURGE_RXCLEAR);

    if (!m_api.SetTimeouts(m_hComm, LineTimeouts(kDefaultBaudRate)))
        return fail(L"设置串口超时失败");

    if (!StartReader()) {
        m_api.Close(m_hComm);
        m_hComm = INVALID_HANDLE_VALUE;
        return false;
    }
    m_isOpen = true;
    return true;
}

bool SerialPort::StartReader() {
    m_readerRunning = true;
    try {
        m_readThread = std::thread(&SerialPort::ReadLoop, this);
    } catch (const std::system_error& error) {
        m_readerRunning = false;
        ConsoleErr(WithNumber(L"启动读取线程失败，错误码：", error.code().value()));
        return false;
    }
    return true;
}

void SerialPort::ReadLoop() {
    uint8_t buffer[kReadChunk];
    while (m_readerRunning) {
        DWORD received = 0;
        if (m_api.Read(m_hComm, buffer, kReadChunk, received)) {
            for (DWORD i = 0; i < received; ++i) {
                if (!m_owner)
                    continue;
                if (m_owner->PostMessage(WM_SERIAL_BYTE, buffer[i], static_cast<LPARAM>(m_portNumber))) {
                    CString line;
                    line.Format(L"成功发送字节：0x%x", buffer[i]);
                    ConsoleOut(line);
                } else {
                    ConsoleErr(WithCode(L"PostMessage 失败，错误码："));
                }
            }
        } else {
            const DWORD error = GetLastError();
            if (error != ERROR_IO_PENDING && error != ERROR_TIMEOUT) {
                ConsoleErr(WithNumber(L"读取串口失败，错误码：", error));
                // A read that fails because Close() is tearing the line down is no news to anyone.
                if (m_owner && m_readerRunning)
                    m_owner->PostMessage(WM_SERIAL_LINE_LOST, error, static_cast<LPARAM>(m_portNumber));
                return;
            }
        }
        std::this_thread::sleep_for(kReadPause);
    }
}

bool SerialPort::Write(const uint8_t* data, uint32_t length) {
    if (!m_isOpen)
        return false;
    DWORD written = 0;
    const bool sent = m_api.Write(m_hComm, data, length, written);
    const auto now = std::chrono::steady_clock::now();
    m_wireFreeAt = std::max(m_wireFreeAt, now) + WireTime(written, m_baudRate);
    if (!sent) {
        ConsoleErr(WithCode(L"写入串口失败，错误码："));
        return false;
    }
    return written == length;
}

bool SerialPort::SetBaudRate(uint32_t baudRate) {
    if (!m_isOpen || m_hComm == INVALID_HANDLE_VALUE) {
        ConsoleErr(L"串口未打开，无法设置波特率");
        return false;
    }
    ConsoleOut(L"等待缓冲区数据发送完毕...");
    std::chrono::milliseconds elapsed{0};
    for (;;) {
        DWORD pending = 0;
        if (!m_api.OutQueue(m_hComm, pending)) {
            ConsoleErr(WithCode(L"检查串口状态失败，错误码："));
            return false;
        }
        if (pending == 0)
            break;
        std::this_thread::sleep_for(kDrainPoll);
        elapsed += kDrainPoll;
        if (elapsed >= kDrainLimit) {
            CString line;
            line.Format(L"等待数据发送超时，仍有 %u 字节未发送", pending);
            ConsoleErr(line);
            return false;
        }
    }
    std::this_thread::sleep_until(m_wireFreeAt + kWireMargin);
    ConsoleOut(L"缓冲区数据已发送完毕，准备更改波特率...");

    // The reader may also have ended by itself after a read error; it is joined and restarted then.
    const bool readerWasRunning = m_readerRunning;
    m_readerRunning = false;
    if (m_readThread.joinable())
        m_readThread.join();

    auto restartAndFail = [&](const wchar_t* text) {
        ConsoleErr(WithCode(text));
        if (readerWasRunning)
            StartReader();
        return false;
    };

    CommState state;
    if (!m_api.GetState(m_hComm, state))
        return restartAndFail(L"获取串口状态失败，错误码：");
    const CommState before = state;
    const DWORD oldRate = state.BaudRate;
    state.BaudRate = baudRate;
    // Whatever else changed on the line meanwhile, it goes back to no flow control.
    state.FlowControl = false;
    SetFlowCharacters(state);
    if (!m_api.SetState(m_hComm, state))
        return restartAndFail(L"设置波特率失败，错误码：");
    if (!LineHolds(state)) {
        // The driver took something else: put the line back to the rate it had, which is what the
        // caller goes on to believe.
        const DWORD code = GetLastError();
        m_api.SetState(m_hComm, before);
        SetLastError(code);
        return restartAndFail(L"设置波特率失败，错误码：");
    }

    m_baudRate = baudRate;
    // Writes stay bounded by their time at the new rate.
    if (!m_api.SetTimeouts(m_hComm, LineTimeouts(baudRate)))
        ConsoleErr(WithCode(L"设置串口超时失败，错误码："));

    m_api.Purge(m_hComm, PURGE_RXCLEAR);

    if (readerWasRunning && !StartReader())
        return false;

    CString line;
    line.Format(L"波特率已从 %u 成功更改为 %u", oldRate, baudRate);
    ConsoleOut(line);
    return true;
}

bool SerialPort::LineHolds(const CommState& wanted) {
    // A driver may accept a change in part and report success; only reading it back tells.
    CommState held;
    if (!m_api.GetState(m_hComm, held))
        return false;
    if (held.BaudRate != wanted.BaudRate || held.ByteSize != wanted.ByteSize ||
        held.Parity != wanted.Parity || held.StopBits != wanted.StopBits ||
        held.FlowControl != wanted.FlowControl) {
        SetLastError(m_api.SettingRefusedCode());
        return false;
    }
    return true;
}

void SerialPort::Close() {
    if (!m_isOpen)
        return;
    m_readerRunning = false;
    if (m_readThread.joinable())
        m_readThread.join();
    DWORD pending = 0;
    for (std::chrono::milliseconds waited{0};
         m_api.OutQueue(m_hComm, pending) && pending > 0 && waited < kCloseDrainLimit; waited += kDrainPoll) {
        std::this_thread::sleep_for(kDrainPoll);
    }
    if (pending > 0) {
        CString line;
        line.Format(L"关闭串口时仍有 %u 字节未发送，已丢弃", pending);
        ConsoleErr(line);
    }
    m_api.Purge(m_hComm, PURGE_TXCLEAR);
    m_api.Close(m_hComm);
    m_hComm = INVALID_HANDLE_VALUE;
    m_isOpen = false;
}

bool SerialPort::IsOpen() const {
    return m_isOpen;
}
