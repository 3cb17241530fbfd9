// The comm calls on Windows: the device namespace path \\.\COM<n> opened exclusively for synchronous
// I/O, and the DCB, purge, time-out, read, write and error-status calls of the comm API. Failures
// leave the Win32 error code in GetLastError(), where the serial line reads it.
#include <windows.h>

#include <cwchar>

#include "framework/CommApi.h"

namespace {

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
        return ::CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
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
        received = 0;
        if (!::ReadFile(handle, buffer, size, &received, nullptr))
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
        written = 0;
        return ::WriteFile(handle, data, size, &written, nullptr) != FALSE;
    }

    bool OutQueue(CommHandle handle, DWORD& count) override {
        DWORD errors = 0;
        COMSTAT status{};
        if (!::ClearCommError(handle, &errors, &status))
            return false;
        count = status.cbOutQue;
        return true;
    }

    void Close(CommHandle handle) override { ::CloseHandle(handle); }
};

}  // namespace

CommApi& SystemCommApi() {
    static Win32CommApi api;
    return api;
}
