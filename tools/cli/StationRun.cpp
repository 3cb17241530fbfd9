#include "tools/cli/StationRun.h"

#include <algorithm>
#include <cstdio>
#include <map>

#include "framework/ConsoleDiagnostics.h"
#include "framework/ConsoleText.h"
#include "framework/InterruptRequest.h"
#include "framework/ModulePath.h"
#include "framework/ShellQuote.h"
#include "serial/PortDiscovery.h"
#include "tools/cli/Json.h"
#include "tools/cli/PortArgument.h"
#include "tools/cli/ProgressReporter.h"
#include "tools/cli/UpdateFile.h"
#include "tools/i18n/Messages.h"
#include "ui/Dialog_Update.h"

namespace {

using namespace std::chrono_literals;

// Redrawing a block of progress lines is costly on a slow terminal; a few times a second is plenty.
constexpr std::chrono::milliseconds kRedrawInterval = 200ms;
constexpr uint32_t kBlockBytes = 50;

LOG_LEVEL LevelFromName(const std::string& name) {
    if (name == "debug")
        return LOG_DEBUG;
    if (name == "warning")
        return LOG_WARNING;
    if (name == "error")
        return LOG_ERROR;
    return LOG_INFO;
}

// Column widths count terminal columns: a Chinese character takes two, other text one each.
size_t Columns(const std::string& text) {
    size_t columns = 0;
    for (size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const size_t length = lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
        uint32_t code = length == 1 ? lead : lead & (0x3F >> (length - 1));
        for (size_t k = 1; k < length && i + k < text.size(); ++k)
            code = (code << 6) | (static_cast<unsigned char>(text[i + k]) & 0x3F);
        const bool wide = (code >= 0x1100 && code <= 0x115F) || (code >= 0x2E80 && code <= 0xA4CF) ||
                          (code >= 0xAC00 && code <= 0xD7A3) || (code >= 0xF900 && code <= 0xFAFF) ||
                          (code >= 0xFF00 && code <= 0xFF60) || (code >= 0xFFE0 && code <= 0xFFE6);
        columns += wide ? 2 : 1;
        i += length;
    }
    return columns;
}

std::string Pad(const std::string& text, size_t width) {
    const size_t columns = Columns(text);
    return text + std::string(width > columns ? width - columns : 0, ' ');
}

// The length in bytes of the UTF-8 sequence that starts with `lead`.
size_t SequenceLength(unsigned char lead) {
    return lead < 0x80 ? 1 : lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : 2;
}

// Whether an option of the station itself (with its value, when `takesValue`) is at args[i]; the
// children get a single --port instead and leave records to this process.
bool IsStationOption(const std::string& arg, const char* name, bool takesValue, size_t& skip) {
    const std::string option = name;
    if (arg == option) {
        skip = takesValue ? 1 : 0;
        return true;
    }
    skip = 0;
    return takesValue && arg.rfind(option + "=", 0) == 0;
}

}  // namespace

StationRun::StationRun(HostOptions::Kind kind, const HostOptions& options, const CommandArgs& args)
    : m_kind(kind), m_options(options), m_args(args), m_runId(StationRecord::NewRunId()) {
    // The progress lines are redrawn in place between the log lines on stdout: only when both reach
    // the terminal, never into a pipe or a file.
    m_terminal = !m_options.json && IsTerminal(ConsoleStream::Error) && IsTerminal(ConsoleStream::Output);
}

int StationRun::Usage(const std::string& message) {
    return Refuse(m_kind, m_options.json, message);
}

int StationRun::Refuse(HostOptions::Kind kind, bool json, const std::string& message) {
    if (json) {
        ConsolePrintf(ConsoleStream::Output, "%s\n",
                      JsonObject()
                          .Event("summary")
                          .Add("exit", static_cast<int64_t>(kExitUsage))
                          .Add("status", "usage")
                          .Add("message", message)
                          .Add("reason_code", "usage")
                          .Text()
                          .c_str());
    } else {
        ConsolePrintf(ConsoleStream::Error, "orvane-cli %s: %s\n", HostOptions::CommandName(kind),
                      message.c_str());
    }
    return kExitUsage;
}

std::string StationRun::FormatSeconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, Tr("%.1f s"), seconds);
    return text;
}

bool StationRun::ChoosePorts() {
    // Sending the same image twice down one line at once would garble both runs: a port named more
    // than once is updated once, and said so in one line however often it was named.
    std::map<int, int> timesNamed;
    auto add = [&](int number) {
        if (++timesNamed[number] > 1)
            return;
        Device device;
        device.port = "COM" + std::to_string(number);
        device.device = ResolvePortArgument(device.port).device;
        m_devices.push_back(device);
    };
    for (const std::string& given : m_options.ports) {
        const PortChoice choice = ResolvePortArgument(given);
        if (choice.number == 0) {
            Usage(choice.error);
            return false;
        }
        add(choice.number);
    }
    if (m_options.rangeFirst != 0 || m_options.allPorts) {
        const std::vector<int> present = EnumerateComPorts();
        for (int number : present) {
            if (m_options.allPorts || (number >= m_options.rangeFirst && number <= m_options.rangeLast))
                add(number);
        }
        // A fixture unplugged in the middle of a range is named, not silently left out.
        std::vector<int> absent;
        for (int number = m_options.rangeFirst; number != 0 && number <= m_options.rangeLast; ++number) {
            if (std::find(present.begin(), present.end(), number) == present.end())
                absent.push_back(number);
        }
        if (!absent.empty() && !(m_options.allPorts && m_options.rangeFirst == 0)) {
            Say(nullptr, "message",
                FormatText(Tr("not present in COM%d-COM%d: %s"), m_options.rangeFirst, m_options.rangeLast,
                           PortList(absent).c_str()));
        }
    }
    std::string repeated;
    const Device* repeatedDevice = nullptr;
    size_t repeatedCount = 0;
    for (const auto& [number, times] : timesNamed) {
        if (times < 2)
            continue;
        repeated +=
            FormatText(repeated.empty() ? Tr("COM%d is listed %d times") : Tr(", COM%d is listed %d times"),
                       number, times);
        ++repeatedCount;
        for (const Device& device : m_devices) {
            if (device.port == "COM" + std::to_string(number))
                repeatedDevice = &device;
        }
    }
    // With one port repeated the line is that port's; with several, the run's.
    if (repeatedCount == 1)
        Say(repeatedDevice, "message", FormatText(Tr("%s; it is updated once"), repeated.c_str()));
    else if (repeatedCount > 1)
        Say(nullptr, "message", FormatText(Tr("%s; each is updated once"), repeated.c_str()));
    if (m_devices.empty()) {
        Usage(Tr("no port present in the ports asked for (see 'orvane-cli ports')"));
        return false;
    }
    if (m_options.expect >= 0 && m_devices.size() != static_cast<size_t>(m_options.expect)) {
        std::vector<int> numbers;
        for (const Device& device : m_devices)
            numbers.push_back(std::stoi(device.port.substr(3)));
        Usage(FormatText(TrN("--expect %d, but %zu device is there: %s",
                             "--expect %d, but %zu devices are there: %s", m_devices.size()),
                         m_options.expect, m_devices.size(), PortList(numbers).c_str()));
        return false;
    }
    return true;
}

std::string StationRun::PortList(const std::vector<int>& numbers) {
    std::vector<int> sorted = numbers;
    std::sort(sorted.begin(), sorted.end());
    std::string text;
    for (size_t i = 0; i < sorted.size();) {
        size_t last = i;
        while (last + 1 < sorted.size() && sorted[last + 1] == sorted[last] + 1)
            ++last;
        text += (text.empty() ? "COM" : ", COM") + std::to_string(sorted[i]);
        if (last > i)
            text += "-COM" + std::to_string(sorted[last]);
        i = last + 1;
    }
    return text;
}

std::string StationRun::FitColumns(const std::string& text, size_t columns) {
    size_t used = 0;
    for (size_t i = 0; i < text.size();) {
        const size_t length = SequenceLength(static_cast<unsigned char>(text[i]));
        const size_t width = Columns(text.substr(i, length));
        if (used + width > columns)
            return text.substr(0, i);
        used += width;
        i += length;
    }
    return text;
}

void StationRun::Say(const Device* device, const std::string& type, const std::string& text) {
    if (m_options.json) {
        JsonObject object;
        if (device)
            object.Add("port", device->port);
        object.Event(type).Add(type == "message" ? "text" : "message", text);
        ConsolePrintf(ConsoleStream::Output, "%s\n", object.Text().c_str());
        return;
    }
    PrintAbove(ConsoleStream::Error, device ? "[" + device->port + "] " + text : text);
}

std::vector<std::string> StationRun::ChildArguments(const std::string& port) const {
    std::vector<std::string> out = {HostOptions::CommandName(m_kind)};
    for (size_t i = 0; i < m_args.size(); ++i) {
        const std::string& arg = m_args[i];
        size_t skip = 0;
        bool station = false;
        for (const char* option : {"--port", "--ports", "--record", "--expect"}) {
            if (!station)
                station = IsStationOption(arg, option, true, skip);
        }
        for (const char* flag : {"--all-ports", "--json"}) {
            if (!station)
                station = IsStationOption(arg, flag, false, skip);
        }
        if (station) {
            i += skip;
            continue;
        }
        out.push_back(arg);
    }
    // The station's language, whether it came from --lang (taken off before the command saw it) or
    // from the locale, so that every device's texts read alike.
    out.insert(out.end(),
               {"--port", port, "--json", "--lang", MessageLanguageName(CurrentMessageLanguage())});
    return out;
}

void StationRun::ClearProgress() {
    if (m_progressLinesDrawn == 0)
        return;
    ConsolePrintf(ConsoleStream::Error, "\033[%zuA\r\033[J", m_progressLinesDrawn);
    m_progressLinesDrawn = 0;
}

void StationRun::DrawProgress() {
    if (!m_terminal)
        return;
    ClearProgress();
    // A line as wide as the terminal or wider wraps, and the next redraw would go up too few rows.
    const int columns = TerminalColumns(ConsoleStream::Error);
    for (const Device& device : m_devices) {
        std::string line = Pad(device.port, 6) + " " + device.progress;
        if (columns > 1)
            line = FitColumns(line, static_cast<size_t>(columns - 1));
        ConsolePrintf(ConsoleStream::Error, "%s\n", line.c_str());
    }
    m_progressLinesDrawn = m_devices.size();
    std::fflush(stderr);
    m_lastDraw = std::chrono::steady_clock::now();
}

void StationRun::PrintAbove(ConsoleStream stream, const std::string& line) {
    const bool redraw = m_progressLinesDrawn != 0;
    ClearProgress();
    WriteConsoleText(stream, line + "\n");
    if (redraw)
        DrawProgress();
}

void StationRun::OnChildLine(size_t child, bool standardError, const std::string& line) {
    Device& device = m_devices[child];
    const std::string prefix = "[" + device.port + "] ";
    if (standardError) {
        PrintAbove(ConsoleStream::Error, prefix + line);
        return;
    }
    JsonFields object;
    if (!object.Parse(line)) {
        PrintAbove(ConsoleStream::Error, prefix + line);
        return;
    }
    const std::string type = object.String("type");
    if (type == "result") {
        device.resultSeen = true;
        device.status = object.String("status");
        device.resultExit = static_cast<int>(object.Integer("exit"));
        device.exitCode = device.resultExit;
        device.message = object.String("message");
        device.reasonCode = object.String("reason_code");
        device.model = object.String("model");
        device.bytes = object.Integer("bytes");
        device.blocksDone = static_cast<uint32_t>(object.Integer("blocks"));
        device.seconds = object.Number("seconds");
        device.progress = ResultWord(device.status);
        if (device.status == "interrupted" && m_interruptPassed) {
            // Stopped on this process's behalf: its interrupt is the one to name.
            const int code = InterruptRequest::Pending();
            device.exitCode = code;
            device.message = m_kind == HostOptions::Kind::Test
                                 ? FormatText(Tr("stopped by %s"), InterruptName(code))
                                 : FormatText(Tr("stopped by %s after %u of %u blocks"), InterruptName(code),
                                              device.blocksDone, device.blocksTotal);
            device.reasonCode = "interrupted";
        }
        // Written now rather than at the end, so that a second interrupt, which ends this process
        // at once, finds the lines of the devices that already stopped in the file.
        Record(device);
        if (m_terminal)
            DrawProgress();
        return;  // gathered into the results at the end
    }
    if (type == "progress") {
        device.blocksDone = static_cast<uint32_t>(object.Integer("blocks_done"));
        device.blocksTotal = static_cast<uint32_t>(object.Integer("blocks_total"));
    }
    if (m_options.json) {
        // Every event carries its port; the child's own object follows unchanged.
        ConsolePrintf(ConsoleStream::Output, "{%s,%s\n",
                      JsonString("port").append(":").append(JsonString(device.port)).c_str(),
                      line.substr(1).c_str());
        std::fflush(stdout);
        return;
    }
    if (type == "log") {
        const CString text = CString::FromUtf8(object.String("text"));
        PrintAbove(ConsoleStream::Output,
                   prefix + (CString(LogLinePrefix(LevelFromName(object.String("level")))) + text).ToUtf8());
    } else if (type == "progress") {
        device.progress = ProgressReporter::FormatBar(device.blocksDone, device.blocksTotal,
                                                      object.Number("bytes_per_second"), -1);
        if (m_terminal && std::chrono::steady_clock::now() - m_lastDraw >= kRedrawInterval)
            DrawProgress();
    } else if (type == "message" || type == "record-error") {
        PrintAbove(ConsoleStream::Error, prefix + object.String(type == "message" ? "text" : "message"));
    }
}

void StationRun::Record(Device& device) {
    if (device.recorded || !m_record.IsOpen())
        return;
    device.recorded = true;
    StationRecord::Entry entry;
    entry.startedAt = m_startedAt;
    entry.port = device.port;
    entry.device = device.device;
    entry.model = device.model;
    entry.kind = m_kind;
    entry.file = &m_file;
    entry.highSpeed = m_options.highSpeed;
    entry.result = device.status;
    entry.exitCode = device.exitCode;
    entry.reason = device.exitCode == kExitOk ? std::string() : device.message;
    entry.reasonCode = device.reasonCode;
    entry.blocks = device.blocksDone;
    entry.seconds = device.seconds;
    entry.endedAt = std::time(nullptr);
    entry.runId = m_runId;
    entry.tags = &m_options.tags;
    std::string error;
    if (!m_record.Append(entry, error)) {
        m_recordFailed = true;
        Say(&device, "record-error", error);
    }
}

void StationRun::OnTick(ChildProcessGroup& group) {
    const int code = InterruptRequest::Pending();
    if (code == 0 || m_interruptPassed)
        return;
    m_interruptPassed = true;
    // Each device's process stops its update as the window's Stop does and reports back.
    group.InterruptAll();
    Say(nullptr, "message",
        FormatText(Tr("stopping every device after %s; another one ends at once"), InterruptName(code)));
}

void StationRun::Conclude(Device& device, const ChildExit& exit, uint32_t payloadBytes) {
    device.cpuSeconds = exit.cpuTime.count();
    std::string how;
    if (!exit.startError.empty())
        how = exit.startError;
    else if (exit.exitCode > 128)
        how = FormatText(Tr("the device's process was ended by signal %d"), exit.exitCode - 128);
    else
        how = FormatText(Tr("the device's process ended with code %d"), exit.exitCode);
    if (!device.resultSeen) {
        device.status = "crashed";
        device.seconds = exit.wallTime.count();
        device.bytes = std::min<int64_t>(int64_t{device.blocksDone} * kBlockBytes, payloadBytes);
        device.message = device.blocksTotal != 0
                             ? FormatText(Tr("%s without a result after %u of %u blocks"), how.c_str(),
                                          device.blocksDone, device.blocksTotal)
                             : FormatText(Tr("%s without a result"), how.c_str());
        device.reasonCode = "process-crashed";
        // Whatever its code: without a result nobody knows the device got its image.
        device.exitCode = kExitFailed;
    } else if (exit.exitCode != device.resultExit) {
        device.message = device.message.empty()
                             ? FormatText(Tr("%s after reporting '%s'"), how.c_str(), device.status.c_str())
                             : FormatText(Tr("%s after reporting '%s': %s"), how.c_str(),
                                          device.status.c_str(), device.message.c_str());
        device.reasonCode = "process-failed";
        device.exitCode = kExitFailed;
    }
}

std::string StationRun::FormatTable(const std::vector<Device>& devices) {
    std::vector<std::vector<std::string>> rows = {
        {Tr("port"), Tr("model"), Tr("result"), Tr("bytes"), Tr("time"), Tr("reason")}};
    for (const Device& device : devices) {
        rows.push_back({device.port, device.model.empty() ? "-" : device.model, ResultWord(device.status),
                        std::to_string(device.bytes), FormatSeconds(device.seconds),
                        device.exitCode == kExitOk ? "" : device.message});
    }
    return Columnate(rows);
}

std::string StationRun::Columnate(const std::vector<std::vector<std::string>>& rows) {
    std::vector<size_t> widths(rows.empty() ? 0 : rows.front().size(), 0);
    for (const auto& row : rows) {
        for (size_t column = 0; column + 1 < row.size(); ++column)
            widths[column] = std::max(widths[column], Columns(row[column]));
    }
    std::string table;
    for (const auto& row : rows) {
        std::string line;
        for (size_t column = 0; column < row.size(); ++column)
            line += column + 1 < row.size() ? Pad(row[column], widths[column] + 2) : row[column];
        while (!line.empty() && line.back() == ' ')
            line.pop_back();
        table += line + "\n";
    }
    return table;
}

std::string StationRun::ResultWord(const std::string& status) {
    // The words as the user's language has them; the statuses themselves stay what JSON and records say.
    static const char* const words[] = {
        TrNoop("completed"),   TrNoop("answered"),    TrNoop("timeout"),      TrNoop("line-lost"),
        TrNoop("interrupted"), TrNoop("crashed"),     TrNoop("stopped"),      TrNoop("failed"),
        TrNoop("no-port"),     TrNoop("open-failed"), TrNoop("record-error"), TrNoop("usage"),
        TrNoop("file-error"),
    };
    for (const char* word : words) {
        if (status == word)
            return Tr(word);
    }
    return status;
}

std::string StationRun::StatusPhrase(const std::string& status) {
    static const std::map<std::string, const char*> phrases = {{"completed", TrNoop("completed")},
                                                               {"answered", TrNoop("answered")},
                                                               {"timeout", TrNoop("timed out")},
                                                               {"line-lost", TrNoop("lost its line")},
                                                               {"interrupted", TrNoop("was interrupted")},
                                                               {"crashed", TrNoop("crashed")},
                                                               {"stopped", TrNoop("was stopped")},
                                                               {"failed", TrNoop("failed")},
                                                               {"no-port", TrNoop("is not there")},
                                                               {"open-failed", TrNoop("could not be opened")},
                                                               {"record-error", TrNoop("was not recorded")}};
    const auto found = phrases.find(status);
    return found != phrases.end() ? Tr(found->second) : status;
}

std::string StationRun::OutcomeSentence(HostOptions::Kind kind, const std::vector<Device>& devices) {
    size_t done = 0;
    std::string others;
    for (const Device& device : devices) {
        if (device.exitCode == kExitOk) {
            ++done;
            continue;
        }
        const std::string other =
            FormatText(Tr("%s %s"), device.port.c_str(), StatusPhrase(device.status).c_str());
        others = others.empty() ? other : FormatText(Tr("%s, %s"), others.c_str(), other.c_str());
    }
    const std::string sentence =
        kind == HostOptions::Kind::Test
            ? FormatText(TrN("%zu device: %zu answered", "%zu devices: %zu answered", devices.size()),
                         devices.size(), done)
            : FormatText(TrN("%zu device: %zu completed", "%zu devices: %zu completed", devices.size()),
                         devices.size(), done);
    return others.empty() ? sentence : FormatText(Tr("%s; %s"), sentence.c_str(), others.c_str());
}

std::string StationRun::RetryCommand(const std::string& program, HostOptions::Kind kind,
                                     const CommandArgs& args, const std::vector<Device>& devices) {
    std::string ports;
    for (const Device& device : devices) {
        if (device.exitCode != kExitOk)
            ports += " --port " + device.port;
    }
    if (ports.empty())
        return "";
    std::string command = ShellQuoted(program) + " " + HostOptions::CommandName(kind);
    for (size_t i = 0; i < args.size(); ++i) {
        size_t skip = 0;
        bool chosen = false;
        // The ports as chosen the first time give way to the failed ones; so does --expect.
        for (const char* option : {"--port", "--ports", "--expect"}) {
            if (!chosen)
                chosen = IsStationOption(args[i], option, true, skip);
        }
        if (!chosen)
            chosen = IsStationOption(args[i], "--all-ports", false, skip);
        if (chosen) {
            i += skip;
            continue;
        }
        command += " " + ShellQuoted(args[i]);
    }
    return command + ports;
}

int StationRun::CombinedExitCode(const std::vector<Device>& devices) {
    bool failed = false, timedOut = false, noneAvailable = !devices.empty();
    for (const Device& device : devices) {
        if (device.exitCode != kExitUsage)
            noneAvailable = false;
        if (device.exitCode == kExitTimeout)
            timedOut = true;
        else if (device.exitCode != kExitOk)
            failed = true;  // a port held or gone among others that were updated, too
    }
    // Not one port could be opened: nothing was sent to any device.
    if (noneAvailable)
        return kExitUsage;
    return failed ? kExitFailed : timedOut ? kExitTimeout : kExitOk;
}

int StationRun::Run() {
    if (!ChoosePorts())
        return kExitUsage;
    if (m_kind != HostOptions::Kind::Test &&
        !InspectUpdateFile(m_kind, m_options.file, m_options.force, m_file))
        return Usage(m_file.error);
    if (std::string error; !m_record.Open(m_options.record, error))
        return Usage(error);
    CString self;
    if (!GetModuleFilePath(self))
        return Usage(Tr("the path of orvane-cli itself could not be found out"));

    std::vector<std::vector<std::string>> argumentLists;
    for (Device& device : m_devices) {
        argumentLists.push_back(ChildArguments(device.port));
        device.progress = Tr("starting");
        device.blocksTotal = m_file.blocks;
    }
    m_startedAt = std::time(nullptr);
    DrawProgress();
    ChildProcessGroup group;
    const std::vector<ChildExit> exits = group.Run(
        self.ToUtf8(), argumentLists,
        [this](size_t child, bool standardError, const std::string& line) {
            OnChildLine(child, standardError, line);
        },
        [this, &group] { OnTick(group); });
    ClearProgress();

    for (size_t i = 0; i < m_devices.size(); ++i) {
        Conclude(m_devices[i], exits[i], m_file.payloadBytes);
        Record(m_devices[i]);  // the devices whose process gave no result
    }
    int exitCode = InterruptRequest::Pending() ? InterruptRequest::Pending() : CombinedExitCode(m_devices);
    if (m_recordFailed && (exitCode == kExitOk || exitCode == kExitTimeout))
        exitCode = kExitFailed;
    const std::string retry = RetryCommand(self.ToUtf8(), m_kind, m_args, m_devices);
    if (m_options.json) {
        int64_t completed = 0;
        double cpu = 0;
        std::vector<JsonObject> failed;
        for (const Device& device : m_devices) {
            JsonObject result;
            result.Add("port", device.port)
                .Event("result")
                .Add("exit", static_cast<int64_t>(device.exitCode));
            result.Add("status", device.status).Add("message", device.message);
            result.Add("reason_code", device.exitCode == kExitOk ? std::string() : device.reasonCode);
            if (!device.model.empty())
                result.Add("model", device.model);
            result.Add("bytes", device.bytes)
                .Add("blocks", static_cast<int64_t>(device.blocksDone))
                .Add("seconds", device.seconds)
                .Add("cpu_ms", static_cast<int64_t>(device.cpuSeconds * 1000 + 0.5));
            ConsolePrintf(ConsoleStream::Output, "%s\n", result.Text().c_str());
            completed += device.exitCode == kExitOk;
            cpu += device.cpuSeconds;
            if (device.exitCode != kExitOk) {
                failed.push_back(JsonObject()
                                     .Add("port", device.port)
                                     .Add("result", device.status)
                                     .Add("reason", device.message)
                                     .Add("reason_code", device.reasonCode));
            }
        }
        ConsolePrintf(ConsoleStream::Output, "%s\n",
                      JsonObject()
                          .Event("summary")
                          .Add("exit", static_cast<int64_t>(exitCode))
                          .Add("devices", static_cast<int64_t>(m_devices.size()))
                          .Add("completed", completed)
                          .Add("cpu_ms", static_cast<int64_t>(cpu * 1000 + 0.5))
                          .Add("run_id", m_runId)
                          .Add("failed", failed)
                          .Add("outcome", OutcomeSentence(m_kind, m_devices))
                          .Add("retry", retry)
                          .Text()
                          .c_str());
    } else {
        ConsolePrintf(ConsoleStream::Output, "\n%s\n%s\n", FormatTable(m_devices).c_str(),
                      OutcomeSentence(m_kind, m_devices).c_str());
        if (!retry.empty())
            ConsolePrintf(ConsoleStream::Output, Tr("retry the others with:\n  %s\n"), retry.c_str());
    }
    std::fflush(stdout);
    return exitCode;
}
