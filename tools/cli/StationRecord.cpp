#include "tools/cli/StationRecord.h"

#include "tools/cli/Json.h"
#include "tools/cli/UsbInfo.h"

namespace {

std::string UtcTime(std::time_t when) {
    // std::gmtime's shared result is safe here: only the main thread asks for it.
    const std::tm* parts = std::gmtime(&when);
    char text[32] = "";
    if (parts)
        std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%SZ", parts);
    return text;
}

}  // namespace

bool StationRecord::Open(const std::string& path, std::string& error) {
    if (path.empty())
        return true;
    std::string why;
    if (m_file.Open(path, why))
        return true;
    error = "the station record cannot be written: " + why;
    return false;
}

bool StationRecord::Append(const Entry& entry, std::string& error) {
    if (!m_file.IsOpen())
        return true;
    std::string why;
    if (m_file.AppendLine(Line(entry), why))
        return true;
    error = "the station record could not be written: " + why;
    return false;
}

std::string StationRecord::Line(const Entry& entry) {
    JsonObject line;
    line.Add("time", UtcTime(entry.startedAt));
    line.Add("port", entry.port);
    line.Add("device", entry.device);
    UsbInfo usb;
    if (!entry.device.empty() && FindUsbInfo(HardwareRoot(), entry.device, usb) && !usb.serial.empty())
        line.Add("usb_serial", usb.serial);
    line.Add("model", entry.model);
    line.Add("mode", HostOptions::CommandName(entry.kind));
    if (entry.kind != HostOptions::Kind::Test && entry.file) {
        line.Add("file", entry.file->path).Add("size", static_cast<int64_t>(entry.file->fileBytes));
        line.Add("sha256", entry.file->sha256);
    }
    line.Add("baud", static_cast<int64_t>(
                         entry.kind == HostOptions::Kind::Firmware && entry.highSpeed ? 115200 : 9600));
    line.Add("result", entry.result)
        .Add("exit", static_cast<int64_t>(entry.exitCode))
        .Add("reason", entry.reason);
    if (entry.kind != HostOptions::Kind::Test && entry.file) {
        line.Add("blocks", static_cast<int64_t>(entry.blocks))
            .Add("blocks_total", static_cast<int64_t>(entry.file->blocks));
    }
    line.Add("seconds", entry.seconds);
    return line.Text();
}
