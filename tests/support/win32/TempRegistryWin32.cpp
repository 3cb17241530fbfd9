// The Windows stand-in for the throw-away port registry: a private temporary folder for the test's
// files, and COM links that lead to the in-process lines of PtyWin32.cpp.
#include <windows.h>

#include <atomic>
#include <stdexcept>

#include "tests/support/TempRegistry.h"
#include "tests/support/win32/FakeLines.h"

namespace fs = std::filesystem;

TempRegistry::TempRegistry() {
    static std::atomic<unsigned> counter{0};
    for (int attempt = 0; attempt < 100; ++attempt) {
        const fs::path candidate =
            fs::temp_directory_path() /
            ("orvane-test-" + std::to_string(::GetCurrentProcessId()) + "-" + std::to_string(counter++));
        std::error_code ec;
        if (fs::create_directory(candidate, ec)) {
            m_root = candidate;
            break;
        }
    }
    if (m_root.empty())
        throw std::runtime_error("cannot make a temporary folder");
    fs::create_directories(HardwareRoot());
}

TempRegistry::~TempRegistry() {
    UnlinkFakeLines();
    std::error_code ec;
    fs::remove_all(m_root, ec);
}

fs::path TempRegistry::PortsDir() const {
    return m_root / "ports";
}

fs::path TempRegistry::HardwareRoot() const {
    return m_root / "hw";
}

void TempRegistry::Link(const std::string& name, const std::string& target) {
    if (name.size() > 3 && name.compare(0, 3, "COM") == 0)
        LinkFakeLine(std::stoi(name.substr(3)), target);
}

void TempRegistry::AddDevice(const std::string&, int) {
    throw std::logic_error("Windows has no device tree to fake");
}
