// A throw-away port registry for tests: points XDG_RUNTIME_DIR and ORVANE_HW_ROOT at a temporary
// tree, so tests never see or touch the machine's real serial ports.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

class TempRegistry {
public:
    TempRegistry();
    ~TempRegistry();
    TempRegistry(const TempRegistry&) = delete;
    TempRegistry& operator=(const TempRegistry&) = delete;

    const std::filesystem::path& Root() const { return m_root; }
    std::filesystem::path PortsDir() const;
    std::filesystem::path HardwareRoot() const;

    // Links COM<port> to `target` directly, as a program of its own would: holding the lock beside
    // the link (see PortRegistry.h) until this registry goes, so a pseudo-terminal's link counts.
    void Link(const std::string& name, const std::string& target);
    // Adds a fake serial device to the hardware tree (sysfs entry and device node).
    void AddDevice(const std::string& name, int uartType = 4);

private:
    std::filesystem::path m_root;
    std::string m_oldRuntime;
    std::string m_oldHw;
    bool m_hadRuntime = false;
    bool m_hadHw = false;
    std::vector<int> m_heldLocks;
};
