#include "tools/cli/StationRecord.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <random>

#include "framework/HostName.h"
#include "framework/ProductVersion.h"
#include "tools/cli/Json.h"
#include "tools/cli/UsbInfo.h"
#include "tools/i18n/Messages.h"

namespace {

constexpr uint32_t kBlockBytes = 50;

// In the order a line has them; tags come after.
constexpr const char* kOwnKeys[] = {
    "time",       "end",   "version", "run_id",      "host",   "port",         "unit",        "device",
    "usb_serial", "model", "mode",    "file",        "size",   "sha256",       "image_model", "baud",
    "result",     "exit",  "reason",  "reason_code", "blocks", "blocks_total", "bytes",       "seconds"};

std::string UtcTime(std::time_t when) {
    return UtcTimeText(std::chrono::system_clock::from_time_t(when));
}

}  // namespace

std::string StationRecord::NewRunId() {
    std::random_device device;
    // Two stations started in the same second still differ; the clock covers a device without entropy.
    const auto ticks = static_cast<uint32_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    char random[16];
    std::snprintf(random, sizeof random, "%08x", device() ^ ticks);
    std::string time = UtcTimeText(std::chrono::system_clock::now());
    time.erase(std::remove(time.begin(), time.end(), '-'), time.end());
    time.erase(std::remove(time.begin(), time.end(), ':'), time.end());
    return time + "-" + random;
}

bool StationRecord::IsOwnKey(const std::string& key) {
    return std::find(std::begin(kOwnKeys), std::end(kOwnKeys), key) != std::end(kOwnKeys);
}

bool StationRecord::Open(const std::string& path, std::string& error) {
    if (path.empty())
        return true;
    std::string why;
    if (m_file.Open(path, why))
        return true;
    error = FormatText(Tr("the station record cannot be written: %s"), why.c_str());
    return false;
}

bool StationRecord::Append(const Entry& entry, std::string& error) {
    if (!m_file.IsOpen())
        return true;
    std::string why;
    if (m_file.AppendLine(Line(entry), why))
        return true;
    error = FormatText(Tr("the station record could not be written: %s"), why.c_str());
    return false;
}

std::string StationRecord::Line(const Entry& entry) {
    JsonObject line;
    line.Add("time", UtcTime(entry.startedAt));
    line.Add("end", UtcTime(entry.endedAt != 0 ? entry.endedAt : std::time(nullptr)));
    line.Add("version", OrvaneVersion()).Add("run_id", entry.runId).Add("host", MachineHostName());
    line.Add("port", entry.port);
    if (entry.unit != 0)
        line.Add("unit", static_cast<int64_t>(entry.unit));
    line.Add("device", entry.device);
    UsbInfo usb;
    if (!entry.device.empty() && FindUsbInfo(HardwareRoot(), entry.device, usb) && !usb.serial.empty())
        line.Add("usb_serial", usb.serial);
    line.Add("model", entry.model);
    line.Add("mode", HostOptions::CommandName(entry.kind));
    if (entry.kind != HostOptions::Kind::Test && entry.file) {
        line.Add("file", entry.file->path).Add("size", static_cast<int64_t>(entry.file->fileBytes));
        line.Add("sha256", entry.file->sha256);
        if (entry.kind == HostOptions::Kind::Firmware)
            line.Add("image_model", entry.file->model);
    }
    line.Add("baud", static_cast<int64_t>(
                         entry.kind == HostOptions::Kind::Firmware && entry.highSpeed ? 115200 : 9600));
    line.Add("result", entry.result)
        .Add("exit", static_cast<int64_t>(entry.exitCode))
        .Add("reason", entry.reason)
        .Add("reason_code", entry.exitCode == 0        ? std::string()
                            : entry.reasonCode.empty() ? entry.result
                                                       : entry.reasonCode);
    if (entry.kind != HostOptions::Kind::Test && entry.file) {
        line.Add("blocks", static_cast<int64_t>(entry.blocks))
            .Add("blocks_total", static_cast<int64_t>(entry.file->blocks))
            .Add("bytes",
                 static_cast<int64_t>(std::min(entry.blocks * kBlockBytes, entry.file->payloadBytes)));
    }
    line.Add("seconds", entry.seconds);
    if (entry.tags) {
        for (const auto& [key, value] : *entry.tags)
            line.Add(key, value);
    }
    return line.Text();
}
