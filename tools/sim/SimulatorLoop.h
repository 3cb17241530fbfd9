// Runs one simulated device on a pseudo-terminal: registers it as a COM port, moves bytes between
// the line and the DeviceSimulator at the times it asks for, and writes the payload and summary
// files. Single-threaded around poll(); a readable stop descriptor ends it.
#pragma once

#include <chrono>
#include <functional>
#include <optional>
#include <string>

#include "framework/PortRegistry.h"
#include "tools/sim/DeviceSimulator.h"
#include "tools/sim/PtyDevice.h"
#include "tools/sim/SimFrameSplitter.h"
#include "tools/sim/SimulatorOptions.h"

class SimulatorLoop {
public:
    using LineSink = std::function<void(const std::string& line)>;

    // The host writes each frame at once, so a frame still incomplete after this much quiet is
    // garbage; generous against scheduling delays, short against the host's patience.
    static constexpr std::chrono::milliseconds kIdleGap{30};
    // How long the line stays unplugged after a hang-up fault.
    static constexpr std::chrono::milliseconds kReplugDelay{500};
    // How long a reply may wait for room in a line the host does not read.
    static constexpr std::chrono::milliseconds kWriteTimeout{2000};

    // `out` gets the READY lines, `err` diagnostics and (with --verbose) one line per frame.
    SimulatorLoop(SimulatorOptions options, PortRegistry registry, LineSink out, LineSink err);
    ~SimulatorLoop();
    SimulatorLoop(const SimulatorLoop&) = delete;
    SimulatorLoop& operator=(const SimulatorLoop&) = delete;

    // Opens the line and registers it. Returns 0, or the exit code of the failure (2 when the
    // asked-for port is taken, 1 for system failures) after reporting it on `err`.
    int Start();
    // Serves the line until `stopFd` becomes readable; then writes the files and removes the link.
    int Run(int stopFd);

    int Port() const { return m_port; }
    const DeviceSimulator& Device() const { return m_device; }

private:
    bool Register();
    bool Replug();
    void Announce();
    void HandleReadable(SimClock::time_point now);
    void TakeFrames(SimClock::time_point now);
    void Perform(const SimOutput& output, SimClock::time_point now);
    void WriteFiles();
    void Shutdown();

    SimulatorOptions m_options;
    PortRegistry m_registry;
    LineSink m_out;
    LineSink m_err;
    PtyDevice m_pty;
    SimFrameSplitter m_splitter;
    DeviceSimulator m_device;
    int m_port = 0;
    uint32_t m_completedSeen = 0;
    uint64_t m_badSeen = 0;
    std::optional<SimClock::time_point> m_idleAt;
    std::optional<SimClock::time_point> m_replugAt;
    bool m_shutDown = false;
};
