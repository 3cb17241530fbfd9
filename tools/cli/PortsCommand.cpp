// orvane-cli ports: the COM ports present, with what stands behind each number. The wrong port is
// the most common mistake in the field, so USB adapters show their IDs, product and serial number.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <filesystem>
#include <string>
#include <vector>

#include "framework/ConsoleText.h"
#include "framework/PortRegistry.h"
#include "serial/PortDiscovery.h"
#include "tools/cli/Commands.h"
#include "tools/cli/Json.h"
#include "tools/cli/UsbInfo.h"
#include "tools/common/CommandLine.h"
#include "tools/i18n/Messages.h"

namespace fs = std::filesystem;

namespace {

// Marked here, translated where it is printed.
constexpr const char* kUsage = TrNoop(
    "usage: orvane-cli ports [--json] [--prune]\n"
    "\n"
    "Lists the COM ports present: the number, the device behind it and, for USB adapters,\n"
    "vendor:product IDs, product name and serial number.\n"
    "  --prune   remove the links whose device is gone (unplugged adapters keep their\n"
    "            numbers until then) and say which\n");

int Prune() {
    if (!PortRegistry::RegistersDevicePaths()) {
        WriteConsoleText(ConsoleStream::Error,
                         Tr("no links to remove: the system keeps its list of ports itself\n"));
        return kExitOk;
    }
    PortRegistry registry = PortRegistry::Default();
    if (const std::string unsafe = registry.Problem(); !unsafe.empty()) {
        ConsolePrintf(ConsoleStream::Error, "orvane-cli ports: %s\n", unsafe.c_str());
        return kExitFailed;
    }
    const std::vector<std::string> removed = registry.Prune();
    if (removed.empty())
        WriteConsoleText(ConsoleStream::Error, Tr("no links to remove\n"));
    for (const std::string& line : removed)
        ConsolePrintf(ConsoleStream::Output, Tr("removed %s\n"), line.c_str());
    return kExitOk;
}

}  // namespace

int RunPorts(const CommandArgs& args) {
    bool help = false;
    bool json = false;
    bool prune = false;
    CLI::App app;
    app.set_help_flag();
    app.allow_extras();  // named below in our own words
    app.add_flag("-h,--help", help);
    app.add_flag("--json", json);
    app.add_flag("--prune", prune);
    std::string error;
    if (ParseCommandLine(app, args, error)) {
        if (const std::vector<std::string> extra = app.remaining(); !extra.empty()) {
            error = FormatText(extra[0].size() > 1 && extra[0][0] == '-' ? Tr("unknown option '%s'")
                                                                         : Tr("unexpected argument '%s'"),
                               extra[0].c_str());
        }
    }
    if (!error.empty()) {
        ConsolePrintf(ConsoleStream::Error, Tr("orvane-cli %s: %s (see 'orvane-cli %s --help')\n"), "ports",
                      error.c_str(), "ports");
        return kExitUsage;
    }
    if (help) {
        WriteConsoleText(ConsoleStream::Output, Tr(kUsage));
        return kExitOk;
    }
    if (prune)
        return Prune();
    const fs::path hardwareRoot = HardwareRoot();
    PortRegistry registry = PortRegistry::Default();
    const std::vector<int> ports = EnumerateComPorts();
    if (ports.empty() && !json)
        WriteConsoleText(ConsoleStream::Error, Tr("no serial ports found\n"));
    for (int port : ports) {
        const std::string device = registry.Resolve(port);
        UsbInfo usb;
        const bool isUsb = FindUsbInfo(hardwareRoot, device, usb);
        if (json) {
            JsonObject line;
            line.Add("port", "COM" + std::to_string(port)).Add("device", device);
            if (isUsb) {
                line.Add("vendor_id", usb.vendorId).Add("product_id", usb.productId);
                line.Add("product", usb.product).Add("serial", usb.serial);
            }
            ConsolePrintf(ConsoleStream::Output, "%s\n", line.Text().c_str());
            continue;
        }
        std::string text = "COM" + std::to_string(port) + "\t" + device;
        if (isUsb) {
            text += FormatText(Tr("\tusb %s:%s"), usb.vendorId.c_str(), usb.productId.c_str());
            if (!usb.product.empty())
                text += " \"" + usb.product + "\"";
            if (!usb.serial.empty())
                text += FormatText(Tr(" serial %s"), usb.serial.c_str());
        }
        ConsolePrintf(ConsoleStream::Output, "%s\n", text.c_str());
    }
    return kExitOk;
}
