#include "tools/cli/PortArgument.h"

#include <cctype>
#include <filesystem>

#include "framework/PortRegistry.h"
#include "tools/i18n/Messages.h"

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
            choice.error = FormatText(Tr("port numbers go from COM1 to COM256, not '%s'"), argument.c_str());
            return choice;
        }
        choice.number = number;
        choice.device = registry.Resolve(number);
        return choice;
    }
    if (argument.find('/') == std::string::npos || !PortRegistry::RegistersDevicePaths()) {
        choice.error =
            FormatText(PortRegistry::RegistersDevicePaths()
                           ? Tr("'%s' is no port: give COM3, 3 or a device path (see 'orvane-cli ports')")
                           : Tr("'%s' is no port: give COM3 or 3 (see 'orvane-cli ports')"),
                       argument.c_str());
        return choice;
    }
    std::error_code ec;
    if (!fs::exists(argument, ec)) {
        choice.error = FormatText(Tr("the device %s does not exist"), argument.c_str());
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
        choice.error = FormatText(Tr("no free COM number for %s in %s"), argument.c_str(),
                                  registry.Directory().string().c_str());
        return choice;
    }
    choice.device = registry.Resolve(choice.number);
    return choice;
}

std::string ExplainOpenFailure(int port) {
    return PortRegistry::Default().ExplainOpenFailure(port);
}
