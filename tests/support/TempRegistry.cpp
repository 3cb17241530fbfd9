#include "tests/support/TempRegistry.h"

#include <fcntl.h>
#include <stdlib.h>
#include <sys/file.h>
#include <unistd.h>

#include <fstream>

namespace fs = std::filesystem;

TempRegistry::TempRegistry() {
    std::string pattern = (fs::temp_directory_path() / "orvane-test-XXXXXX").string();
    if (!::mkdtemp(pattern.data()))
        throw std::runtime_error("mkdtemp failed");
    m_root = pattern;
    fs::create_directories(HardwareRoot() / "sys" / "class" / "tty");
    fs::create_directories(HardwareRoot() / "dev");
    // A runtime directory must be private to its user; Qt warns about anything else.
    fs::create_directories(m_root / "run");
    fs::permissions(m_root / "run", fs::perms::owner_all, fs::perm_options::replace);
    if (const char* v = ::getenv("XDG_RUNTIME_DIR"))
        m_hadRuntime = true, m_oldRuntime = v;
    if (const char* v = ::getenv("ORVANE_HW_ROOT"))
        m_hadHw = true, m_oldHw = v;
    ::setenv("XDG_RUNTIME_DIR", (m_root / "run").c_str(), 1);
    ::setenv("ORVANE_HW_ROOT", HardwareRoot().c_str(), 1);
}

TempRegistry::~TempRegistry() {
    if (m_hadRuntime)
        ::setenv("XDG_RUNTIME_DIR", m_oldRuntime.c_str(), 1);
    else
        ::unsetenv("XDG_RUNTIME_DIR");
    if (m_hadHw)
        ::setenv("ORVANE_HW_ROOT", m_oldHw.c_str(), 1);
    else
        ::unsetenv("ORVANE_HW_ROOT");
    for (int lock : m_heldLocks)
        ::close(lock);
    std::error_code ec;
    fs::remove_all(m_root, ec);
}

fs::path TempRegistry::PortsDir() const {
    return m_root / "run" / "orvane" / "ports";
}

fs::path TempRegistry::HardwareRoot() const {
    return m_root / "hw";
}

void TempRegistry::Link(const std::string& name, const std::string& target) {
    // Private, as the registry insists, whatever the umask.
    for (const fs::path& folder : {PortsDir().parent_path(), PortsDir()}) {
        fs::create_directories(folder);
        fs::permissions(folder, fs::perms::owner_all, fs::perm_options::replace);
    }
    const fs::path lockFile = (PortsDir() / name).string() + ".lock";
    const int lock = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
    if (lock < 0 || ::flock(lock, LOCK_EX | LOCK_NB) != 0)
        throw std::runtime_error("cannot lock " + lockFile.string());
    m_heldLocks.push_back(lock);
    fs::create_symlink(target, PortsDir() / name);
}

void TempRegistry::AddDevice(const std::string& name, int uartType) {
    const fs::path entry = HardwareRoot() / "sys" / "class" / "tty" / name;
    fs::create_directories(entry / "device");
    std::ofstream(entry / "type") << uartType << "\n";
    std::ofstream(HardwareRoot() / "dev" / name).put('\0');
}
