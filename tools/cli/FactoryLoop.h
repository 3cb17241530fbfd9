// FactoryLoop: program or firmware with --loop, unit after unit on every port until Ctrl-C. Each port
// gets an orvane-cli process of its own (--loop-child) that waits for a unit, updates it and waits
// until it is taken out, and reports each step as JSON. This process writes a record line for every
// unit, shows one line per port with the running counts, and ends with a summary of all units.
#pragma once

#include <chrono>
#include <cstdint>
#include <ctime>
#include <string>
#include <vector>

#include "framework/ChildProcessGroup.h"
#include "framework/ConsoleDiagnostics.h"
#include "tools/cli/HostOptions.h"
#include "tools/cli/StationRecord.h"
#include "tools/cli/UpdateFile.h"

class FactoryLoop {
public:
    FactoryLoop(HostOptions::Kind kind, const HostOptions& options, const CommandArgs& args);

    // The interrupt's exit code when Ctrl-C (or SIGTERM) ended the loop, as it normally does; 2 for
    // usage, file or record errors found before anything is sent; 1 when the ports' processes ended
    // by themselves.
    int Run();

    // One unit's end, as its port's process reported it.
    struct Unit {
        std::string port;
        uint32_t number = 0;  // on its port, from 1
        std::string model;
        std::string status;  // "completed", "failed", "timeout", "line-lost", "interrupted", "crashed"
        std::string reason;
        std::string reasonCode;  // the same for scripts, in every language
        int64_t bytes = 0;
        double seconds = 0;
    };

    struct Port {
        std::string name;    // "COM9"
        std::string device;  // the node behind it, as the last result named it
        std::string line;    // what the operator reads on this port's line
        uint32_t unit = 0;   // the unit being updated, 0 when none
        uint32_t blocksDone = 0;
        std::time_t unitStartedAt = 0;
        std::chrono::steady_clock::time_point unitStarted;
    };

    // "6 units: 5 completed; COM9 unit 2 timed out": the sentence a summary ends with.
    static std::string Outcome(const std::vector<Unit>& units);

private:
    bool ChoosePorts();
    std::vector<std::string> ChildArguments(const std::string& port) const;
    void OnChildLine(size_t child, bool standardError, const std::string& line);
    void OnUnitEnd(Port& port, const Unit& unit, int exitCode, uint32_t blocks);
    void OnTick(ChildProcessGroup& group);
    void Say(const std::string& line);
    void Draw();
    void Clear();
    std::string Counts() const;
    int Usage(const std::string& message);
    void PrintSummary(int exitCode);

    HostOptions::Kind m_kind;
    HostOptions m_options;
    CommandArgs m_args;
    std::vector<Port> m_ports;
    std::vector<Unit> m_units;
    UpdateFileInfo m_file;
    StationRecord m_record;
    std::string m_runId;
    bool m_interruptPassed = false;
    bool m_terminal = false;
    size_t m_linesDrawn = 0;
    std::chrono::steady_clock::time_point m_started;
    std::chrono::steady_clock::time_point m_lastDraw;
};
