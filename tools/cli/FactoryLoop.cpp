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
#include "tools/i18n/Messages.h"

namespace {

using namespace std::chrono_literals;

constexpr std::chrono::milliseconds kRedrawInterval = 200ms;
constexpr double kSecondsPerHour = 3600;

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
    return StationRun::Refuse(m_kind, m_options.json, message);
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
        Usage(Tr("no port present in the ports asked for (see 'orvane-cli ports')"));
        return false;
    }
    if (m_options.expect >= 0 && numbers.size() != static_cast<size_t>(m_options.expect)) {
        Usage(FormatText(TrN("--expect %d, but the loop has %zu port: %s",
                             "--expect %d, but the loop has %zu ports: %s", numbers.size()),
                         m_options.expect, numbers.size(), StationRun::PortList(numbers).c_str()));
        return false;
    }
    for (int number : numbers) {
        Port port;
        port.name = "COM" + std::to_string(number);
        port.line = Tr("starting");
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
    // The loop's language, whether from --lang or from the locale, for every port's texts.
    out.insert(out.end(), {"--port", port, "--json", "--loop-child", "--lang",
                           MessageLanguageName(CurrentMessageLanguage())});
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
    std::snprintf(text, sizeof text, Tr("completed %zu   failed %zu   %.0f units per hour"), completed,
                  failed, hours > 0 ? static_cast<double>(m_units.size()) / hours : 0.0);
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
        entry.reasonCode = unit.reasonCode;
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
    if (unit.status == "completed")
        port.line = FormatText(Tr("unit %u done, remove the unit"), unit.number);
    else if (unit.status == "interrupted")
        port.line = FormatText(Tr("unit %u stopped"), unit.number);
    else
        port.line = FormatText(Tr("unit %u failed: %s; remove the unit"), unit.number, unit.reason.c_str());
    if (!m_options.json) {
        std::string line = FormatText(Tr("[%s] unit %u %s"), port.name.c_str(), unit.number,
                                      StationRun::ResultWord(unit.status).c_str());
        if (!unit.model.empty())
            line += " (" + unit.model + ")";
        line += FormatText(Tr(", %s"), StationRun::FormatSeconds(unit.seconds).c_str());
        if (!unit.reason.empty())
            line += FormatText(Tr(": %s"), unit.reason.c_str());
        Say(line);
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
            port.line = detail.empty() ? std::string(Tr("waiting for a unit"))
                                       : FormatText(Tr("waiting for a unit (%s)"), detail.c_str());
        } else if (state == "updating") {
            port.unit = static_cast<uint32_t>(object.Integer("unit"));
            port.blocksDone = 0;
            port.unitStartedAt = std::time(nullptr);
            port.unitStarted = std::chrono::steady_clock::now();
            port.line = FormatText(Tr("unit %u updating %3d%%"), port.unit, 0);
        }
        Draw();
    } else if (type == "progress" && port.unit != 0) {
        port.blocksDone = static_cast<uint32_t>(object.Integer("blocks_done"));
        port.line =
            FormatText(Tr("unit %u updating %3d%%"), port.unit, static_cast<int>(object.Integer("percent")));
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
        unit.reasonCode = exitCode == kExitOk ? std::string() : object.String("reason_code");
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
        Say(FormatText(
            Tr("ending the loop after %s; a unit being updated is stopped (another one ends at once)"),
            InterruptName(code)));
}

std::string FactoryLoop::Outcome(const std::vector<Unit>& units) {
    size_t completed = 0;
    std::string others;
    for (const Unit& unit : units) {
        if (unit.status == "completed") {
            ++completed;
            continue;
        }
        const std::string other = FormatText(Tr("%s unit %u %s"), unit.port.c_str(), unit.number,
                                             StationRun::StatusPhrase(unit.status).c_str());
        others = others.empty() ? other : FormatText(Tr("%s, %s"), others.c_str(), other.c_str());
    }
    const std::string text = FormatText(
        TrN("%zu unit: %zu completed", "%zu units: %zu completed", units.size()), units.size(), completed);
    return others.empty() ? text : FormatText(Tr("%s; %s"), text.c_str(), others.c_str());
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
                                 .Add("reason", unit.reason)
                                 .Add("reason_code", unit.reasonCode));
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
    std::vector<std::vector<std::string>> rows = {{Tr("port"), Tr("units"), Tr("completed"), Tr("failed")}};
    for (const Port& port : m_ports) {
        size_t units = 0, completed = 0;
        for (const Unit& unit : m_units) {
            if (unit.port != port.name)
                continue;
            ++units;
            completed += unit.status == "completed";
        }
        rows.push_back(
            {port.name, std::to_string(units), std::to_string(completed), std::to_string(units - completed)});
    }
    std::string text = "\n" + StationRun::Columnate(rows);
    for (const Unit& unit : m_units) {
        if (unit.status != "completed")
            text += FormatText(Tr("%s unit %u: %s - %s\n"), unit.port.c_str(), unit.number,
                               StationRun::ResultWord(unit.status).c_str(), unit.reason.c_str());
    }
    text += Outcome(m_units) + "\n";
    WriteConsoleText(ConsoleStream::Output, text);
    std::fflush(stdout);
}

int FactoryLoop::Run() {
    if (m_kind == HostOptions::Kind::Test)
        return Usage(Tr("--loop is for program and firmware"));
    if (!ChoosePorts())
        return kExitUsage;
    if (!InspectUpdateFile(m_kind, m_options.file, m_options.force, m_file))
        return Usage(m_file.error);
    if (std::string error; !m_record.Open(m_options.record, error))
        return Usage(error);
    CString self;
    if (!GetModuleFilePath(self))
        return Usage(Tr("the path of orvane-cli itself could not be found out"));

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
        unit.reasonCode = "process-crashed";
        unit.reason =
            !exits[i].startError.empty()
                ? exits[i].startError
                : FormatText(Tr("the port's process ended with code %d without a result after %u blocks"),
                             exits[i].exitCode, port.blocksDone);
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
