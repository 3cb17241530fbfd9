#include "tools/sim/SimulatorOptions.h"

#include <cerrno>
#include <cstdlib>
#include <functional>
#include <map>

#include "framework/CString.h"
#include "framework/TextCodec.h"
#include "tools/sim/SimReplies.h"

namespace {

constexpr long kMaxMilliseconds = 600000;  // ten minutes: longer is a typo, not a test
constexpr long kMaxBlockOrdinal = 65535;

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

}  // namespace

bool SimulatorOptions::Parse(const std::vector<std::string>& args, SimulatorOptions& out, bool& help,
                             std::string& error) {
    out = SimulatorOptions{};
    help = false;
    error.clear();

    using Setter = std::function<bool(const std::string& name, const std::string& value)>;
    auto number = [&error](long low, long high, auto apply) -> Setter {
        return [&error, low, high, apply](const std::string& name, const std::string& value) {
            long parsed = 0;
            if (!ParseNumber(value, low, high, parsed)) {
                error = name + ": expected a number from " + std::to_string(low) + " to " +
                        std::to_string(high) + ", got '" + value + "'";
                return false;
            }
            apply(parsed);
            return true;
        };
    };
    auto millis = [&number](std::chrono::milliseconds& target) {
        return number(0, kMaxMilliseconds, [&target](long v) { target = std::chrono::milliseconds(v); });
    };
    auto ordinal = [&number](uint32_t& target) {
        return number(1, kMaxBlockOrdinal, [&target](long v) { target = static_cast<uint32_t>(v); });
    };
    auto path = [&error](std::string& target) -> Setter {
        return [&error, &target](const std::string& name, const std::string& value) {
            if (value.empty()) {
                error = name + ": expected a file name";
                return false;
            }
            target = value;
            return true;
        };
    };

    const std::map<std::string, Setter> withValue = {
        {"--port", number(1, kHighestPort, [&out](long v) { out.port = static_cast<int>(v); })},
        {"--model",
         [&out, &error](const std::string& name, const std::string& value) {
             // The terminal hands us UTF-8; the device speaks GBK.
             out.modelGbk = WideToAnsi(CString::FromUtf8(value));
             if (out.modelGbk.size() > SimReplies::kMaxModelBytes) {
                 error = name + ": the model text is longer than " +
                         std::to_string(SimReplies::kMaxModelBytes) + " GBK bytes";
                 return false;
             }
             return true;
         }},
        {"--status", number(0, 255, [&out](long v) { out.statusCode = static_cast<uint8_t>(v); })},
        {"--switch-delay", millis(out.switchDelay)},
        {"--ack-delay", millis(out.ackDelay)},
        {"--recover-ms", millis(out.recoverDelay)},
        {"--save", path(out.saveFile)},
        {"--summary", path(out.summaryFile)},
        {"--wrong-number-at", ordinal(out.wrongNumberAt)},
        {"--wrong-count-at", ordinal(out.wrongCountAt)},
        {"--drop-ack-at", ordinal(out.dropAckAt)},
        {"--hangup-at", ordinal(out.hangupAt)},
    };
    const std::map<std::string, bool*> flags = {
        {"--pace", &out.pace},
        {"--verbose", &out.verbose},
        {"--silent", &out.silent},
        {"--stray-byte", &out.strayByte},
    };

    for (size_t i = 0; i < args.size(); ++i) {
        std::string name = args[i];
        std::string value;
        bool hasInlineValue = false;
        if (const size_t eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name = name.substr(0, eq);
            hasInlineValue = true;
        }
        if (name == "--help" || name == "-h") {
            help = true;
            return true;
        }
        if (auto flag = flags.find(name); flag != flags.end()) {
            if (hasInlineValue) {
                error = name + " takes no value";
                return false;
            }
            *flag->second = true;
            continue;
        }
        auto option = withValue.find(name);
        if (option == withValue.end()) {
            error = "unknown argument '" + args[i] + "' (see 'orvane-cli simulate --help')";
            return false;
        }
        if (!hasInlineValue) {
            if (i + 1 >= args.size()) {
                error = name + " needs a value";
                return false;
            }
            value = args[++i];
        }
        if (!option->second(name, value))
            return false;
    }
    return true;
}

bool SimulatorOptions::ParseMany(const std::vector<std::string>& args, std::vector<SimulatorOptions>& out,
                                 bool& help, std::string& error) {
    out.clear();
    long count = 0;
    std::vector<std::string> shared;
    std::vector<std::pair<long, std::string>> own;  // device K, one option
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--count" || arg == "--device") {
            if (i + 1 >= args.size()) {
                error = arg + " needs a value";
                return false;
            }
            const std::string value = args[++i];
            if (arg == "--count") {
                if (!ParseNumber(value, 1, kMaxCount, count)) {
                    error = "--count: expected a number from 1 to " + std::to_string(kMaxCount) + ", got '" +
                            value + "'";
                    return false;
                }
                continue;
            }
            const size_t colon = value.find(':');
            long device = 0;
            if (colon == std::string::npos || !ParseNumber(value.substr(0, colon), 1, kMaxCount, device) ||
                value.size() == colon + 1) {
                error = "--device takes K:OPTION, e.g. 2:--silent or 3:--hangup-at=5, not '" + value + "'";
                return false;
            }
            own.emplace_back(device, value.substr(colon + 1));
            continue;
        }
        shared.push_back(arg);
    }
    if (count == 0) {
        if (!own.empty()) {
            error = "--device needs --count";
            return false;
        }
        out.resize(1);
        return Parse(shared, out[0], help, error);
    }
    for (long device = 1; device <= count; ++device) {
        std::vector<std::string> mine = shared;
        for (const auto& [k, option] : own) {
            if (k > count) {
                error = "--device " + std::to_string(k) + ": there are only " + std::to_string(count) +
                        " devices";
                return false;
            }
            if (k != device)
                continue;
            // "--hangup-at 5" in one argument is the option and its value.
            const size_t space = option.find(' ');
            mine.push_back(option.substr(0, space));
            if (space != std::string::npos)
                mine.push_back(option.substr(space + 1));
        }
        SimulatorOptions options;
        if (!Parse(mine, options, help, error)) {
            error = "device " + std::to_string(device) + ": " + error;
            return false;
        }
        if (help)
            return true;
        if (options.port != 0) {
            options.port += static_cast<int>(device - 1);
            if (options.port > kHighestPort) {
                error = "--port: the devices would go beyond COM" + std::to_string(kHighestPort);
                return false;
            }
        }
        out.push_back(options);
    }
    // Two devices writing one file would leave whichever finished last.
    for (size_t a = 0; a < out.size(); ++a) {
        for (size_t b = a + 1; b < out.size(); ++b) {
            for (auto file : {&SimulatorOptions::saveFile, &SimulatorOptions::summaryFile}) {
                if (!(out[a].*file).empty() && out[a].*file == out[b].*file) {
                    error = "devices " + std::to_string(a + 1) + " and " + std::to_string(b + 1) +
                            " would write the same file " + out[a].*file +
                            "; give each its own with --device K:--save=FILE";
                    return false;
                }
            }
        }
    }
    return true;
}

const char* SimulatorOptions::Usage() {
    return "usage: orvane-cli simulate [options]\n"
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
           "several devices (one READY line each, on consecutive COM numbers):\n"
           "  --count N            play N devices at once; the options above apply to every one\n"
           "  --device K:OPTION    an option for device K alone (from 1), e.g. --device 2:--silent,\n"
           "                       --device 3:--hangup-at=5 or --device '1:--save out1.bin'\n";
}
