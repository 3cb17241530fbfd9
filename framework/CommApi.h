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
    // The software flow-control characters and the input-buffer levels at which they are sent, as the
    // driver reports and is given them (0 where the system keeps none). They do nothing while flow
    // control is off, yet some drivers report equal characters or levels beyond their own buffer and
    // then refuse the whole setting: whoever sets a state sets them too.
    BYTE XonChar = 0;
    BYTE XoffChar = 0;
    WORD XonLim = 0;
    WORD XoffLim = 0;
};

// Milliseconds, as Windows has them. A write is bounded by WriteTotalTimeoutMultiplier per byte plus
// WriteTotalTimeoutConstant, unbounded while both are 0; past its bound it fails with the system's
// time-out code.
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
    // Blocks until the bytes are handed to the driver, or the write's time-out has passed (then it
    // fails); reports how many were. It never waits behind a Read of another thread.
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
