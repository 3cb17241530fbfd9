// Wraps the system's comm calls so a test can make one of them fail, or observe it, while the rest
// go to the real pty (the in-process line on Windows). Each hook runs before the real call; returning false
// makes the call fail with the error code the hook set through SetLastError.
#pragma once

#include <atomic>
#include <functional>

#include "framework/CommApi.h"
#include "tests/support/Pty.h"

class FaultyCommApi : public CommApi {
public:
    std::function<bool(CommHandle)> beforeRead;
    std::function<bool(CommHandle, const CommState&)> beforeSetState;
    std::function<bool(CommHandle)> beforeGetState;
    // Replaces the transmit-queue count the driver reports.
    std::function<bool(DWORD&)> outQueue;

    CommHandle Open(int portNumber) override { return m_real.Open(portNumber); }
    bool GetState(CommHandle h, CommState& s) override {
        if (beforeGetState && !beforeGetState(h))
            return false;
        return m_real.GetState(h, s);
    }
    bool SetState(CommHandle h, const CommState& s) override {
        if (beforeSetState && !beforeSetState(h, s))
            return false;
        return m_real.SetState(h, s);
    }
    bool SetTimeouts(CommHandle h, const CommTimeouts& t) override { return m_real.SetTimeouts(h, t); }
    bool Purge(CommHandle h, DWORD flags) override { return m_real.Purge(h, flags); }
    bool Read(CommHandle h, uint8_t* b, DWORD size, DWORD& got) override {
        if (beforeRead && !beforeRead(h)) {
            got = 0;
            return false;
        }
        return m_real.Read(h, b, size, got);
    }
    bool Write(CommHandle h, const uint8_t* d, DWORD size, DWORD& written) override {
        return m_real.Write(h, d, size, written);
    }
    bool OutQueue(CommHandle h, DWORD& count) override {
        if (outQueue)
            return outQueue(count);
        return m_real.OutQueue(h, count);
    }
    void Close(CommHandle h) override { m_real.Close(h); }

private:
    CommApi& m_real = TestCommApi();
};
