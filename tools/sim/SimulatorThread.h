// SimulatorThread: the device simulator running on a thread of its own inside this process, for
// programs that embed a simulated device (the GUI tests, the benchmarks) instead of starting
// `orvane-cli simulate`.
#pragma once

#include <memory>
#include <thread>

#include "tools/sim/SimulatorLoop.h"

class SimulatorThread {
public:
    // Registers the device and starts it at once. Empty sinks drop what the device says.
    explicit SimulatorThread(SimulatorOptions options, SimulatorLoop::LineSink out = {},
                             SimulatorLoop::LineSink err = {});
    ~SimulatorThread();
    SimulatorThread(const SimulatorThread&) = delete;
    SimulatorThread& operator=(const SimulatorThread&) = delete;

    // False when the pty or the COM link could not be made.
    bool Started() const { return m_started; }
    int Port() const { return m_loop->Port(); }
    // Stops the device and waits for its thread; further calls do nothing.
    void Stop();
    bool Running() const { return m_thread.joinable(); }
    // What the device received; read it after Stop.
    const DeviceSimulator& Device() const { return m_loop->Device(); }

private:
    std::unique_ptr<SimulatorLoop> m_loop;
    std::thread m_thread;
    int m_stopPipe[2] = {-1, -1};
    bool m_started = false;
};
