// Wraps the system's comm calls so a test can make one of them fail, or observe it, while the rest
// go to the real pty (the in-process line on Windows). Each hook runs before the real call;
// returning false makes the call fail with the error code the hook set through SetLastError.
// beforeSetState may also change what reaches the driver, as a driver that takes a setting only in
// part would.
#pragma once

#include <atomic>
#include <functional>

#include "framework/CommApi.h"
#include "tests/support/Pty.h"

class FaultyCommApi : public CommApi {
public:
    std::function<bool(CommHandle)> beforeRead;
    std::function<bool(CommHandle, CommState&)> beforeSetState;
    std::function<bool(CommHandle)> beforeGetState;
    // Sees each write's bytes before they go out.
    std::function<bool(CommHandle, const uint8_t*, DWORD)> beforeWrite;
    std::function<bool(CommHandle)> beforeSetTimeouts;
    std::function<bool(CommHandle, DWORD)> beforePurge;
    // Runs before the handle is really closed, as a driver's own closing wait would.
    std::function<void(CommHandle)> beforeClose;
    // Replaces the transmit-queue count the driver reports.
    std::function<bool(DWORD&)> outQueue;

    CommHandle Open(int portNumber) override { return m_real.Open(portNumber); }
    bool GetState(CommHandle h, CommState& s) override {
        if (beforeGetState && !beforeGetState(h))
            return false;
        return m_real.GetState(h, s);
    }
    bool SetState(CommHandle h, const CommState& s) override {
        CommState applied = s;
        if (beforeSetState && !beforeSetState(h, applied))
            return false;
        return m_real.SetState(h, applied);
    }
    bool SetTimeouts(CommHandle h, const CommTimeouts& t) override {
        if (beforeSetTimeouts && !beforeSetTimeouts(h))
            return false;
        return m_real.SetTimeouts(h, t);
    }
    bool Purge(CommHandle h, DWORD flags) override {
        if (beforePurge && !beforePurge(h, flags))
            return false;
        return m_real.Purge(h, flags);
    }
    bool Read(CommHandle h, uint8_t* b, DWORD size, DWORD& got) override {
        if (beforeRead && !beforeRead(h)) {
            got = 0;
            return false;
        }
        return m_real.Read(h, b, size, got);
    }
    bool Write(CommHandle h, const uint8_t* d, DWORD size, DWORD& written) override {
        if (beforeWrite && !beforeWrite(h, d, size)) {
            written = 0;
            return false;
        }
        return m_real.Write(h, d, size, written);
    }
    bool OutQueue(CommHandle h, DWORD& count) override {
        if (outQueue)
            return outQueue(count);
        return m_real.OutQueue(h, count);
    }
    void Close(CommHandle h) override {
        if (beforeClose)
            beforeClose(h);
        m_real.Close(h);
    }
    DWORD SettingRefusedCode() const override { return m_real.SettingRefusedCode(); }

private:
    CommApi& m_real = TestCommApi();
};
