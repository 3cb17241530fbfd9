#include "tools/cli/HostOptions.h"

#include <CLI/CLI.hpp>
#include <cctype>
#include <cstdlib>

#include "tools/cli/StationRecord.h"
#include "tools/common/CommandLine.h"
#include "tools/i18n/Messages.h"

namespace {

constexpr long kMaxTimeoutSeconds = 86400;
constexpr long kHighestComNumber = 256;

// Plain decimal digits only: CLI11's own conversion would also take "+5", " 5" and octal "010".
bool ParseNumber(const std::string& text, long min, long max, long& value) {
    if (text.empty() || text.size() > 9 || text.find_first_not_of("0123456789") != std::string::npos)
        return false;
    value = std::strtol(text.c_str(), nullptr, 10);
    return value >= min && value <= max;
}

// The COM number in "COM3" (any case) or "3", however large; 0 when `text` is neither.
long ComNumber(const std::string& text) {
    const bool prefixed = text.size() > 3 && (text[0] == 'C' || text[0] == 'c') &&
                          (text[1] == 'O' || text[1] == 'o') && (text[2] == 'M' || text[2] == 'm');
    long number = 0;
    return ParseNumber(prefixed ? text.substr(3) : text, 1, 999999999, number) ? number : 0;
}

bool ParseRange(const std::string& text, HostOptions& out, std::string& error) {
    const size_t dash = text.find('-');
    const long first = dash == std::string::npos ? 0 : ComNumber(text.substr(0, dash));
    const long last = dash == std::string::npos ? 0 : ComNumber(text.substr(dash + 1));
    if (first == 0 || last == 0 || first > last) {
        error = FormatText(Tr("--ports takes a range such as COM3-COM10, not '%s'"), text.c_str());
        return false;
    }
    if (last > kHighestComNumber) {
        error = FormatText(Tr("--ports: port numbers go from COM1 to COM%ld, not '%s'"), kHighestComNumber,
                           text.c_str());
        return false;
    }
    out.rangeFirst = static_cast<int>(first);
    out.rangeLast = static_cast<int>(last);
    return true;
}

constexpr size_t kMaxTagKey = 32;
constexpr size_t kMaxTagValue = 200;

// Whether `text` is UTF-8 without control characters: what a record field can hold as it stands.
bool IsPlainUtf8(const std::string& text) {
    for (size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        if (lead < 0x20 || lead == 0x7F)
            return false;
        const size_t length = lead < 0x80             ? 1
                              : (lead & 0xE0) == 0xC0 ? 2
                              : (lead & 0xF0) == 0xE0 ? 3
                              : (lead & 0xF8) == 0xF0 ? 4
                                                      : 0;
        if (length == 0 || i + length > text.size() || (length == 2 && lead < 0xC2))
            return false;
        for (size_t k = 1; k < length; ++k) {
            if ((static_cast<unsigned char>(text[i + k]) & 0xC0) != 0x80)
                return false;
        }
        i += length;
    }
    return true;
}

// KEY=VALUE: a key of letters, digits and '_' that starts with a letter and is none of the record's
// own, given once; a value of plain UTF-8. Checked before anything is sent, so that no record line
// of the run comes out broken or ambiguous.
bool ParseTag(const std::string& text, HostOptions& out, std::string& error) {
    const size_t equals = text.find('=');
    const std::string key = text.substr(0, equals);
    const std::string value = equals == std::string::npos ? "" : text.substr(equals + 1);
    const bool keyOk =
        !key.empty() && key.size() <= kMaxTagKey && std::isalpha(static_cast<unsigned char>(key[0])) &&
        key.find_first_not_of("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_") ==
            std::string::npos;
    if (equals == std::string::npos || !keyOk) {
        error = FormatText(
            Tr("--tag takes KEY=VALUE with a KEY of letters, digits and '_' (at most 32), not '%s'"),
            text.c_str());
        return false;
    }
    if (StationRecord::IsOwnKey(key)) {
        error = FormatText(Tr("--tag %s: the record has a field '%s' of its own"), key.c_str(), key.c_str());
        return false;
    }
    for (const auto& tag : out.tags) {
        if (tag.first == key) {
            error = FormatText(Tr("--tag %s is given twice"), key.c_str());
            return false;
        }
    }
    if (value.size() > kMaxTagValue || !IsPlainUtf8(value)) {
        error = FormatText(
            Tr("--tag %s: the value must be UTF-8 text without control characters, at most 200 bytes"),
            key.c_str());
        return false;
    }
    out.tags.emplace_back(key, value);
    return true;
}

}  // namespace

bool HostOptions::Parse(Kind kind, const CommandArgs& args, HostOptions& out, std::string& error) {
    out = HostOptions{};
    std::string range, address, expect, timeout, baud;
    std::vector<std::string> tags;
    CLI::App app;
    app.set_help_flag();
    app.allow_extras();  // named below in our own words
    app.add_flag("-h,--help", out.help);
    app.add_flag("--json", out.json);
    app.add_flag("--debug", out.debug);
    app.add_flag("--trace", out.trace);
    app.add_flag("--all-ports", out.allPorts);
    app.add_flag("--force", out.force);
    app.add_flag("--low-latency", out.lowLatency);
    app.add_option("--port", out.ports)->allow_extra_args(false);
    app.add_option("--ports", range);
    app.add_option("--record", out.record);
    app.add_option("--address", address);
    app.add_option("--expect", expect);
    app.add_option("--tag", tags)->allow_extra_args(false);
    if (kind != Kind::Test) {
        app.add_option("--timeout", timeout);
        app.add_option("file", out.file);
        app.add_flag("--loop", out.loop);
        app.add_flag("--loop-child", out.loopChild);
    }
    if (kind == Kind::Firmware)
        app.add_option("--baud", baud);
    if (!ParseCommandLine(app, args, error))
        return false;

    if (const std::vector<std::string> extra = app.remaining(); !extra.empty()) {
        error = FormatText(extra[0].size() > 1 && extra[0][0] == '-' ? Tr("unknown option '%s'")
                                                                     : Tr("unexpected argument '%s'"),
                           extra[0].c_str());
        return false;
    }
    if (out.help)
        return true;
    auto given = [&app](const char* name) { return app.get_option(name)->count() != 0; };
    long number = 0;
    if (given("--ports") && !ParseRange(range, out, error))
        return false;
    for (const std::string& tag : tags) {
        if (!ParseTag(tag, out, error))
            return false;
    }
    if (given("--record") && out.record.empty()) {
        error = Tr("--record needs a file name");
        return false;
    }
    if (given("--address")) {
        if (!ParseNumber(address, 0, 255, number)) {
            error = FormatText(Tr("--address takes a number from 0 to 255, not '%s'"), address.c_str());
            return false;
        }
        out.address = static_cast<int>(number);
    }
    if (given("--expect")) {
        if (!ParseNumber(expect, 1, kHighestComNumber, number)) {
            error =
                FormatText(Tr("--expect takes a number of devices from 1 to 256, not '%s'"), expect.c_str());
            return false;
        }
        out.expect = static_cast<int>(number);
    }
    if (kind != Kind::Test && given("--timeout")) {
        if (!ParseNumber(timeout, 1, kMaxTimeoutSeconds, number)) {
            error = FormatText(Tr("--timeout takes a number of seconds from 1 to 86400, not '%s'"),
                               timeout.c_str());
            return false;
        }
        out.timeout = std::chrono::seconds(number);
    }
    if (kind == Kind::Firmware && given("--baud")) {
        if (baud != "9600" && baud != "115200") {
            error = FormatText(Tr("--baud takes 9600 or 115200, not '%s'"), baud.c_str());
            return false;
        }
        out.highSpeed = baud == "115200";
    }
    if (out.ports.empty() && out.rangeFirst == 0 && !out.allPorts) {
        error = Tr("--port, --ports or --all-ports is required (see 'orvane-cli ports')");
        return false;
    }
    if (kind != Kind::Test && out.file.empty()) {
        error = kind == Kind::Program ? Tr("the program file (.tr3) is missing")
                                      : Tr("the firmware image (.trs) is missing");
        return false;
    }
    if (out.loopChild && (out.ports.size() != 1 || out.ManyPorts())) {
        error = Tr("--loop-child takes a single --port");
        return false;
    }
    return true;
}
const char* HostOptions::Usage(Kind kind) {
    switch (kind) {
        case Kind::Test:
            return Tr(
                "usage: orvane-cli test --port P... | --ports A-B | --all-ports [--address A] [--record "
                "F]\n"
                "                      [--expect N] [--tag K=V]... [--low-latency] [--json] [--debug]\n"
                "                      [--trace]\n"
                "\n"
                "Wakes the device with the trigger frame and asks for its model.\n"
                "  --port P      COM3, 3, or a device path such as /dev/ttyUSB0; repeat it for\n"
                "                several devices at once\n"
                "  --ports A-B   every port present from COM A to COM B, e.g. COM3-COM10\n"
                "  --all-ports   every port present\n"
                "  --record F    append one JSON line per device to the station record F\n"
                "  --expect N    fail before anything is sent unless exactly N devices are present\n"
                "  --tag K=V     add the field K (letters, digits, '_') with the text V to every\n"
                "                record line, e.g. --tag operator=li --tag order=WO-1234\n"
                "  --address A   device address, 0..255 (default 1)\n"
                "  --json        one JSON object per line instead of text\n"
                "  --debug       also print the log's DEBUG lines\n"
                "  --trace       print the serial layer's diagnostics on stderr\n"
                "  --low-latency read each reply as soon as its first byte arrives, with no pause\n"
                "                between reads (faster at 115200; see the README before using it)\n"
                "exit (the same for one port and many):\n"
                "  0    every device answered\n"
                "  1    a device failed; with several, a port held or missing among the others\n"
                "       counts too; so does a record line that could not be written\n"
                "  2    nothing was sent: usage, file, record or port not available\n"
                "  3    a device did not answer in time, and none failed\n"
                "  130  interrupted by Ctrl-C (143 SIGTERM, 129 SIGHUP): every device was stopped\n"
                "       and recorded; a second interrupt ends at once\n");
        case Kind::Program:
            return Tr(
                "usage: orvane-cli program FILE.tr3 --port P... [--address A] [--timeout S] [--force] "
                "[--loop]\n"
                "                         [--low-latency] [--json] [--debug] [--trace]\n"
                "\n"
                "Sends a program file (1 to 200000 bytes) to the device.\n"
                "The port, record, --expect and output options are those of 'orvane-cli test --help'.\n"
                "  --timeout S   stop when the device sends nothing for S seconds (default 30)\n"
                "  --force       send a file whose name or content does not fit the command\n"
                "  --loop        unit after unit on every port until Ctrl-C (see the README)\n"
                "exit: 0 completed, 1 failed, 2 nothing sent, 3 time-out, 130/143/129 interrupted\n"
                "(see 'orvane-cli test --help')\n");
        case Kind::Firmware:
            return Tr(
                "usage: orvane-cli firmware FILE.trs --port P... [--baud 9600|115200] [--address A] "
                "[--timeout S]\n"
                "                          [--force] [--loop] [--low-latency] [--json] [--debug]\n"
                "                          [--trace]\n"
                "\n"
                "Sends a firmware image to the device.\n"
                "The port, record, --expect and output options are those of 'orvane-cli test --help'.\n"
                "  --baud B      transfer rate after the model query (default 9600)\n"
                "  --timeout S   stop when the device sends nothing for S seconds (default 30)\n"
                "  --force       send a file whose name or content does not fit the command\n"
                "  --loop        unit after unit on every port until Ctrl-C (see the README)\n"
                "exit: 0 completed, 1 failed, 2 nothing sent, 3 time-out, 130/143/129 interrupted\n"
                "(see 'orvane-cli test --help')\n");
    }
    return "";
}

const char* HostOptions::CommandName(Kind kind) {
    switch (kind) {
        case Kind::Program:
            return "program";
        case Kind::Firmware:
            return "firmware";
        default:
            return "test";
    }
}
