// Why a COM port will not open, told from the device node: missing, not permitted, held by another
// program (named from /proc/locks or the processes' open files), or not a serial line.
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <vector>

#include "framework/PortRegistry.h"
#include "framework/TextTranslator.h"

namespace fs = std::filesystem;

namespace {

std::string ProcessName(const std::string& pid) {
    std::string name;
    std::ifstream(fs::path("/proc") / pid / "comm") >> name;
    return (name.empty() ? std::string("pid") : name) + " (pid " + pid + ")";
}

// The process holding the lock on `device`, as /proc/locks tells it ("name (pid N)"); failing
// that, the first other process with the device open.
std::string HolderOf(const std::string& device) {
    struct stat info {};
    if (::stat(device.c_str(), &info) == 0) {
        char key[64];
        std::snprintf(key, sizeof(key), "%02x:%02x:%lu", major(info.st_dev), minor(info.st_dev),
                      static_cast<unsigned long>(info.st_ino));
        std::ifstream locks("/proc/locks");
        for (std::string line; std::getline(locks, line);) {
            std::istringstream fields(line);
            std::string index, kind, mode, access, pid, id;
            fields >> index >> kind >> mode >> access >> pid >> id;
            if (kind == "FLOCK" && id == key && pid != std::to_string(::getpid()))
                return ProcessName(pid);
        }
    }
    std::error_code ec;
    const fs::path wanted = fs::weakly_canonical(device, ec);
    const std::string self = std::to_string(::getpid());
    for (fs::directory_iterator proc("/proc", ec), end; !ec && proc != end; proc.increment(ec)) {
        const std::string pid = proc->path().filename().string();
        if (pid.empty() ||
            !std::all_of(pid.begin(), pid.end(), [](unsigned char c) { return std::isdigit(c); }))
            continue;
        if (pid == self)
            continue;
        std::error_code fdEc;
        for (fs::directory_iterator fd(proc->path() / "fd", fdEc), fdEnd; !fdEc && fd != fdEnd;
             fd.increment(fdEc)) {
            std::error_code linkEc;
            if (fs::read_symlink(fd->path(), linkEc) == wanted && !linkEc)
                return ProcessName(pid);
        }
    }
    return {};
}

// The _r forms: a station explains the failures of several ports from threads of its own.
constexpr size_t kNameBufferSize = 16384;

std::string UserName(uid_t uid) {
    passwd entry{};
    passwd* found = nullptr;
    std::vector<char> buffer(kNameBufferSize);
    if (::getpwuid_r(uid, &entry, buffer.data(), buffer.size(), &found) == 0 && found)
        return found->pw_name;
    return std::to_string(uid);
}

std::string GroupName(gid_t gid) {
    group entry{};
    group* found = nullptr;
    std::vector<char> buffer(kNameBufferSize);
    if (::getgrgid_r(gid, &entry, buffer.data(), buffer.size(), &found) == 0 && found)
        return found->gr_name;
    return std::to_string(gid);
}

std::string HeldBy(const std::string& device, const std::string& holder) {
    return holder.empty() ? FormatText(TranslateText("%s is held by another program"), device.c_str())
                          : FormatText(TranslateText("%s is held by another program: %s"), device.c_str(),
                                       holder.c_str());
}

std::string NotASerialLine(const std::string& path) {
    return FormatText(TranslateText("%s is a device, but not a serial line"), path.c_str());
}

}  // namespace

std::string PortRegistry::ExplainOpenFailure(int port) const {
    if (const std::string unsafe = Problem(); !unsafe.empty())
        return unsafe;
    const std::string name = "COM" + std::to_string(port);
    const std::string device = Resolve(port);
    if (device.empty())
        return FormatText(TranslateText("%s does not exist (see 'orvane-cli ports' for the ports present)"),
                          name.c_str());
    std::error_code ec;
    if (!fs::exists(device, ec))
        return FormatText(TranslateText("%s stands for %s, which does not exist (unplugged?)"), name.c_str(),
                          device.c_str());
    const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        if (errno == EACCES || errno == EPERM)
            return WhyPermissionDenied(device);
        if (errno == EBUSY) {
            const std::string holder = HolderOf(device);
            return HeldBy(device, holder);
        }
        return FormatText(TranslateText("open %s failed: %s"), device.c_str(), ErrorNumberText(errno));
    }
    std::string reason;
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const std::string holder = HolderOf(device);
        reason = HeldBy(device, holder);
    } else if (!::isatty(fd)) {
        reason = FormatText(TranslateText("%s is not a serial line"), device.c_str());
    }
    ::close(fd);
    return reason;
}

std::string PortRegistry::WhyPermissionDenied(const std::string& device) {
    struct stat info {};
    if (::stat(device.c_str(), &info) != 0)
        return FormatText(TranslateText("permission denied on %s"), device.c_str());
    const std::string owner = UserName(info.st_uid);
    const std::string group = GroupName(info.st_gid);
    char mode[8];
    std::snprintf(mode, sizeof(mode), "%04o", static_cast<unsigned>(info.st_mode & 07777));
    const std::string node = device + " (" + owner + ":" + group + " " + mode + ")";
    // Joining a group helps only where the group may read and write, and never the root group.
    const mode_t groupReadWrite = S_IRGRP | S_IWGRP;
    if ((info.st_mode & groupReadWrite) == groupReadWrite && info.st_gid != 0) {
        return FormatText(
            TranslateText(
                "permission denied on %s: join the %s group (sudo usermod -aG %s $USER), then log in again"),
            node.c_str(), group.c_str(), group.c_str());
    }
    return FormatText(TranslateText("permission denied on %s: only %s may open it (no group has access, so "
                                    "joining one will not help)"),
                      node.c_str(), owner.c_str());
}

std::string PortRegistry::WhyNotASerialLine(const std::string& path) {
    struct stat info {};
    if (::stat(path.c_str(), &info) != 0)
        return FormatText(TranslateText("stat %s failed: %s"), path.c_str(), ErrorNumberText(errno));
    const char* what = S_ISREG(info.st_mode)    ? TranslateText("%s is a regular file, not a serial line")
                       : S_ISDIR(info.st_mode)  ? TranslateText("%s is a folder, not a serial line")
                       : S_ISFIFO(info.st_mode) ? TranslateText("%s is a pipe, not a serial line")
                       : S_ISSOCK(info.st_mode) ? TranslateText("%s is a socket, not a serial line")
                       : S_ISBLK(info.st_mode)  ? TranslateText("%s is a block device, not a serial line")
                       : S_ISCHR(info.st_mode)  ? nullptr
                                                : TranslateText("%s is no device, not a serial line");
    if (what)
        return FormatText(what, path.c_str());
    // O_NONBLOCK: a line without carrier must not hold the open.
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd >= 0) {
        const bool terminal = ::isatty(fd);
        ::close(fd);
        return terminal ? std::string() : NotASerialLine(path);
    }
    // Not ours to open (permission, or held exclusively): the kernel's record of the device says
    // what it is. Ptys have none; one that is held exclusively is a terminal all the same, and the
    // open that follows names who holds it.
    const int openError = errno;
    char node[64];
    std::snprintf(node, sizeof(node), "/sys/dev/char/%u:%u/subsystem", major(info.st_rdev),
                  minor(info.st_rdev));
    std::error_code ec;
    const fs::path subsystem = fs::read_symlink(node, ec);
    if (!ec)
        return subsystem.filename() == "tty" ? std::string() : NotASerialLine(path);
    if (openError == EBUSY)
        return {};
    return FormatText(TranslateText("open %s failed: %s"), path.c_str(), ErrorNumberText(openError));
}
