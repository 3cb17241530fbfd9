#include "tools/cli/PortArgument.h"

#include <cctype>
#include <filesystem>

#include "framework/PortRegistry.h"

namespace fs = std::filesystem;

namespace {

constexpr int kLastComPort = 256;

bool AllDigits(const std::string& text) {
    if (text.empty() || text.size() > 3)
        return false;
    for (char c : text) {
        if (!std::isdigit(static_cast<unsigned char>(c)))
            return false;
    }
    return true;
}

}  // namespace

PortChoice ResolvePortArgument(const std::string& argument) {
    PortChoice choice;
    std::string digits = argument;
    if (argument.size() > 3 && (argument[0] == 'C' || argument[0] == 'c') &&
        (argument[1] == 'O' || argument[1] == 'o') && (argument[2] == 'M' || argument[2] == 'm')) {
        digits = argument.substr(3);
    }
    PortRegistry registry = PortRegistry::Default();
    if (const std::string unsafe = registry.Problem(); !unsafe.empty()) {
        choice.error = unsafe;
        return choice;
    }
    if (AllDigits(digits)) {
        const int number = std::stoi(digits);
        if (number < 1 || number > kLastComPort) {
            choice.error = "port numbers go from COM1 to COM256, not '" + argument + "'";
            return choice;
        }
        choice.number = number;
        choice.device = registry.Resolve(number);
        return choice;
    }
    if (argument.find('/') == std::string::npos || !PortRegistry::RegistersDevicePaths()) {
        choice.error = "'" + argument + "' is no port: give COM3, 3" +
                       (PortRegistry::RegistersDevicePaths() ? " or a device path" : "") +
                       " (see 'orvane-cli ports')";
        return choice;
    }
    std::error_code ec;
    if (!fs::exists(argument, ec)) {
        choice.error = "the device " + argument + " does not exist";
        return choice;
    }
    if (const std::string why = PortRegistry::WhyNotASerialLine(argument); !why.empty()) {
        choice.error = why;
        return choice;
    }
    if (const std::string unsafe = registry.Prepare(); !unsafe.empty()) {
        choice.error = unsafe;
        return choice;
    }
    choice.number = registry.Register(fs::absolute(argument, ec).string());
    if (choice.number == 0) {
        choice.error = "no free COM number for " + argument + " in " + registry.Directory().string();
        return choice;
    }
    choice.device = registry.Resolve(choice.number);
    return choice;
}

std::string ExplainOpenFailure(int port) {
    return PortRegistry::Default().ExplainOpenFailure(port);
}
