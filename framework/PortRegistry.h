// The port registry: which device each COM number stands for. On POSIX it is kept as symbolic links
// named COM<n> in one directory ($XDG_RUNTIME_DIR/orvane/ports, or /tmp/orvane-<uid>/ports), playing
// the part of the COM port database of Windows: a number once given to a device stays with it. On
// Windows the system keeps that database itself: the registry only reads it (the device names under
// HKLM\HARDWARE\DEVICEMAP\SERIALCOMM) and cannot give numbers to device paths.
#pragma once

#include <filesystem>
#include <string>
#include <vector>

class PortRegistry {
public:
    // hardwareRoot is "/" on a real machine; tests point it at a tree holding sys/class/tty and dev.
    PortRegistry(std::filesystem::path directory, std::filesystem::path hardwareRoot);

    // The registry of this process: the directory from the environment as above, the hardware root
    // from ORVANE_HW_ROOT (default "/").
    static PortRegistry Default();

    const std::filesystem::path& Directory() const { return m_directory; }

    // The device COM<port> stands for (its link's target), or empty when there is no such link.
    std::string Resolve(int port) const;

    // False where device paths cannot be given numbers (Windows: the system numbers its ports).
    static bool RegistersDevicePaths();

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

    std::filesystem::path m_directory;
    std::filesystem::path m_hardwareRoot;
};
