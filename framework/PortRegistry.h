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
    // Returns 0 when no number in lowest..256 is free or the link cannot be made.
    int Register(const std::string& device, int lowest = 1);
    bool Unregister(int port);

    // Serial devices present under the hardware root, in registry order: ttyS (with a UART behind
    // it), ttyUSB, ttyACM, then the others, each group by number. Paths are under hardwareRoot/dev.
    std::vector<std::string> PresentDevices() const;

    // Port names ("COM<n>", as the links are named) of every link whose device exists, after giving a
    // number to each present device that has none yet.
    std::vector<std::string> ListPortNames();

    // One line on why COM<port> cannot be opened: it does not exist, permission is denied, or another
    // program holds it (named when the system tells). Empty when no reason can be found.
    std::string ExplainOpenFailure(int port) const;

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
