#include "tools/cli/HostOptions.h"

#include <cerrno>
#include <cstdlib>

namespace {

bool ParseNumber(const std::string& text, long min, long max, long& value) {
    if (text.empty() || text.size() > 9)
        return false;
    for (char c : text) {
        if (c < '0' || c > '9')
            return false;
    }
    value = std::strtol(text.c_str(), nullptr, 10);
    return value >= min && value <= max;
}

constexpr long kMaxTimeoutSeconds = 86400;
constexpr long kHighestComNumber = 256;

// "COM3" (any case) or "3".
bool ParseComNumber(std::string text, long& number) {
    if (text.size() > 3 && (text[0] == 'C' || text[0] == 'c') && (text[1] == 'O' || text[1] == 'o') &&
        (text[2] == 'M' || text[2] == 'm'))
        text = text.substr(3);
    return ParseNumber(text, 1, kHighestComNumber, number);
}

}  // namespace

bool HostOptions::Parse(Kind kind, const CommandArgs& args, HostOptions& out, std::string& error) {
    out = HostOptions{};
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        auto value = [&](std::string& into) {
            if (i + 1 >= args.size()) {
                error = arg + " needs a value";
                return false;
            }
            into = args[++i];
            return true;
        };
        std::string text;
        long number = 0;
        if (arg == "--help" || arg == "-h") {
            out.help = true;
        } else if (arg == "--json") {
            out.json = true;
        } else if (arg == "--debug") {
            out.debug = true;
        } else if (arg == "--trace") {
            out.trace = true;
        } else if (arg == "--port") {
            if (!value(text))
                return false;
            out.ports.push_back(text);
        } else if (arg == "--ports") {
            if (!value(text))
                return false;
            const size_t dash = text.find('-');
            long first = 0, last = 0;
            if (dash == std::string::npos || !ParseComNumber(text.substr(0, dash), first) ||
                !ParseComNumber(text.substr(dash + 1), last) || first > last) {
                error = "--ports takes a range such as COM3-COM10, not '" + text + "'";
                return false;
            }
            out.rangeFirst = static_cast<int>(first);
            out.rangeLast = static_cast<int>(last);
        } else if (arg == "--all-ports") {
            out.allPorts = true;
        } else if (arg == "--record") {
            if (!value(out.record))
                return false;
            if (out.record.empty()) {
                error = "--record needs a file name";
                return false;
            }
        } else if (arg == "--address") {
            if (!value(text))
                return false;
            if (!ParseNumber(text, 0, 255, number)) {
                error = "--address takes a number from 0 to 255, not '" + text + "'";
                return false;
            }
            out.address = static_cast<int>(number);
        } else if (arg == "--timeout" && kind != Kind::Test) {
            if (!value(text))
                return false;
            if (!ParseNumber(text, 1, kMaxTimeoutSeconds, number)) {
                error = "--timeout takes a number of seconds from 1 to 86400, not '" + text + "'";
                return false;
            }
            out.timeout = std::chrono::seconds(number);
        } else if (arg == "--baud" && kind == Kind::Firmware) {
            if (!value(text))
                return false;
            if (text != "9600" && text != "115200") {
                error = "--baud takes 9600 or 115200, not '" + text + "'";
                return false;
            }
            out.highSpeed = text == "115200";
        } else if (!arg.empty() && arg[0] == '-') {
            error = "unknown option '" + arg + "'";
            return false;
        } else if (kind != Kind::Test && out.file.empty()) {
            out.file = arg;
        } else {
            error = "unexpected argument '" + arg + "'";
            return false;
        }
    }
    if (out.help)
        return true;
    if (out.ports.empty() && out.rangeFirst == 0 && !out.allPorts) {
        error = "--port, --ports or --all-ports is required (see 'orvane-cli ports')";
        return false;
    }
    if (kind != Kind::Test && out.file.empty()) {
        error = kind == Kind::Program ? "the program file (.tr3) is missing"
                                      : "the firmware image (.trs) is missing";
        return false;
    }
    return true;
}

const char* HostOptions::Usage(Kind kind) {
    switch (kind) {
        case Kind::Test:
            return "usage: orvane-cli test --port P... | --ports A-B | --all-ports [--address A] [--record "
                   "F]\n"
                   "                      [--json] [--debug] [--trace]\n"
                   "\n"
                   "Wakes the device with the trigger frame and asks for its model.\n"
                   "  --port P      COM3, 3, or a device path such as /dev/ttyUSB0; repeat it for\n"
                   "                several devices at once\n"
                   "  --ports A-B   every port present from COM A to COM B, e.g. COM3-COM10\n"
                   "  --all-ports   every port present\n"
                   "  --record F    append one JSON line per device to the station record F\n"
                   "  --address A   device address, 0..255 (default 1)\n"
                   "  --json        one JSON object per line instead of text\n"
                   "  --debug       also print the log's DEBUG lines\n"
                   "  --trace       print the serial layer's diagnostics on stderr\n"
                   "exit: 0 the device answered, 1 failed, 2 usage or port error, 3 no answer;\n"
                   "with several devices the worst of them\n";
        case Kind::Program:
            return "usage: orvane-cli program FILE.tr3 --port P... [--address A] [--timeout S] [--json] "
                   "[--debug] "
                   "[--trace]\n"
                   "\n"
                   "Sends a program file (1 to 200000 bytes) to the device.\n"
                   "The port, record and output options are those of 'orvane-cli test --help'.\n"
                   "  --timeout S   stop when the device sends nothing for S seconds (default 30)\n"
                   "exit: 0 completed, 1 failed/stopped/refused, 2 usage or file error, 3 time-out\n";
        case Kind::Firmware:
            return "usage: orvane-cli firmware FILE.trs --port P... [--baud 9600|115200] [--address A] "
                   "[--timeout S]\n"
                   "                          [--json] [--debug] [--trace]\n"
                   "\n"
                   "Sends a firmware image to the device.\n"
                   "The port, record and output options are those of 'orvane-cli test --help'.\n"
                   "  --baud B      transfer rate after the model query (default 9600)\n"
                   "  --timeout S   stop when the device sends nothing for S seconds (default 30)\n"
                   "exit: 0 completed, 1 failed/stopped/refused, 2 usage or file error, 3 time-out\n";
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
