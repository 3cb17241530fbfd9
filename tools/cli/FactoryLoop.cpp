#include "tools/cli/FactoryLoop.h"

#include <algorithm>
#include <cstdio>
#include <map>

#include "framework/ConsoleText.h"
#include "framework/InterruptRequest.h"
#include "framework/ModulePath.h"
#include "serial/PortDiscovery.h"
#include "tools/cli/Json.h"
#include "tools/cli/PortArgument.h"
#include "tools/cli/StationRun.h"

namespace {

using namespace std::chrono_literals;

constexpr std::chrono::milliseconds kRedrawInterval = 200ms;
constexpr double kSecondsPerHour = 3600;

std::string Seconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", seconds);
    return text;
}

// The options this process keeps to itself: the ports' processes get one --port each, and the
// records (with their tags) are written here.
bool IsLoopOption(const std::string& arg, size_t& skip) {
    skip = 0;
    for (const char* option : {"--port", "--ports", "--record", "--expect", "--tag"}) {
        if (arg == option) {
            skip = 1;
            return true;
        }
        if (arg.rfind(std::string(option) + "=", 0) == 0)
            return true;
    }
    for (const char* flag : {"--all-ports", "--json", "--loop"}) {
        if (arg == flag)
            return true;
    }
    return false;
}

}  // namespace

FactoryLoop::FactoryLoop(HostOptions::Kind kind, const HostOptions& options, const CommandArgs& args)
    : m_kind(kind), m_options(options), m_args(args) {
    m_terminal = !m_options.json && IsTerminal(ConsoleStream::Error) && IsTerminal(ConsoleStream::Output);
    m_runId = StationRecord::NewRunId();
}

int FactoryLoop::Usage(const std::string& message) {
    if (m_options.json) {
        ConsolePrintf(ConsoleStream::Output, "%s\n",
                      JsonObject()
                          .Event("summary")
                          .Add("exit", static_cast<int64_t>(kExitUsage))
                          .Add("status", "usage")
                          .Add("message", message)
                          .Text()
                          .c_str());
    } else {
        ConsolePrintf(ConsoleStream::Error, "orvane-cli %s: %s\n", HostOptions::CommandName(m_kind),
                      message.c_str());
    }
    return kExitUsage;
}

bool FactoryLoop::ChoosePorts() {
    std::vector<int> numbers;
    // A port named on its own may be absent for now: a unit with its own USB port brings it along.
    for (const std::string& given : m_options.ports) {
        const PortChoice choice = ResolvePortArgument(given);
        if (choice.number == 0) {
            Usage(choice.error);
            return false;
        }
        numbers.push_back(choice.number);
    }
    if (m_options.rangeFirst != 0 || m_options.allPorts) {
        for (int number : EnumerateComPorts()) {
            if (m_options.allPorts || (number >= m_options.rangeFirst && number <= m_options.rangeLast))
                numbers.push_back(number);
        }
    }
    std::sort(numbers.begin(), numbers.end());
    numbers.erase(std::unique(numbers.begin(), numbers.end()), numbers.end());
    if (numbers.empty()) {
        Usage("no port present in the ports asked for (see 'orvane-cli ports')");
        return false;
    }
    if (m_options.expect >= 0 && numbers.size() != static_cast<size_t>(m_options.expect)) {
        Usage("--expect " + std::to_string(m_options.expect) + ", but the loop has " +
              std::to_string(numbers.size()) + " ports: " + StationRun::PortList(numbers));
        return false;
    }
    for (int number : numbers) {
        Port port;
        port.name = "COM" + std::to_string(number);
        port.line = "starting";
        m_ports.push_back(port);
    }
    return true;
}

std::vector<std::string> FactoryLoop::ChildArguments(const std::string& port) const {
    std::vector<std::string> out = {HostOptions::CommandName(m_kind)};
    for (size_t i = 0; i < m_args.size(); ++i) {
        size_t skip = 0;
        if (IsLoopOption(m_args[i], skip)) {
            i += skip;
            continue;
        }
        out.push_back(m_args[i]);
    }
    out.insert(out.end(), {"--port", port, "--json", "--loop-child"});
    return out;
}

std::string FactoryLoop::Counts() const {
    size_t completed = 0;
    for (const Unit& unit : m_units)
        completed += unit.status == "completed";
    const size_t failed = m_units.size() - completed;
    const double hours =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - m_started).count() / kSecondsPerHour;
    char text[128];
    std::snprintf(text, sizeof text, "completed %zu   failed %zu   %.0f units per hour", completed, failed,
                  hours > 0 ? static_cast<double>(m_units.size()) / hours : 0.0);
    return text;
}

void FactoryLoop::Clear() {
    if (m_linesDrawn == 0)
        return;
    ConsolePrintf(ConsoleStream::Error, "\033[%zuA\r\033[J", m_linesDrawn);
    m_linesDrawn = 0;
}

void FactoryLoop::Draw() {
    if (!m_terminal)
        return;
    Clear();
    const int columns = TerminalColumns(ConsoleStream::Error);
    std::vector<std::string> lines;
    for (const Port& port : m_ports)
        lines.push_back(port.name + std::string(port.name.size() < 6 ? 6 - port.name.size() : 1, ' ') +
                        port.line);
    lines.push_back(Counts());
    for (std::string& line : lines) {
        if (columns > 1)
            line = StationRun::FitColumns(line, static_cast<size_t>(columns - 1));
        ConsolePrintf(ConsoleStream::Error, "%s\n", line.c_str());
    }
    m_linesDrawn = lines.size();
    std::fflush(stderr);
    m_lastDraw = std::chrono::steady_clock::now();
}

void FactoryLoop::Say(const std::string& line) {
    const bool redraw = m_linesDrawn != 0;
    Clear();
    WriteConsoleText(ConsoleStream::Output, line + "\n");
    std::fflush(stdout);
    if (redraw)
        Draw();
}

void FactoryLoop::OnUnitEnd(Port& port, const Unit& unit, int exitCode, uint32_t blocks) {
    m_units.push_back(unit);
    port.unit = 0;
    if (m_record.IsOpen()) {
        StationRecord::Entry entry;
        entry.startedAt = port.unitStartedAt;
        entry.endedAt = std::time(nullptr);
        entry.port = port.name;
        entry.device = port.device;
        entry.model = unit.model;
        entry.kind = m_kind;
        entry.file = &m_file;
        entry.highSpeed = m_options.highSpeed;
        entry.result = unit.status;
        entry.exitCode = exitCode;
        entry.reason = unit.reason;
        entry.blocks = blocks;
        entry.seconds = unit.seconds;
        entry.runId = m_runId;
        entry.unit = unit.number;
        entry.tags = &m_options.tags;
        std::string error;
        if (!m_record.Append(entry, error)) {
            if (m_options.json) {
                ConsolePrintf(ConsoleStream::Output, "%s\n",
                              JsonObject()
                                  .Add("port", port.name)
                                  .Event("record-error")
                                  .Add("message", error)
                                  .Text()
                                  .c_str());
            } else {
                Say("[" + port.name + "] " + error);
            }
        }
    }
    const std::string name = "unit " + std::to_string(unit.number);
    if (unit.status == "completed")
        port.line = name + " done, remove the unit";
    else if (unit.status == "interrupted")
        port.line = name + " stopped";
    else
        port.line = name + " failed: " + unit.reason + "; remove the unit";
    if (!m_options.json) {
        Say("[" + port.name + "] " + name + " " + unit.status +
            (unit.model.empty() ? "" : " (" + unit.model + ")") + ", " + Seconds(unit.seconds) +
            (unit.reason.empty() ? "" : ": " + unit.reason));
    }
    Draw();
}

void FactoryLoop::OnChildLine(size_t child, bool standardError, const std::string& line) {
    Port& port = m_ports[child];
    const std::string prefix = "[" + port.name + "] ";
    JsonFields object;
    if (standardError || !object.Parse(line)) {
        if (m_options.json) {
            ConsolePrintf(
                ConsoleStream::Output, "%s\n",
                JsonObject().Add("port", port.name).Event("message").Add("text", line).Text().c_str());
        } else {
            Say(prefix + line);
        }
        return;
    }
    if (m_options.json) {
        // Every event carries its port; the process's own object follows unchanged.
        ConsolePrintf(ConsoleStream::Output, "{%s,%s\n",
                      JsonString("port").append(":").append(JsonString(port.name)).c_str(),
                      line.substr(1).c_str());
        std::fflush(stdout);
    }
    const std::string type = object.String("type");
    if (type == "unit") {
        const std::string state = object.String("state");
        const std::string detail = object.String("detail");
        if (state == "waiting") {
            port.line = detail.empty() ? "waiting for a unit" : "waiting for a unit (" + detail + ")";
        } else if (state == "updating") {
            port.unit = static_cast<uint32_t>(object.Integer("unit"));
            port.blocksDone = 0;
            port.unitStartedAt = std::time(nullptr);
            port.unitStarted = std::chrono::steady_clock::now();
            port.line = "unit " + std::to_string(port.unit) + " updating   0%";
        }
        Draw();
    } else if (type == "progress" && port.unit != 0) {
        port.blocksDone = static_cast<uint32_t>(object.Integer("blocks_done"));
        char text[64];
        std::snprintf(text, sizeof text, "unit %u updating %3d%%", port.unit,
                      static_cast<int>(object.Integer("percent")));
        port.line = text;
        if (std::chrono::steady_clock::now() - m_lastDraw >= kRedrawInterval)
            Draw();
    } else if (type == "result") {
        Unit unit;
        unit.port = port.name;
        unit.number = static_cast<uint32_t>(object.Integer("unit"));
        unit.model = object.String("model");
        unit.status = object.String("status");
        const int exitCode = static_cast<int>(object.Integer("exit"));
        unit.reason = exitCode == kExitOk ? std::string() : object.String("message");
        unit.bytes = object.Integer("bytes");
        unit.seconds = object.Number("seconds");
        if (object.Has("device"))
            port.device = object.String("device");
        if (unit.number == 0) {
            // The port's process ended before any unit: a usage or file error, said once.
            if (!m_options.json)
                Say(prefix + unit.reason);
            return;
        }
        OnUnitEnd(port, unit, exitCode, static_cast<uint32_t>(object.Integer("blocks")));
    } else if (!m_options.json && (type == "message" || type == "record-error")) {
        Say(prefix + object.String(type == "message" ? "text" : "message"));
    }
}

void FactoryLoop::OnTick(ChildProcessGroup& group) {
    const int code = InterruptRequest::Pending();
    if (code == 0 || m_interruptPassed) {
        if (m_terminal && std::chrono::steady_clock::now() - m_lastDraw >= 1s)
            Draw();  // the units per hour move on while nothing else happens
        return;
    }
    m_interruptPassed = true;
    group.InterruptAll();
    if (!m_options.json)
        Say(std::string("ending the loop after ") + InterruptName(code) +
            "; a unit being updated is stopped (another one ends at once)");
}

std::string FactoryLoop::Outcome(const std::vector<Unit>& units) {
    size_t completed = 0;
    std::string failures;
    for (const Unit& unit : units) {
        if (unit.status == "completed") {
            ++completed;
            continue;
        }
        failures += (failures.empty() ? "" : "; ") + unit.port + " unit " + std::to_string(unit.number) +
                    " " + unit.status;
    }
    std::string text = std::to_string(units.size()) + (units.size() == 1 ? " unit: " : " units: ") +
                       std::to_string(completed) + " completed";
    if (completed != units.size())
        text += ", " + std::to_string(units.size() - completed) + " not (" + failures + ")";
    return text;
}

void FactoryLoop::PrintSummary(int exitCode) {
    if (m_options.json) {
        std::vector<JsonObject> failed;
        int64_t completed = 0;
        for (const Unit& unit : m_units) {
            if (unit.status == "completed") {
                ++completed;
                continue;
            }
            failed.push_back(JsonObject()
                                 .Add("port", unit.port)
                                 .Add("unit", static_cast<int64_t>(unit.number))
                                 .Add("result", unit.status)
                                 .Add("reason", unit.reason));
        }
        ConsolePrintf(ConsoleStream::Output, "%s\n",
                      JsonObject()
                          .Event("summary")
                          .Add("exit", static_cast<int64_t>(exitCode))
                          .Add("run_id", m_runId)
                          .Add("units", static_cast<int64_t>(m_units.size()))
                          .Add("completed", completed)
                          .Add("failed", failed)
                          .Add("outcome", Outcome(m_units))
                          .Text()
                          .c_str());
        std::fflush(stdout);
        return;
    }
    std::string text = "\nport    units  completed  failed\n";
    for (const Port& port : m_ports) {
        size_t units = 0, completed = 0;
        for (const Unit& unit : m_units) {
            if (unit.port != port.name)
                continue;
            ++units;
            completed += unit.status == "completed";
        }
        char row[96];
        std::snprintf(row, sizeof row, "%-7s %5zu  %9zu  %6zu\n", port.name.c_str(), units, completed,
                      units - completed);
        text += row;
    }
    for (const Unit& unit : m_units) {
        if (unit.status != "completed")
            text += unit.port + " unit " + std::to_string(unit.number) + ": " + unit.status + " - " +
                    unit.reason + "\n";
    }
    text += Outcome(m_units) + "\n";
    WriteConsoleText(ConsoleStream::Output, text);
    std::fflush(stdout);
}

int FactoryLoop::Run() {
    if (m_kind == HostOptions::Kind::Test)
        return Usage("--loop is for program and firmware");
    if (!ChoosePorts())
        return kExitUsage;
    if (!InspectUpdateFile(m_kind, m_options.file, m_options.force, m_file))
        return Usage(m_file.error);
    if (std::string error; !m_record.Open(m_options.record, error))
        return Usage(error);
    CString self;
    if (!GetModuleFilePath(self))
        return Usage("the path of orvane-cli itself could not be found out");

    std::vector<std::vector<std::string>> argumentLists;
    for (const Port& port : m_ports)
        argumentLists.push_back(ChildArguments(port.name));
    m_started = std::chrono::steady_clock::now();
    Draw();
    ChildProcessGroup group;
    const std::vector<ChildExit> exits = group.Run(
        self.ToUtf8(), argumentLists,
        [this](size_t child, bool standardError, const std::string& line) {
            OnChildLine(child, standardError, line);
        },
        [this, &group] { OnTick(group); });

    // A port whose process ended in the middle of a unit without saying how: that unit is recorded
    // too, with what was seen of it.
    bool usageError = false;
    for (size_t i = 0; i < m_ports.size(); ++i) {
        Port& port = m_ports[i];
        usageError = usageError || exits[i].exitCode == kExitUsage;
        if (port.unit == 0)
            continue;
        Unit unit;
        unit.port = port.name;
        unit.number = port.unit;
        unit.status = "crashed";
        unit.reason = !exits[i].startError.empty()
                          ? exits[i].startError
                          : "the port's process ended with code " + std::to_string(exits[i].exitCode) +
                                " without a result after " + std::to_string(port.blocksDone) + " blocks";
        unit.bytes = std::min<int64_t>(int64_t{port.blocksDone} * 50, m_file.payloadBytes);
        unit.seconds =
            std::chrono::duration<double>(std::chrono::steady_clock::now() - port.unitStarted).count();
        OnUnitEnd(port, unit, kExitFailed, port.blocksDone);
    }
    Clear();
    // Ctrl-C is how a loop ends; without one, the ports' processes gave up by themselves.
    int exitCode = InterruptRequest::Pending();
    if (exitCode == 0)
        exitCode = usageError ? kExitUsage : kExitFailed;
    PrintSummary(exitCode);
    return exitCode;
}
