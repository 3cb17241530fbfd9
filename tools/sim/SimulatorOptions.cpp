#include "tools/sim/SimulatorOptions.h"

#include <CLI/CLI.hpp>
#include <algorithm>
#include <cerrno>
#include <cstdlib>

#include "framework/CString.h"
#include "framework/TextCodec.h"
#include "tools/common/CommandLine.h"
#include "tools/i18n/Messages.h"
#include "tools/sim/SimReplies.h"

namespace {

constexpr long kMaxMilliseconds = 600000;  // ten minutes: longer is a typo, not a test
constexpr long kMaxBlockOrdinal = 65535;
constexpr long kMaxUnits = 100000;
constexpr double kMaxSwapSeconds = 600;

// "3" or "0.3" seconds, up to ten minutes, to the millisecond.
bool ParseSeconds(const std::string& text, std::chrono::milliseconds& value) {
    if (text.empty() || text.find_first_not_of("0123456789.") != std::string::npos ||
        std::count(text.begin(), text.end(), '.') > 1 || text == ".")
        return false;
    const double seconds = std::strtod(text.c_str(), nullptr);
    if (seconds > kMaxSwapSeconds)
        return false;
    value = std::chrono::milliseconds(static_cast<long>(seconds * 1000 + 0.5));
    return true;
}

// What --unit U:OPTION may give a unit of its own.
bool IsFaultOption(const std::string& name) {
    for (const char* fault : {"--silent", "--stray-byte", "--wrong-number-at", "--wrong-count-at",
                              "--drop-ack-at", "--hangup-at"}) {
        if (name == fault)
            return true;
    }
    return false;
}

// Whole numbers only: decimal, or hex with 0x. Anything else (sign, spaces, trailing text) is refused.
bool ParseNumber(const std::string& text, long low, long high, long& value) {
    if (text.empty() || text[0] == '-' || text[0] == '+' || text[0] == ' ')
        return false;
    errno = 0;
    char* end = nullptr;
    const long parsed = std::strtol(text.c_str(), &end, 0);
    if (errno != 0 || end == text.c_str() || *end != '\0' || parsed < low || parsed > high)
        return false;
    value = parsed;
    return true;
}

// CLI11 names the option ahead of what a check says: "--status: expected a number from 0 to 255, ...".
CLI::Validator Number(long low, long high) {
    return CLI::Validator(
        [low, high](std::string& text) -> std::string {
            long value = 0;
            if (ParseNumber(text, low, high, value))
                return "";
            return FormatText(Tr("expected a number from %ld to %ld, got '%s'"), low, high, text.c_str());
        },
        "");
}

const CLI::Validator kFileName(
    [](std::string& text) -> std::string { return text.empty() ? Tr("expected a file name") : ""; }, "");

// The terminal hands us UTF-8; the device speaks GBK.
const CLI::Validator kModelText(
    [](std::string& text) -> std::string {
        if (WideToAnsi(CString::FromUtf8(text)).size() <= SimReplies::kMaxModelBytes)
            return "";
        return FormatText(Tr("the model text is longer than %zu GBK bytes"),
                          static_cast<size_t>(SimReplies::kMaxModelBytes));
    },
    "");

bool ParseOnto(const std::vector<std::string>& args, SimulatorOptions& out, bool& help, std::string& error);

// "U:OPTION" of --unit: unit U gets the device's faults with OPTION added.
bool ParseUnitFault(const std::string& value, SimulatorOptions& out, std::string& error) {
    const size_t colon = value.find(':');
    long unit = 0;
    std::vector<std::string> option;
    if (colon != std::string::npos && ParseNumber(value.substr(0, colon), 1, kMaxUnits, unit)) {
        const std::string text = value.substr(colon + 1);
        const size_t space = text.find(' ');
        option.push_back(text.substr(0, space));
        if (space != std::string::npos)
            option.push_back(text.substr(space + 1));
    }
    if (option.empty() || !IsFaultOption(option[0].substr(0, option[0].find('=')))) {
        error = FormatText(Tr("--unit takes U:FAULT, e.g. 2:--wrong-count-at=3 or 3:--silent, not '%s'"),
                           value.c_str());
        return false;
    }
    if (out.units != 0 && static_cast<uint32_t>(unit) > out.units) {
        error =
            FormatText(Tr("--unit %ld: the fixture has %u units"), unit, static_cast<unsigned>(out.units));
        return false;
    }
    SimulatorOptions faulty = out;
    faulty.unitFaults.clear();
    bool help = false;
    if (!ParseOnto(option, faulty, help, error))
        return false;
    out.unitFaults[static_cast<uint32_t>(unit)] = faulty.Faults();
    return true;
}

// Reads `args` onto `out`, changing only what they name.
bool ParseOnto(const std::vector<std::string>& args, SimulatorOptions& out, bool& help, std::string& error) {
    CLI::App app;
    app.set_help_flag();
    app.allow_extras();
    app.add_flag("-h,--help", help);
    app.add_flag("--pace", out.pace);
    app.add_flag("--verbose", out.verbose);
    app.add_flag("--silent", out.silent);
    app.add_flag("--stray-byte", out.strayByte);
    auto number = [&app](const char* name, long low, long high, auto apply) {
        app.add_option_function<long>(name, apply)->check(Number(low, high));
    };
    auto millis = [&number](const char* name, std::chrono::milliseconds& target) {
        number(name, 0, kMaxMilliseconds, [&target](long v) { target = std::chrono::milliseconds(v); });
    };
    auto ordinal = [&number](const char* name, uint32_t& target) {
        number(name, 1, kMaxBlockOrdinal, [&target](long v) { target = static_cast<uint32_t>(v); });
    };
    number("--port", 1, SimulatorOptions::kHighestPort, [&out](long v) { out.port = static_cast<int>(v); });
    number("--status", 0, 255, [&out](long v) { out.statusCode = static_cast<uint8_t>(v); });
    millis("--switch-delay", out.switchDelay);
    millis("--ack-delay", out.ackDelay);
    millis("--recover-ms", out.recoverDelay);
    ordinal("--wrong-number-at", out.wrongNumberAt);
    ordinal("--wrong-count-at", out.wrongCountAt);
    ordinal("--drop-ack-at", out.dropAckAt);
    ordinal("--hangup-at", out.hangupAt);
    app.add_option("--save", out.saveFile)->check(kFileName);
    app.add_option("--summary", out.summaryFile)->check(kFileName);
    app.add_option_function<std::string>(
           "--model", [&out](const std::string& text) { out.modelGbk = WideToAnsi(CString::FromUtf8(text)); })
        ->check(kModelText);
    number("--units", 1, kMaxUnits, [&out](long v) { out.units = static_cast<uint32_t>(v); });
    std::string swap;
    app.add_option("--swap", swap);
    std::vector<std::string> unitFaults;
    app.add_option("--unit", unitFaults)->allow_extra_args(false);

    help = false;
    if (!ParseCommandLine(app, args, error))
        return false;
    if (help)
        return true;
    if (const std::vector<std::string> extra = app.remaining(); !extra.empty()) {
        error = FormatText(Tr("unknown argument '%s' (see 'orvane-cli simulate --help')"), extra[0].c_str());
        return false;
    }
    if (app.get_option("--swap")->count() != 0) {
        if (!ParseSeconds(swap, out.swap)) {
            error = FormatText(Tr("--swap: expected seconds from 0 to 600, e.g. 3 or 0.5, got '%s'"),
                               swap.c_str());
            return false;
        }
        out.swapGiven = true;
    }
    for (const std::string& value : unitFaults) {
        if (!ParseUnitFault(value, out, error))
            return false;
    }
    return true;
}

}  // namespace

bool SimulatorOptions::Parse(const std::vector<std::string>& args, SimulatorOptions& out, bool& help,
                             std::string& error) {
    out = SimulatorOptions{};
    if (!ParseOnto(args, out, help, error))
        return false;
    if (help)
        return true;
    if (out.units == 0 && (out.swapGiven || !out.unitFaults.empty())) {
        error = FormatText(Tr("%s needs --units"), out.swapGiven ? "--swap" : "--unit");
        return false;
    }
    return true;
}

bool SimulatorOptions::ParseMany(const std::vector<std::string>& args, std::vector<SimulatorOptions>& out,
                                 bool& help, std::string& error) {
    out.clear();
    help = false;
    long count = 0;
    std::vector<std::string> own;  // "K:OPTION"
    CLI::App app;
    app.set_help_flag();
    app.allow_extras();  // the options every device shares
    app.add_option("--count", count)->check(Number(1, kMaxCount));
    app.add_option("--device", own)->allow_extra_args(false);
    if (!ParseCommandLine(app, args, error))
        return false;
    const std::vector<std::string> shared = app.remaining();
    if (count == 0) {
        if (!own.empty()) {
            error = Tr("--device needs --count");
            return false;
        }
        out.resize(1);
        return Parse(shared, out[0], help, error);
    }
    SimulatorOptions common;
    if (!Parse(shared, common, help, error))
        return false;
    if (help)
        return true;

    std::vector<std::vector<std::string>> mine(static_cast<size_t>(count));
    for (const std::string& value : own) {
        const size_t colon = value.find(':');
        long device = 0;
        if (colon == std::string::npos || !ParseNumber(value.substr(0, colon), 1, kMaxCount, device) ||
            value.size() == colon + 1) {
            error = FormatText(Tr("--device takes K:OPTION, e.g. 2:--silent or 3:--hangup-at=5, not '%s'"),
                               value.c_str());
            return false;
        }
        if (device > count) {
            error = FormatText(Tr("--device %ld: there are only %ld devices"), device, count);
            return false;
        }
        // "--hangup-at 5" in one argument is the option and its value.
        const std::string option = value.substr(colon + 1);
        const size_t space = option.find(' ');
        mine[static_cast<size_t>(device - 1)].push_back(option.substr(0, space));
        if (space != std::string::npos)
            mine[static_cast<size_t>(device - 1)].push_back(option.substr(space + 1));
    }
    for (long device = 1; device <= count; ++device) {
        SimulatorOptions options = common;
        if (options.port != 0) {
            options.port += static_cast<int>(device - 1);
            if (options.port > kHighestPort) {
                error = FormatText(Tr("--port: the devices would go beyond COM%d"),
                                   static_cast<int>(kHighestPort));
                return false;
            }
        }
        if (!ParseOnto(mine[static_cast<size_t>(device - 1)], options, help, error)) {
            error = FormatText(Tr("device %ld: %s"), device, error.c_str());
            return false;
        }
        if (help)
            return true;
        out.push_back(options);
    }
    // Two devices writing one file would leave whichever finished last.
    for (size_t a = 0; a < out.size(); ++a) {
        for (size_t b = a + 1; b < out.size(); ++b) {
            for (auto file : {&SimulatorOptions::saveFile, &SimulatorOptions::summaryFile}) {
                if (!(out[a].*file).empty() && out[a].*file == out[b].*file) {
                    error =
                        FormatText(Tr("devices %zu and %zu would write the same file %s; give each its own "
                                      "with --device K:--save=FILE"),
                                   a + 1, b + 1, (out[a].*file).c_str());
                    return false;
                }
            }
        }
    }
    return true;
}

const char* SimulatorOptions::Usage() {
    return Tr(
        "usage: orvane-cli simulate [options]\n"
        "\n"
        "Plays a device on a pseudo-terminal registered as a COM port, until SIGINT or SIGTERM.\n"
        "Prints 'READY COM<n> <device>' once it listens.\n"
        "\n"
        "  --port N             take COM N exactly (default: the lowest free number from 9 up)\n"
        "  --model TEXT         model text of the model reply (default ORV-SIM), sent as GBK\n"
        "  --status CODE        status code of the status reply, 0..255 (default 0)\n"
        "  --switch-delay MS    wait before switching to 115200 baud and replying (default 250)\n"
        "  --pace               take the wire time of every byte at the current rate (8N1)\n"
        "  --ack-delay MS       processing time before each block acknowledgement (default 0)\n"
        "  --save FILE          write the received payload after each transfer and at exit\n"
        "  --summary FILE       write a JSON summary after each transfer and at exit\n"
        "  --verbose            one line per frame on stderr\n"
        "\n"
        "faults (K counts the data blocks received since the last trigger frame, from 1;\n"
        "each fault fires once a run):\n"
        "  --silent             answer nothing\n"
        "  --stray-byte         send one 00 byte ahead of the first reply after each trigger\n"
        "  --wrong-number-at K  acknowledge block K with a wrong block number, then correctly\n"
        "  --wrong-count-at K   acknowledge block K with a wrong block count, then correctly\n"
        "  --recover-ms MS      pause before the correct acknowledgement (default 200)\n"
        "  --drop-ack-at K      do not acknowledge block K\n"
        "  --hangup-at K        after block K drop the line; it comes back after about 500 ms\n"
        "  --help               this text\n"
        "\n"
        "a fixture (a unit is put in, updated, taken out, and the next one put in):\n"
        "  --units K            K units one after the other; after each update the unit is\n"
        "                       taken out (the line stays silent), then the next one answers\n"
        "  --swap S             seconds between taking a unit out and the next one (default 3;\n"
        "                       fractions such as 0.5 too); a unit whose update the host gives\n"
        "                       up is taken out at the host's next trigger frame\n"
        "  --unit U:FAULT       a fault for unit U alone (from 1), e.g. --unit 2:--wrong-count-at=3\n"
        "\n"
        "several devices (one READY line each, on consecutive COM numbers):\n"
        "  --count N            play N devices at once; the options above apply to every one\n"
        "  --device K:OPTION    an option for device K alone (from 1), e.g. --device 2:--silent,\n"
        "                       --device 3:--hangup-at=5 or --device '1:--save out1.bin'\n");
}
