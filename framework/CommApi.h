// The comm calls the serial line is written against: one small interface per platform.
//
// Each call reports failure by its result and leaves the system error code in GetLastError()
// (errno values on POSIX, Win32 codes on Windows). The platform's implementation is SystemCommApi();
// tests wrap it to inject failures the real device cannot be made to produce.
#pragma once

#include <cstdint>

#include "framework/WinTypes.h"

using CommHandle = HANDLE;

// The line settings the system sets. SetState always leaves the line raw (bytes pass unchanged, no
// line editing or translation); everything else the driver holds (modem lines, special characters)
// is kept as it is.
struct CommState {
    DWORD BaudRate = 0;
    BYTE ByteSize = 8;
    BYTE Parity = 0;    // 0 = none
    BYTE StopBits = 0;  // 0 = one stop bit
    // GetState: whether any software (XON/XOFF) or hardware (RTS/CTS) flow control is on.
    // SetState: false turns every kind off; true keeps what the driver has.
    bool FlowControl = false;
};

struct CommTimeouts {
    DWORD ReadIntervalTimeout = 0;
    DWORD ReadTotalTimeoutMultiplier = 0;
    DWORD ReadTotalTimeoutConstant = 0;
    DWORD WriteTotalTimeoutMultiplier = 0;
    DWORD WriteTotalTimeoutConstant = 0;
};

class CommApi {
public:
    virtual ~CommApi() = default;

    // Opens COM<portNumber> for reading and writing, exclusively. INVALID_HANDLE_VALUE on failure.
    virtual CommHandle Open(int portNumber) = 0;
    virtual bool GetState(CommHandle handle, CommState& state) = 0;
    virtual bool SetState(CommHandle handle, const CommState& state) = 0;
    virtual bool SetTimeouts(CommHandle handle, const CommTimeouts& timeouts) = 0;
    virtual bool Purge(CommHandle handle, DWORD flags) = 0;
    // Returns within the read time-outs with whatever has arrived, possibly nothing.
    virtual bool Read(CommHandle handle, uint8_t* buffer, DWORD size, DWORD& received) = 0;
    // Blocks until the bytes are handed to the driver; reports how many were.
    virtual bool Write(CommHandle handle, const uint8_t* data, DWORD size, DWORD& written) = 0;
    // Bytes still waiting in the transmit queue.
    virtual bool OutQueue(CommHandle handle, DWORD& count) = 0;
    virtual void Close(CommHandle handle) = 0;

    // The system's error code for a setting the driver would not take (EINVAL, or
    // ERROR_INVALID_PARAMETER on Windows): what a caller reports when reading the state back shows
    // that SetState did not apply.
    virtual DWORD SettingRefusedCode() const { return 87; }
};

CommApi& SystemCommApi();
