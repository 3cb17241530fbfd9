#include "tools/cli/StationRun.h"

#include <algorithm>
#include <cstdio>
#include <map>

#include "framework/ChildProcessGroup.h"
#include "framework/ConsoleDiagnostics.h"
#include "framework/ConsoleText.h"
#include "framework/ModulePath.h"
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

std::string Seconds(double seconds) {
    char text[32];
    std::snprintf(text, sizeof text, "%.1f s", seconds);
    return text;
}

}  // namespace

StationRun::StationRun(HostOptions::Kind kind, const HostOptions& options, const CommandArgs& args)
    : m_kind(kind), m_options(options), m_args(args) {
    m_terminal = !m_options.json && IsTerminal(ConsoleStream::Error);
}

int StationRun::Usage(const std::string& message) {
    if (m_options.json) {
        ConsolePrintf(ConsoleStream::Output, "%s\n",
                      JsonObject()
                          .Add("type", "summary")
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

bool StationRun::ChoosePorts() {
    // Sending the same image twice down one line at once would garble both runs: a port named more
    // than once is updated once, and said so in one line however often it was named.
    std::map<int, int> timesNamed;
    auto add = [&](int number) {
        if (++timesNamed[number] > 1)
            return;
        Device device;
        device.port = "COM" + std::to_string(number);
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
        for (int number : EnumerateComPorts()) {
            if (m_options.allPorts || (number >= m_options.rangeFirst && number <= m_options.rangeLast))
                add(number);
        }
    }
    std::vector<std::string> repeated;
    for (const auto& [number, times] : timesNamed) {
        if (times > 1)
            repeated.push_back("COM" + std::to_string(number) + " is listed " + std::to_string(times) +
                               " times");
    }
    if (!repeated.empty()) {
        std::string text;
        for (const std::string& part : repeated)
            text += (text.empty() ? "" : ", ") + part;
        text += repeated.size() == 1 ? "; it is updated once" : "; each is updated once";
        // With one port repeated the line is that port's; with several, the run's.
        const std::string port = repeated.size() == 1 ? repeated[0].substr(0, repeated[0].find(' ')) : "";
        if (m_options.json) {
            JsonObject line;
            if (!port.empty())
                line.Add("port", port);
            ConsolePrintf(ConsoleStream::Output, "%s\n",
                          line.Add("type", "message").Add("text", text).Text().c_str());
        } else {
            ConsolePrintf(ConsoleStream::Error, "%s%s\n", port.empty() ? "" : ("[" + port + "] ").c_str(),
                          text.c_str());
        }
    }
    if (m_devices.empty()) {
        Usage("no port present in the ports asked for (see 'orvane-cli ports')");
        return false;
    }
    return true;
}

std::vector<std::string> StationRun::ChildArguments(const std::string& port) const {
    std::vector<std::string> out = {HostOptions::CommandName(m_kind)};
    for (size_t i = 0; i < m_args.size(); ++i) {
        const std::string& arg = m_args[i];
        if (arg == "--port" || arg == "--ports") {
            ++i;  // and its value
            continue;
        }
        if (arg.rfind("--port=", 0) == 0 || arg.rfind("--ports=", 0) == 0)
            continue;
        if (arg == "--all-ports" || arg == "--json")
            continue;
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
    for (const Device& device : m_devices)
        ConsolePrintf(ConsoleStream::Error, "%-6s %s\n", device.port.c_str(), device.progress.c_str());
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
        device.message = object.String("message");
        device.model = object.String("model");
        device.bytes = object.Integer("bytes");
        device.seconds = object.Number("seconds");
        device.progress = device.status;
        if (m_terminal)
            DrawProgress();
        return;  // gathered into the results at the end
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
        device.progress = ProgressReporter::FormatBar(
            static_cast<int>(object.Integer("percent")), static_cast<uint32_t>(object.Integer("blocks_done")),
            static_cast<uint32_t>(object.Integer("blocks_total")), object.Number("bytes_per_second"), -1);
        if (m_terminal && std::chrono::steady_clock::now() - m_lastDraw >= kRedrawInterval)
            DrawProgress();
    } else if (type == "message") {
        PrintAbove(ConsoleStream::Error, prefix + object.String("text"));
    }
}

std::string StationRun::FormatTable(const std::vector<Device>& devices) {
    const std::vector<std::string> heading = {"port", "model", "result", "bytes", "time", "reason"};
    std::vector<std::vector<std::string>> rows = {heading};
    for (const Device& device : devices) {
        rows.push_back({device.port, device.model.empty() ? "-" : device.model, device.status,
                        std::to_string(device.bytes), Seconds(device.seconds),
                        device.exitCode == kExitOk ? "" : device.message});
    }
    std::vector<size_t> widths(heading.size(), 0);
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

int StationRun::CombinedExitCode(const std::vector<Device>& devices) {
    bool failed = false, timedOut = false;
    for (const Device& device : devices) {
        if (device.exitCode == kExitTimeout)
            timedOut = true;
        else if (device.exitCode != kExitOk)
            failed = true;  // a port that vanished after the choice (2) failed on its own, too
    }
    return failed ? kExitFailed : timedOut ? kExitTimeout : kExitOk;
}

int StationRun::Run() {
    if (!ChoosePorts())
        return kExitUsage;
    if (m_kind != HostOptions::Kind::Test) {
        UpdateFileInfo file;
        if (!InspectUpdateFile(m_kind, m_options.file, m_options.force, file))
            return Usage(file.error);
    }
    CString self;
    if (!GetModuleFilePath(self))
        return Usage("the path of orvane-cli itself could not be found out");

    std::vector<std::vector<std::string>> argumentLists;
    for (Device& device : m_devices) {
        argumentLists.push_back(ChildArguments(device.port));
        device.progress = "starting";
    }
    DrawProgress();
    const std::vector<ChildExit> exits = ChildProcessGroup::Run(
        self.ToUtf8(), argumentLists, [this](size_t child, bool standardError, const std::string& line) {
            OnChildLine(child, standardError, line);
        });
    ClearProgress();

    for (size_t i = 0; i < m_devices.size(); ++i) {
        Device& device = m_devices[i];
        device.exitCode = exits[i].exitCode;
        device.cpuSeconds = exits[i].cpuTime.count();
        if (!device.resultSeen) {
            device.status = "crashed";
            device.seconds = exits[i].wallTime.count();
            device.message =
                !exits[i].startError.empty()
                    ? exits[i].startError
                    : "the run ended (code " + std::to_string(exits[i].exitCode) + ") without a result";
            if (device.exitCode == kExitOk || device.exitCode < 0)
                device.exitCode = kExitFailed;
        }
    }
    const int exitCode = CombinedExitCode(m_devices);
    if (m_options.json) {
        int64_t completed = 0;
        double cpu = 0;
        for (const Device& device : m_devices) {
            JsonObject result;
            result.Add("port", device.port)
                .Add("type", "result")
                .Add("exit", static_cast<int64_t>(device.exitCode));
            result.Add("status", device.status).Add("message", device.message);
            if (!device.model.empty())
                result.Add("model", device.model);
            result.Add("bytes", device.bytes)
                .Add("seconds", device.seconds)
                .Add("cpu_ms", static_cast<int64_t>(device.cpuSeconds * 1000 + 0.5));
            ConsolePrintf(ConsoleStream::Output, "%s\n", result.Text().c_str());
            completed += device.exitCode == kExitOk;
            cpu += device.cpuSeconds;
        }
        ConsolePrintf(ConsoleStream::Output, "%s\n",
                      JsonObject()
                          .Add("type", "summary")
                          .Add("exit", static_cast<int64_t>(exitCode))
                          .Add("devices", static_cast<int64_t>(m_devices.size()))
                          .Add("completed", completed)
                          .Add("cpu_ms", static_cast<int64_t>(cpu * 1000 + 0.5))
                          .Text()
                          .c_str());
    } else {
        ConsolePrintf(ConsoleStream::Output, "\n%s", FormatTable(m_devices).c_str());
    }
    std::fflush(stdout);
    return exitCode;
}
