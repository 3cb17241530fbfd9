// A kernel pseudo-terminal pair for tests: the test plays the device on the master side while the
// code under test opens the slave as its serial port. Like the simulator, it keeps a descriptor of
// its own open on the slave; through it a test reads and changes the line settings the port holds,
// since a port held exclusively cannot be opened again (except by root).
// Windows has no pseudo-terminals: there the pair is an in-process line (support/win32/PtyWin32.cpp)
// that TestCommApi() serves.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

#include "framework/CommApi.h"

// The comm calls that reach a Pty: the system's own on POSIX, the in-process line's on Windows.
CommApi& TestCommApi();

class Pty {
public:
    Pty();
    ~Pty();
    Pty(const Pty&) = delete;
    Pty& operator=(const Pty&) = delete;

    const std::string& SlavePath() const { return m_slavePath; }
    int MasterFd() const { return m_master; }
    int SlaveFd() const { return m_slaveKeepAlive; }

    void Write(const std::vector<uint8_t>& bytes);
    // Reads exactly `count` bytes, or fewer if `timeout` passes first. Both limits are scaled for the
    // build (tests/support/TestTime.h).
    std::vector<uint8_t> Read(size_t count, std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // Reads what arrives until nothing has come for `quiet`.
    std::vector<uint8_t> ReadUntilQuiet(std::chrono::milliseconds quiet);
    // Closes the master: the slave side sees a hang-up.
    void HangUp();
    // The line's rate in baud, as the serial line last set it.
    DWORD LineSpeed() const;

private:
    int m_master = -1;
    int m_slaveKeepAlive = -1;
    std::string m_slavePath;
};
