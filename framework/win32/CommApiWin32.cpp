// The comm calls on Windows: the device namespace path \\.\COM<n> opened exclusively for overlapped
// I/O, and the DCB, purge, time-out, read, write and error-status calls of the comm API. Failures
// leave the Win32 error code in GetLastError(), where the serial line reads it.
//
// Overlapped, so that a write never queues behind the reader thread's pending read on the same
// handle; each call still waits for its own completion, as CommApi promises. While a port is open the
// process asks for 1 ms timer resolution: Windows otherwise ticks every 15.6 ms, and the line's 10 ms
// read time-out and pause would each take a whole tick or two.
#include <windows.h>
// After windows.h, which it needs.
#include <timeapi.h>

#include <cwchar>

#include "framework/CommApi.h"

namespace {

constexpr UINT kTimerResolutionMs = 1;
// Past a write's own bound the driver is given this long to complete or cancel it before the wait
// gives up on the driver as well.
constexpr DWORD kCancelGraceMs = 500;

// A manual-reset event for one overlapped call, closed with it.
class CallEvent {
public:
    CallEvent() : m_event(::CreateEventW(nullptr, TRUE, FALSE, nullptr)) {}
    ~CallEvent() {
        if (m_event)
            ::CloseHandle(m_event);
    }
    CallEvent(const CallEvent&) = delete;
    CallEvent& operator=(const CallEvent&) = delete;
    HANDLE Get() const { return m_event; }

private:
    HANDLE m_event;
};

// Starts `start` (ReadFile or WriteFile on an OVERLAPPED) and waits at most `limitMs` for it; past
// that the call is cancelled and fails with ERROR_TIMEOUT. `transferred` is what the call moved.
template <typename Start>
bool Complete(HANDLE handle, Start start, DWORD limitMs, DWORD& transferred) {
    transferred = 0;
    CallEvent event;
    if (!event.Get())
        return false;
    OVERLAPPED overlapped{};
    overlapped.hEvent = event.Get();
    if (!start(&overlapped) && ::GetLastError() != ERROR_IO_PENDING)
        return false;
    if (::WaitForSingleObject(event.Get(), limitMs) == WAIT_TIMEOUT) {
        ::CancelIoEx(handle, &overlapped);
        // The buffer belongs to the driver until the call has really ended.
        if (::WaitForSingleObject(event.Get(), kCancelGraceMs) == WAIT_TIMEOUT)
            ::WaitForSingleObject(event.Get(), INFINITE);
        ::GetOverlappedResult(handle, &overlapped, &transferred, FALSE);
        ::SetLastError(ERROR_TIMEOUT);
        return false;
    }
    return ::GetOverlappedResult(handle, &overlapped, &transferred, FALSE) != FALSE;
}

// The DCB the driver reports; SetState overwrites the fields the system sets and keeps the rest
// (special characters, buffer limits).
bool ReadDcb(CommHandle handle, DCB& dcb) {
    ZeroMemory(&dcb, sizeof(dcb));
    dcb.DCBlength = sizeof(DCB);
    return ::GetCommState(handle, &dcb) != FALSE;
}

class Win32CommApi final : public CommApi {
public:
    CommHandle Open(int portNumber) override {
        wchar_t path[32];
        std::swprintf(path, sizeof(path) / sizeof(path[0]), L"\\\\.\\COM%d", portNumber);
        HANDLE handle = ::CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                                      FILE_ATTRIBUTE_NORMAL | FILE_FLAG_OVERLAPPED, nullptr);
        if (handle != INVALID_HANDLE_VALUE)
            ::timeBeginPeriod(kTimerResolutionMs);
        return handle;
    }

    bool GetState(CommHandle handle, CommState& state) override {
        DCB dcb;
        if (!ReadDcb(handle, dcb))
            return false;
        state.BaudRate = dcb.BaudRate;
        state.ByteSize = dcb.ByteSize;
        state.Parity = dcb.Parity;
        state.StopBits = dcb.StopBits;
        state.FlowControl = dcb.fOutX || dcb.fInX || dcb.fOutxCtsFlow || dcb.fOutxDsrFlow ||
                            dcb.fRtsControl == RTS_CONTROL_HANDSHAKE ||
                            dcb.fRtsControl == RTS_CONTROL_TOGGLE || dcb.fDtrControl == DTR_CONTROL_HANDSHAKE;
        state.XonChar = static_cast<BYTE>(dcb.XonChar);
        state.XoffChar = static_cast<BYTE>(dcb.XoffChar);
        state.XonLim = dcb.XonLim;
        state.XoffLim = dcb.XoffLim;
        return true;
    }

    bool SetState(CommHandle handle, const CommState& state) override {
        DCB dcb;
        if (!ReadDcb(handle, dcb))
            return false;
        dcb.BaudRate = state.BaudRate;
        dcb.ByteSize = state.ByteSize;
        dcb.Parity = state.Parity;
        dcb.StopBits = state.StopBits;
        // Frames are binary: no end-of-file character, no error replacement, no dropped NULs.
        dcb.fBinary = TRUE;
        dcb.fParity = state.Parity != NOPARITY ? TRUE : FALSE;
        dcb.fErrorChar = FALSE;
        dcb.fNull = FALSE;
        dcb.fAbortOnError = FALSE;
        dcb.XonChar = static_cast<char>(state.XonChar);
        dcb.XoffChar = static_cast<char>(state.XoffChar);
        dcb.XonLim = state.XonLim;
        dcb.XoffLim = state.XoffLim;
        // Flow control left on by an earlier program would swallow 0x11/0x13 inside frames, or stop
        // output for good where CTS is not wired. The modem lines stay raised for devices powered or
        // enabled by them.
        if (!state.FlowControl) {
            dcb.fOutX = FALSE;
            dcb.fInX = FALSE;
            dcb.fOutxCtsFlow = FALSE;
            dcb.fOutxDsrFlow = FALSE;
            dcb.fDsrSensitivity = FALSE;
            dcb.fRtsControl = RTS_CONTROL_ENABLE;
            dcb.fDtrControl = DTR_CONTROL_ENABLE;
        }
        return ::SetCommState(handle, &dcb) != FALSE;
    }

    bool SetTimeouts(CommHandle handle, const CommTimeouts& timeouts) override {
        COMMTIMEOUTS native{};
        native.ReadIntervalTimeout = timeouts.ReadIntervalTimeout;
        native.ReadTotalTimeoutMultiplier = timeouts.ReadTotalTimeoutMultiplier;
        native.ReadTotalTimeoutConstant = timeouts.ReadTotalTimeoutConstant;
        native.WriteTotalTimeoutMultiplier = timeouts.WriteTotalTimeoutMultiplier;
        native.WriteTotalTimeoutConstant = timeouts.WriteTotalTimeoutConstant;
        return ::SetCommTimeouts(handle, &native) != FALSE;
    }

    bool Purge(CommHandle handle, DWORD flags) override { return ::PurgeComm(handle, flags) != FALSE; }

    bool Read(CommHandle handle, uint8_t* buffer, DWORD size, DWORD& received) override {
        // The read time-outs end the read inside the driver.
        auto start = [&](OVERLAPPED* overlapped) {
            return ::ReadFile(handle, buffer, size, nullptr, overlapped) != FALSE;
        };
        if (!Complete(handle, start, INFINITE, received))
            return false;
        if (received == 0) {
            // Some drivers let a read time out quietly even after their device has gone (a
            // pseudo-terminal whose other end closed, for one); the line's status can no longer be
            // read then, and that failure, with its code, is the read's.
            DWORD errors = 0;
            COMSTAT status{};
            if (!::ClearCommError(handle, &errors, &status))
                return false;
        }
        return true;
    }

    bool Write(CommHandle handle, const uint8_t* data, DWORD size, DWORD& written) override {
        // The driver bounds the write by its time-outs; the same bound is kept here too, for a
        // driver that ignores them.
        COMMTIMEOUTS timeouts{};
        DWORD limitMs = INFINITE;
        if (::GetCommTimeouts(handle, &timeouts) &&
            (timeouts.WriteTotalTimeoutMultiplier != 0 || timeouts.WriteTotalTimeoutConstant != 0))
            limitMs = timeouts.WriteTotalTimeoutConstant + timeouts.WriteTotalTimeoutMultiplier * size;
        auto start = [&](OVERLAPPED* overlapped) {
            return ::WriteFile(handle, data, size, nullptr, overlapped) != FALSE;
        };
        if (!Complete(handle, start, limitMs, written))
            return false;
        // A driver's own write time-out ends the write early, and successfully.
        if (written < size) {
            ::SetLastError(ERROR_TIMEOUT);
            return false;
        }
        return true;
    }

    bool OutQueue(CommHandle handle, DWORD& count) override {
        DWORD errors = 0;
        COMSTAT status{};
        if (!::ClearCommError(handle, &errors, &status))
            return false;
        count = status.cbOutQue;
        return true;
    }

    void Close(CommHandle handle) override {
        ::CloseHandle(handle);
        ::timeEndPeriod(kTimerResolutionMs);
    }
};

}  // namespace

CommApi& SystemCommApi() {
    static Win32CommApi api;
    return api;
}
