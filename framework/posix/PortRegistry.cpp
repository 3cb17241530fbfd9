#include "framework/PortRegistry.h"
#include "framework/TextTranslator.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <system_error>
#include <thread>
#include <tuple>

namespace fs = std::filesystem;

namespace {

constexpr int kFirstPort = 1;
constexpr int kLastPort = 256;

// "COM12" -> 12; 0 for a name that names no port 1..256. The prefix is compared without case and
// the rest is read as the port chooser reads a port name: leading blanks, an optional sign, then the
// digits up to the first other character, so a hand-made "COM 4" counts as port 4.
int PortNumberOfName(const std::string& name) {
    if (name.size() < 3)
        return 0;
    for (size_t i = 0; i < 3; ++i) {
        if (std::toupper(static_cast<unsigned char>(name[i])) != "COM"[i])
            return 0;
    }
    size_t i = 3;
    while (i < name.size() && std::isspace(static_cast<unsigned char>(name[i])))
        ++i;
    bool negative = false;
    if (i < name.size() && (name[i] == '+' || name[i] == '-'))
        negative = name[i++] == '-';
    int value = 0;
    for (; i < name.size() && std::isdigit(static_cast<unsigned char>(name[i])); ++i) {
        value = value * 10 + (name[i] - '0');
        if (value > kLastPort)
            return 0;
    }
    return negative || value < kFirstPort ? 0 : value;
}

// Splits "ttyUSB12" into ("ttyUSB", 12) so that devices sort by number, not by text.
std::pair<std::string, long> SplitDeviceName(const std::string& name) {
    size_t end = name.size();
    while (end > 0 && std::isdigit(static_cast<unsigned char>(name[end - 1])))
        --end;
    const long number = end < name.size() ? std::strtol(name.c_str() + end, nullptr, 10) : -1;
    return {name.substr(0, end), number};
}

int GroupOf(const std::string& prefix) {
    if (prefix == "ttyS")
        return 0;
    if (prefix == "ttyUSB")
        return 1;
    if (prefix == "ttyACM")
        return 2;
    return 3;
}

std::string Canonical(const std::string& path) {
    std::error_code ec;
    const fs::path p = fs::weakly_canonical(path, ec);
    return ec ? path : p.string();
}

constexpr mode_t kPrivateFolder = S_IRWXU;
constexpr mode_t kLockFileMode = S_IRUSR | S_IWUSR;

// The device numbers of pseudo-terminal slaves (/dev/pts/N): majors 136 to 143.
constexpr unsigned kFirstPtySlaveMajor = 136;
constexpr unsigned kLastPtySlaveMajor = 143;

// A reader looking whether a link is stale holds the lock shared for a moment; a holder-to-be waits
// that out rather than take the next number.
constexpr int kLockAttempts = 50;
constexpr std::chrono::milliseconds kLockRetry{1};

bool IsPseudoTerminal(const std::string& device) {
    struct stat info {};
    if (::stat(device.c_str(), &info) == 0) {
        const unsigned deviceMajor = major(info.st_rdev);
        return S_ISCHR(info.st_mode) && deviceMajor >= kFirstPtySlaveMajor &&
               deviceMajor <= kLastPtySlaveMajor;
    }
    // A pty that is gone has left no node to look at, only its name.
    return device.rfind("/dev/pts/", 0) == 0;
}

fs::path LockFileOf(const fs::path& link) {
    return link.string() + ".lock";
}

// The locks this process holds on the links of its pseudo-terminals, by lock file. The simulator
// serves several lines from threads of its own, so the table is shared.
std::mutex g_leaseMutex;
std::map<std::string, int> g_leases;

// Takes the lock beside a link this process is about to make; false when another program has it.
bool TakeLease(const fs::path& lockFile) {
    std::lock_guard<std::mutex> guard(g_leaseMutex);
    if (g_leases.count(lockFile.string()) != 0)
        return true;
    const int fd = ::open(lockFile.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, kLockFileMode);
    if (fd < 0)
        return false;
    for (int attempt = 0; attempt < kLockAttempts; ++attempt) {
        if (::flock(fd, LOCK_EX | LOCK_NB) == 0) {
            g_leases[lockFile.string()] = fd;
            return true;
        }
        if (errno != EWOULDBLOCK && errno != EINTR)
            break;
        std::this_thread::sleep_for(kLockRetry);
    }
    ::close(fd);
    return false;
}

void ReleaseLease(const fs::path& lockFile) {
    std::lock_guard<std::mutex> guard(g_leaseMutex);
    const auto held = g_leases.find(lockFile.string());
    if (held == g_leases.end())
        return;
    ::close(held->second);
    g_leases.erase(held);
}

// The device names /proc/consoles lists as enabled ("ttyS0 -W- (EC p a) 4:64"); a line whose flags
// cannot be read counts as enabled.
std::vector<std::string> EnabledConsoles(const fs::path& consoles) {
    std::vector<std::string> names;
    std::ifstream in(consoles);
    for (std::string line; std::getline(in, line);) {
        std::istringstream fields(line);
        std::string name;
        if (!(fields >> name))
            continue;
        const size_t open = line.find('(');
        const size_t close = line.find(')', open == std::string::npos ? 0 : open);
        const bool flagsRead = open != std::string::npos && close != std::string::npos;
        if (!flagsRead || line.substr(open, close - open).find('E') != std::string::npos)
            names.push_back(name);
    }
    return names;
}

// Why `folder` may not hold our links, or empty when only this user can change what is in it.
std::string UnsafeFolder(const fs::path& folder, const struct stat& info) {
    const std::string name = folder.string();
    if (S_ISLNK(info.st_mode))
        return FormatText(
            TranslateText("the port folder %s is a symbolic link, not a folder of its own; remove it"),
            name.c_str());
    if (!S_ISDIR(info.st_mode))
        return FormatText(TranslateText("the port folder %s is not a folder; remove it"), name.c_str());
    if (info.st_uid != ::geteuid()) {
        return FormatText(
            TranslateText("the port folder %s belongs to uid %u, not to you (uid %u); remove it or set "
                          "XDG_RUNTIME_DIR"),
            name.c_str(), static_cast<unsigned>(info.st_uid), static_cast<unsigned>(::geteuid()));
    }
    if (info.st_mode & (S_IWGRP | S_IWOTH))
        return FormatText(
            TranslateText(
                "the port folder %s is writable by others; make it private (chmod 700) or remove it"),
            name.c_str());
    return {};
}

}  // namespace

PortRegistry::PortRegistry(fs::path directory, fs::path hardwareRoot, fs::path privateRoot)
    : m_directory(std::move(directory)),
      m_hardwareRoot(std::move(hardwareRoot)),
      m_privateRoot(privateRoot.empty() ? m_directory : std::move(privateRoot)) {}

bool PortRegistry::RegistersDevicePaths() {
    return true;
}

PortRegistry PortRegistry::Default() {
    fs::path base;
    const char* runtime = std::getenv("XDG_RUNTIME_DIR");
    if (runtime && *runtime) {
        base = fs::path(runtime) / "orvane";
    } else {
        base = fs::path("/tmp") / ("orvane-" + std::to_string(::getuid()));
    }
    const char* hw = std::getenv("ORVANE_HW_ROOT");
    return PortRegistry(base / "ports", hw && *hw ? fs::path(hw) : fs::path("/"), base);
}

std::string PortRegistry::CheckFolders(bool create) const {
    // From the private root down to the directory: the folders the registry owns.
    std::vector<fs::path> folders{m_directory};
    for (fs::path p = m_directory; p != m_privateRoot;) {
        const fs::path parent = p.parent_path();
        if (parent == p) {  // the private root is not above it: the directory alone is ours
            folders = {m_directory};
            break;
        }
        p = parent;
        folders.insert(folders.begin(), p);
    }
    for (const fs::path& folder : folders) {
        struct stat info {};
        if (::lstat(folder.c_str(), &info) != 0) {
            if (errno != ENOENT)
                return "lstat " + folder.string() + " failed: " + std::strerror(errno);
            if (!create)
                return {};  // nothing made yet, so nothing planted either
            if (::mkdir(folder.c_str(), kPrivateFolder) != 0 && errno != EEXIST)
                return "mkdir " + folder.string() + " failed: " + std::strerror(errno);
            if (::lstat(folder.c_str(), &info) != 0)
                return "lstat " + folder.string() + " failed: " + std::strerror(errno);
        }
        if (std::string why = UnsafeFolder(folder, info); !why.empty())
            return why;
    }
    return {};
}

std::string PortRegistry::Problem() const {
    return CheckFolders(false);
}

std::string PortRegistry::Prepare() const {
    return CheckFolders(true);
}

bool PortRegistry::DropIfStale(const std::string& name, const std::string& target) const {
    if (!IsPseudoTerminal(target))
        return false;
    const fs::path link = m_directory / name;
    // Shared, so two readers looking at once both see the lock free; kept while the link goes, so no
    // holder can make a new link of that name in between.
    const int fd = ::open(LockFileOf(link).c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    if (fd >= 0 && ::flock(fd, LOCK_SH | LOCK_NB) != 0) {
        ::close(fd);
        return false;  // held: somebody serves it
    }
    std::error_code ec;
    fs::remove(link, ec);
    if (fd >= 0)
        ::close(fd);
    return true;
}

std::vector<PortRegistry::Link> PortRegistry::ReadLinks(std::vector<std::string>* dropped) const {
    std::vector<Link> links;
    if (!Problem().empty())
        return links;
    std::error_code ec;
    for (fs::directory_iterator it(m_directory, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        const int number = PortNumberOfName(name);
        if (number == 0 || !it->is_symlink(ec))
            continue;
        std::error_code readEc;
        const fs::path target = fs::read_symlink(it->path(), readEc);
        if (readEc)
            continue;
        if (DropIfStale(name, target.string())) {
            if (dropped)
                dropped->push_back(
                    FormatText(TranslateText("%s (%s): a pseudo-terminal nobody serves any more"),
                               name.c_str(), target.string().c_str()));
            continue;
        }
        links.push_back({name, number, target.string()});
    }
    return links;
}

std::string PortRegistry::Resolve(int port) const {
    if (!Problem().empty())
        return {};
    std::error_code ec;
    const std::string name = "COM" + std::to_string(port);
    const fs::path target = fs::read_symlink(m_directory / name, ec);
    if (!ec)
        return DropIfStale(name, target.string()) ? std::string() : target.string();
    // Links made by hand may use another case ("com7").
    for (const Link& link : ReadLinks()) {
        if (link.number == port)
            return link.target;
    }
    return {};
}

int PortRegistry::Register(const std::string& device, int lowest) {
    if (!Prepare().empty())
        return 0;
    const std::string wanted = Canonical(device);
    std::vector<Link> links = ReadLinks();
    for (const Link& link : links) {
        if (Canonical(link.target) == wanted)
            return link.number;
    }
    const bool leased = IsPseudoTerminal(wanted);
    for (int n = std::max(lowest, kFirstPort); n <= kLastPort; ++n) {
        const bool used =
            std::any_of(links.begin(), links.end(), [n](const Link& l) { return l.number == n; });
        if (used)
            continue;
        const fs::path link = m_directory / ("COM" + std::to_string(n));
        if (leased && !TakeLease(LockFileOf(link)))
            continue;  // another program holds the number, with its link still to come
        std::error_code linkEc;
        fs::create_symlink(wanted, link, linkEc);
        if (!linkEc)
            return n;
        // Another process took the number first; go on with the next one.
        if (leased)
            ReleaseLease(LockFileOf(link));
    }
    return 0;
}

std::string PortRegistry::RegisterAt(int port, const std::string& device, bool& taken) {
    taken = false;
    if (std::string unsafe = Prepare(); !unsafe.empty())
        return unsafe;
    const std::string name = "COM" + std::to_string(port);
    // Resolve also finds links made by hand in another case ("com12"), and clears a stale one.
    if (const std::string other = Resolve(port); !other.empty()) {
        taken = true;
        return FormatText(TranslateText("%s is taken by another link (%s)"), name.c_str(), other.c_str());
    }
    const fs::path link = m_directory / name;
    const bool leased = IsPseudoTerminal(device);
    if (leased && !TakeLease(LockFileOf(link))) {
        taken = true;
        return FormatText(TranslateText("%s is taken: another program holds %s"), name.c_str(),
                          LockFileOf(link).string().c_str());
    }
    if (::symlink(device.c_str(), link.c_str()) == 0)
        return {};
    const int error = errno;
    if (leased)
        ReleaseLease(LockFileOf(link));
    if (error == EEXIST) {
        taken = true;
        return FormatText(TranslateText("%s is taken by another link (%s)"), name.c_str(),
                          Resolve(port).c_str());
    }
    return FormatText(TranslateText("symlink %s failed: %s"), link.string().c_str(), ErrorNumberText(error));
}

bool PortRegistry::Unregister(int port) {
    if (!Problem().empty())
        return false;
    std::error_code ec;
    const fs::path exact = m_directory / ("COM" + std::to_string(port));
    bool removed = fs::remove(exact, ec);
    if (!removed) {
        for (const Link& link : ReadLinks()) {
            if (link.number == port)
                removed = fs::remove(m_directory / link.name, ec) || removed;
        }
    }
    // Only once the link is gone: a reader in between would take it for stale and remove it itself.
    ReleaseLease(LockFileOf(exact));
    return removed;
}

std::vector<std::string> PortRegistry::Prune() {
    std::vector<std::string> removed;
    for (const Link& link : ReadLinks(&removed)) {
        std::error_code ec;
        // A pty that counts is served: its node may be away for a moment while its line is replugged.
        if (IsPseudoTerminal(link.target) || fs::exists(m_directory / link.name, ec))
            continue;
        if (fs::remove(m_directory / link.name, ec))
            removed.push_back(FormatText(TranslateText("%s (%s): the device is gone"), link.name.c_str(),
                                         link.target.c_str()));
    }
    return removed;
}

std::vector<std::string> PortRegistry::ActiveConsoles() const {
    std::vector<std::string> devices;
    for (const std::string& name : EnabledConsoles(m_hardwareRoot / "proc" / "consoles"))
        devices.push_back(Canonical((m_hardwareRoot / "dev" / name).string()));
    return devices;
}

std::vector<std::string> PortRegistry::PresentDevices() const {
    struct Found {
        int group;
        std::string prefix;
        long number;
        std::string name;
    };
    std::vector<Found> found;
    const fs::path ttyClass = m_hardwareRoot / "sys" / "class" / "tty";
    const std::vector<std::string> consoles = ActiveConsoles();
    std::error_code ec;
    for (fs::directory_iterator it(ttyClass, ec), end; !ec && it != end; it.increment(ec)) {
        const std::string name = it->path().filename().string();
        std::error_code devEc;
        // Only ttys backed by a device are serial lines; virtual consoles and ptys have none.
        if (!fs::exists(it->path() / "device", devEc))
            continue;
        auto [prefix, number] = SplitDeviceName(name);
        if (prefix == "ttyS") {
            // type 0 means no UART is behind the port.
            std::ifstream typeFile(it->path() / "type");
            int type = 0;
            if (!(typeFile >> type) || type == 0)
                continue;
        }
        if (std::find(consoles.begin(), consoles.end(),
                      Canonical((m_hardwareRoot / "dev" / name).string())) != consoles.end())
            continue;
        found.push_back({GroupOf(prefix), prefix, number, name});
    }
    std::sort(found.begin(), found.end(), [](const Found& a, const Found& b) {
        return std::tie(a.group, a.prefix, a.number, a.name) < std::tie(b.group, b.prefix, b.number, b.name);
    });
    std::vector<std::string> devices;
    for (const Found& f : found)
        devices.push_back((m_hardwareRoot / "dev" / f.name).string());
    return devices;
}

std::vector<std::string> PortRegistry::ListPortNames() {
    for (const std::string& device : PresentDevices()) {
        std::error_code ec;
        if (fs::exists(device, ec))
            Register(device);
    }
    // A console linked before it was one (or by hand) is not offered either.
    const std::vector<std::string> consoles = ActiveConsoles();
    std::vector<std::string> names;
    for (const Link& link : ReadLinks()) {
        std::error_code ec;
        if (fs::exists(m_directory / link.name, ec) &&
            std::find(consoles.begin(), consoles.end(), Canonical(link.target)) == consoles.end())
            names.push_back(link.name);
    }
    return names;
}
