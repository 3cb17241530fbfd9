// The POSIX port registry: COM numbers for serial devices, kept as symbolic links named COM<n> in
// one directory ($XDG_RUNTIME_DIR/orvane/ports, or /tmp/orvane-<uid>/ports). It plays the part of the
// COM port database of Windows: a number once given to a device stays with it.
//
// Whoever can write into the directory decides which device a COM number opens, so it must be
// private: the folders from privateRoot down to it are created 0700 and used only while each is a
// real directory (not a link) owned by this user and writable by nobody else. /tmp is shared by
// every user, and another one could otherwise make /tmp/orvane-<uid> first and point COM1 at a pty
// of their own.
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

    // Gives device a number: the one it already has, else the lowest free one from `lowest` up.
    // Returns 0 when no number in lowest..256 is free or the link cannot be made.
    int Register(const std::string& device, int lowest = 1);
    bool Unregister(int port);

    // Serial devices present under the hardware root, in registry order: ttyS (with a UART behind
    // it), ttyUSB, ttyACM, then the others, each group by number. Paths are under hardwareRoot/dev.
    std::vector<std::string> PresentDevices() const;

    // Port names ("COM<n>", as the links are named) of every link whose device exists, after giving a
    // number to each present device that has none yet.
    std::vector<std::string> ListPortNames();

private:
    struct Link {
        std::string name;
        int number;
        std::string target;
    };
    std::vector<Link> ReadLinks() const;

    std::string CheckFolders(bool create) const;

    std::filesystem::path m_directory;
    std::filesystem::path m_hardwareRoot;
    std::filesystem::path m_privateRoot;
};
