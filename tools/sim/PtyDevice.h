// The simulator's end of the line: a pseudo-terminal master whose slave the host opens as its
// serial port. The simulator holds the slave open itself as well, so the master keeps working
// (no EIO) while the host closes and reopens the port.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <vector>

class PtyDevice {
public:
    PtyDevice() = default;
    ~PtyDevice();
    PtyDevice(const PtyDevice&) = delete;
    PtyDevice& operator=(const PtyDevice&) = delete;

    // On failure returns false with the failing call named in `error`.
    bool Open(std::string& error);
    // Like pulling the cable: the master goes, and with it the slave device node.
    void Close();

    bool IsOpen() const { return m_master >= 0; }
    int MasterFd() const { return m_master; }
    const std::string& SlavePath() const { return m_slavePath; }

    // Reads what is there without waiting; returns -1 with `error` set when the read fails.
    long Read(uint8_t* buffer, size_t size, std::string& error);
    // Writes all bytes, waiting up to `timeout` for room (a host that stopped reading fills the
    // line's buffer).
    bool Write(const std::vector<uint8_t>& bytes, std::chrono::milliseconds timeout, std::string& error);
    // The rate the host set on its end of the line (the master reads the slave's settings); 0 when
    // it cannot be read or is none the device knows.
    uint32_t HostRate() const;

private:
    int m_master = -1;
    int m_slaveKeepAlive = -1;
    std::string m_slavePath;
};
