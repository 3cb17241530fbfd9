// StationRun: test, program or firmware on several devices at once. Every device gets an
// orvane-cli process of its own running the single-port command with --json, so a device that is
// silent, hangs up or is held elsewhere cannot stop, slow or corrupt the others. This process
// gathers their events, prefixes each with its port, draws one progress line per device on a
// terminal and ends with a table (or, with --json, one result per device and a summary).
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "framework/ConsoleDiagnostics.h"
#include "tools/cli/HostOptions.h"

class StationRun {
public:
    // `args` are the command's own arguments as given; each child gets them with the port choice
    // replaced by a single --port.
    StationRun(HostOptions::Kind kind, const HostOptions& options, const CommandArgs& args);

    // The process exit code: 0 when every device completed; 2 for usage or file errors, found
    // before any device is touched; else 1 when any device failed, 3 when one only timed out.
    int Run();

    struct Device {
        std::string port;  // "COM9"
        std::string model;
        std::string status;  // the child's result status, e.g. "completed", "timeout"
        std::string message;
        int exitCode = -1;
        int64_t bytes = 0;
        double seconds = 0;
        double cpuSeconds = 0;
        bool resultSeen = false;
        std::string progress;  // the terminal's progress line for this device
    };

    // The table printed at the end: port, model, result, bytes sent, time and reason.
    static std::string FormatTable(const std::vector<Device>& devices);
    // The combined exit code of the devices' single-port codes.
    static int CombinedExitCode(const std::vector<Device>& devices);

private:
    // Fills m_devices from --port, --ports and --all-ports; false (after saying why) on a usage error.
    bool ChoosePorts();
    std::vector<std::string> ChildArguments(const std::string& port) const;
    void OnChildLine(size_t child, bool standardError, const std::string& line);
    void PrintAbove(ConsoleStream stream, const std::string& line);
    void DrawProgress();
    void ClearProgress();
    int Usage(const std::string& message);

    HostOptions::Kind m_kind;
    HostOptions m_options;
    CommandArgs m_args;
    std::vector<Device> m_devices;
    bool m_terminal = false;
    size_t m_progressLinesDrawn = 0;
    std::chrono::steady_clock::time_point m_lastDraw;
};
