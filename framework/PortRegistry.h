// The port registry: which device each COM number stands for. On POSIX it is kept as symbolic links
// named COM<n> in one directory ($XDG_RUNTIME_DIR/orvane/ports, or /tmp/orvane-<uid>/ports), playing
// the part of the COM port database of Windows: a number once given to a device stays with it. On
// Windows the system keeps that database itself: the registry only reads it (the device names under
// HKLM\HARDWARE\DEVICEMAP\SERIALCOMM) and cannot give numbers to device paths.
//
// On POSIX, whoever can write into the directory decides which device a COM number opens, so it
// must be private: the folders from privateRoot down to it are created 0700 and used only while
// each is a real directory (not a link) owned by this user and writable by nobody else. /tmp is
// shared by every user, and another one could otherwise make /tmp/orvane-<uid> first and point COM1
// at a pty of their own.
//
// A number given to a pseudo-terminal lasts only while whoever serves it lives: the kernel hands
// the pty's number to the next terminal that opens, often somebody's shell, and a link left behind
// by a killed simulator would send our frames there. So a link to a pseudo-terminal counts only
// while somebody holds an exclusive flock on the file "<link>.lock" beside it (COM12.lock for
// COM12); reading the folder removes those whose lock is free. Links to real devices keep their
// numbers for good. The lock files themselves stay: a lock file removed while someone waits for
// it would let two holders each lock a file of that name.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

class PortRegistry {
public:
    // hardwareRoot is "/" on a real machine; tests point it at a tree holding sys/class/tty and dev.
    // privateRoot is the topmost folder of ours on the way to directory (directory itself when
    // empty); the folders above it belong to the system.
    PortRegistry(std::filesystem::path directory, std::filesystem::path hardwareRoot,
                 std::filesystem::path privateRoot = {});

    // The registry of this process: the directory from the environment as above, the hardware root
    // from ORVANE_HW_ROOT (default "/").
    static PortRegistry Default();

    const std::filesystem::path& Directory() const { return m_directory; }

    // Why the directory must not be used, in one line; empty when it is safe or not made yet.
    std::string Problem() const;
    // Creates what is missing of the directory, then checks it as Problem does.
    std::string Prepare() const;

    // The device COM<port> stands for (its link's target), or empty when there is no such link.
    std::string Resolve(int port) const;

    // False where device paths cannot be given numbers (Windows: the system numbers its ports).
    static bool RegistersDevicePaths();
    // Empty when `path` is a terminal device, else one line on what it is instead. Only a terminal
    // is given a number: the number stays in the registry for good.
    static std::string WhyNotASerialLine(const std::string& path);

    // Gives device a number: the one it already has, else the lowest free one from `lowest` up.
    // Returns 0 when no number in lowest..256 is free or the link cannot be made. For a
    // pseudo-terminal this process takes the lock beside the new link and holds it until Unregister
    // or its end, so the number lasts exactly as long as the process that asked for it.
    int Register(const std::string& device, int lowest = 1);
    // Gives device exactly COM<port>, as Register does. Empty on success, else one line on why not;
    // `taken` is set when another link or another program has the number.
    std::string RegisterAt(int port, const std::string& device, bool& taken);
    bool Unregister(int port);

    // Removes the links whose device is gone: pseudo-terminals nobody serves any more and devices
    // that are no longer there (they give their numbers up). One line per link removed.
    std::vector<std::string> Prune();

    // Serial devices present under the hardware root, in registry order: ttyS (with a UART behind
    // it), ttyUSB, ttyACM, then the others, each group by number. Paths are under hardwareRoot/dev.
    // The kernel's active consoles (hardwareRoot/proc/consoles) are left out: opening one and
    // writing a frame to it disturbs the machine's console, often ttyS0 on servers.
    std::vector<std::string> PresentDevices() const;

    // Port names ("COM<n>", as the links are named) of every link whose device exists and is no
    // active console, after giving a number to each present device that has none yet.
    std::vector<std::string> ListPortNames();

    // One line on why COM<port> cannot be opened: it does not exist, permission is denied, or another
    // program holds it (named when the system tells). Empty when no reason can be found.
    std::string ExplainOpenFailure(int port) const;
    // Why `device` will not open for this user, told from its owner, group and mode: the group to
    // join when its group may use it, else who alone may (a root:root 0600 node has no group to
    // join).
    static std::string WhyPermissionDenied(const std::string& device);

private:
    struct Link {
        std::string name;
        int number;
        std::string target;
    };
    // The links that count; stale pseudo-terminal links are removed on the way, each with one line
    // in `dropped` when given.
    std::vector<Link> ReadLinks(std::vector<std::string>* dropped = nullptr) const;
    // Removes the link `name` when it leads to a pseudo-terminal whose lock nobody holds.
    bool DropIfStale(const std::string& name, const std::string& target) const;
    std::vector<std::string> ActiveConsoles() const;

    std::string CheckFolders(bool create) const;

    std::filesystem::path m_directory;
    std::filesystem::path m_hardwareRoot;
    std::filesystem::path m_privateRoot;
};
