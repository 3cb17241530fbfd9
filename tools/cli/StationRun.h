// StationRun: test, program or firmware on several devices at once. Every device gets an
// orvane-cli process of its own running the single-port command with --json, so a device that is
// silent, hangs up or is held elsewhere cannot stop, slow or corrupt the others. This process
// gathers their events, prefixes each with its port, draws one progress line per device on a
// terminal and ends with a table (or, with --json, one result per device and a summary).
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <ctime>
#include <string>
#include <vector>

#include "framework/ChildProcessGroup.h"
#include "framework/ConsoleDiagnostics.h"
#include "tools/cli/HostOptions.h"
#include "tools/cli/StationRecord.h"
#include "tools/cli/UpdateFile.h"

class StationRun {
public:
    // `args` are the command's own arguments as given; each child gets them with the port choice
    // replaced by a single --port.
    StationRun(HostOptions::Kind kind, const HostOptions& options, const CommandArgs& args);

    // The process exit code (see Commands.h): 2 when nothing could be sent to any device (usage,
    // file, record, or not one port available); 130/143/129 when interrupted; else 1 when any device
    // failed or a record line was lost, 3 when one only timed out, 0 when every device completed.
    int Run();

    struct Device {
        std::string port;    // "COM9"
        std::string device;  // the device node behind it, when known
        std::string model;
        std::string status;  // the child's result status, e.g. "completed", "timeout"; or "crashed"
        std::string message;
        int exitCode = -1;
        int resultExit = -1;  // the exit its result line gave
        int64_t bytes = 0;
        uint32_t blocksDone = 0;  // acknowledged, as last reported
        uint32_t blocksTotal = 0;
        double seconds = 0;
        double cpuSeconds = 0;
        std::string reasonCode;  // the child's reason_code, or why its process failed
        bool resultSeen = false;
        bool recorded = false;
        std::string progress;  // the terminal's progress line for this device
    };

    // The table printed at the end: port, model, result, bytes sent, time and reason.
    static std::string FormatTable(const std::vector<Device>& devices);
    // Rows of cells as a table, each column as wide as its widest cell (in terminal columns); the last
    // column is not padded.
    static std::string Columnate(const std::vector<std::vector<std::string>>& rows);
    // A result status as the user reads it: the status itself in English, its translation otherwise.
    static std::string ResultWord(const std::string& status);
    // The combined exit code of the devices' single-port codes, interrupts aside.
    static int CombinedExitCode(const std::vector<Device>& devices);
    // How a device's run ended, from its result line (if one came) and its process's exit: a process
    // that ends without a result, or otherwise than its result said, failed, whatever its code.
    static void Conclude(Device& device, const ChildExit& exit, uint32_t payloadBytes);
    // "COM5, COM7-COM9": the numbers in order, runs joined.
    static std::string PortList(const std::vector<int>& numbers);
    // `text` cut to `columns` terminal columns (a Chinese character takes two).
    static std::string FitColumns(const std::string& text, size_t columns);
    // How a result status reads in a sentence: "timed out", "lost its line", ...
    static std::string StatusPhrase(const std::string& status);
    // The run's outcome in one sentence: "8 devices: 6 completed; COM10 timed out, COM13 lost its line".
    static std::string OutcomeSentence(HostOptions::Kind kind, const std::vector<Device>& devices);
    // The command that runs again on exactly the devices that did not complete; empty when all did.
    // `program` is this program's path, `kind` and `args` the command as it was given.
    static std::string RetryCommand(const std::string& program, HostOptions::Kind kind,
                                    const CommandArgs& args, const std::vector<Device>& devices);
    // A time as tables and result lines show it: "12.3 s".
    static std::string FormatSeconds(double seconds);
    // Refuses a run of several ports before anything is sent: one line, or a JSON summary; exit 2.
    static int Refuse(HostOptions::Kind kind, bool json, const std::string& message);

private:
    // Fills m_devices from --port, --ports and --all-ports; false (after saying why) on a usage error.
    bool ChoosePorts();
    std::vector<std::string> ChildArguments(const std::string& port) const;
    void OnChildLine(size_t child, bool standardError, const std::string& line);
    void OnTick(ChildProcessGroup& group);
    void Record(Device& device);
    void Say(const Device* device, const std::string& type, const std::string& text);
    void PrintAbove(ConsoleStream stream, const std::string& line);
    void DrawProgress();
    void ClearProgress();
    int Usage(const std::string& message);

    HostOptions::Kind m_kind;
    HostOptions m_options;
    CommandArgs m_args;
    std::vector<Device> m_devices;
    UpdateFileInfo m_file;
    StationRecord m_record;
    bool m_recordFailed = false;
    bool m_interruptPassed = false;
    std::time_t m_startedAt = 0;
    std::string m_runId;
    bool m_terminal = false;
    size_t m_progressLinesDrawn = 0;
    std::chrono::steady_clock::time_point m_lastDraw;
};
