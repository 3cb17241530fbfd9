#include "tools/common/CommandLine.h"

#include <CLI/CLI.hpp>

#include "tools/i18n/Messages.h"

namespace {

bool Contains(const std::string& text, const char* part) {
    return text.find(part) != std::string::npos;
}

// CLI11 starts its messages with the option's name ("--port: 1 required TEXT missing"); the few we
// meet in practice read better said plainly.
std::string Explain(const CLI::ParseError& refusal) {
    const std::string text = refusal.what();
    const std::string name = text.substr(0, text.find(':'));
    if (dynamic_cast<const CLI::ArgumentMismatch*>(&refusal)) {
        if (Contains(text, " missing"))
            return FormatText(Tr("%s needs a value"), name.c_str());
        if (Contains(text, "At Most"))
            return FormatText(Tr("%s is given more than once; it takes one value"), name.c_str());
    }
    return text;
}

}  // namespace

bool ParseCommandLine(CLI::App& app, const std::vector<std::string>& args, std::string& error) {
    error.clear();
    // Options are spelt alike on every system. CLI11 would also read "/json" as --json on Windows,
    // a spelling that whoever passes the arguments on (a station to its children) does not know.
    app.allow_windows_style_options(false);
    // A flag is on or off by being there: "--json=false" would read as on to whoever forwards the
    // arguments without parsing them.
    for (const std::string& arg : args) {
        const size_t equals = arg.find('=');
        if (arg.rfind("--", 0) != 0 || equals == std::string::npos)
            continue;
        const CLI::Option* option = app.get_option_no_throw(arg.substr(0, equals));
        if (option != nullptr && option->get_items_expected_max() == 0) {
            error = FormatText(Tr("%s takes no value"), arg.substr(0, equals).c_str());
            return false;
        }
    }
    try {
        // CLI11 takes the arguments from the back.
        std::vector<std::string> reversed(args.rbegin(), args.rend());
        app.parse(reversed);
    } catch (const CLI::ParseError& refusal) {
        error = Explain(refusal);
        return false;
    } catch (const std::exception& failure) {
        error = failure.what();
        return false;
    }
    return true;
}
