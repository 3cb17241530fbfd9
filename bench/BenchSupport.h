// What the benchmarks share: a private port registry and scratch directory for the whole run, the
// main window driven headless through its own commands, the simulated device run in-process with
// time-stamped frame lines, and a few file and /proc helpers.
#pragma once

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "tests/support/PatternBytes.h"
#include "tools/sim/SimulatorThread.h"
#include "ui/Dialog_Update.h"

using BenchClock = std::chrono::steady_clock;

// The line rates the figures are computed against.
constexpr uint32_t kLowRate = 9600;
constexpr uint32_t kHighRate = 115200;
constexpr uint32_t kBitsPerByte = 10;  // 8N1: start bit, 8 data bits, stop bit

// Seconds one byte takes on the wire at `rate`.
inline double ByteSeconds(uint32_t rate) {
    return static_cast<double>(kBitsPerByte) / rate;
}

// The scratch directory of this run (inside the private registry's tree, removed at exit).
const std::filesystem::path& BenchDirectory();
void SetBenchDirectory(std::filesystem::path directory);

std::string WriteBenchFile(const std::string& name, const std::vector<uint8_t>& bytes);
std::vector<uint8_t> ReadBenchFile(const std::filesystem::path& path);
// A firmware image of `payload` for devices of `model`, written to the scratch directory.
std::string WriteFirmwareImage(const std::string& name, const std::vector<uint8_t>& payload,
                               const std::string& model);

// A "Vm..." field of /proc/self/status in KiB, or -1.
long ProcStatusKib(const char* field);

// The main window, created offscreen and driven through its commands as orvane-cli drives it.
class HeadlessWindow {
public:
    HeadlessWindow();
    ~HeadlessWindow();
    HeadlessWindow(const HeadlessWindow&) = delete;
    HeadlessWindow& operator=(const HeadlessWindow&) = delete;

    Dialog_Update& Dialog() { return m_dialog; }
    bool Created() const { return m_created; }

    void Click(int controlId, UINT notification = BN_CLICKED);
    // Opens COM<port> by answering the port chooser; true when the port is open.
    bool OpenPort(int port);
    // Opens `path` by answering the file dialog; true when the engine took the file.
    bool OpenFile(const std::string& path);
    void SelectHighSpeed(bool highSpeed);

private:
    Dialog_Update m_dialog;
    bool m_created = false;
};

// The simulated device on its own thread, as 'orvane-cli simulate' runs it, with every line it
// reports (frames received with --verbose, replies written) stamped on arrival.
class InProcessDevice {
public:
    struct Line {
        BenchClock::time_point at;
        std::string text;
    };

    explicit InProcessDevice(SimulatorOptions options);
    ~InProcessDevice();
    InProcessDevice(const InProcessDevice&) = delete;
    InProcessDevice& operator=(const InProcessDevice&) = delete;

    bool Started() const { return m_device.Running(); }
    int Port() const { return m_device.Port(); }
    // Stops the device; the lines are complete afterwards.
    void Stop() { m_device.Stop(); }
    std::vector<Line> Lines();

private:
    void Keep(const std::string& line);

    std::mutex m_mutex;
    std::vector<Line> m_lines;
    SimulatorThread m_device;  // last: it calls Keep until it stops
};

// "01 6A 27 11" back to bytes.
std::vector<uint8_t> ParseHex(const std::string& text);
