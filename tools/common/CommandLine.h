// Running a CLI11 parser over one command's arguments. CLI11 reports a refused argument by throwing;
// the exception stays in here and the caller gets one line that names the option.
#pragma once

#include <string>
#include <vector>

namespace CLI {
class App;
}

// Parses `args` (in the order given) with `app`. False with one line in `error` when they are
// refused: an option without its value, a single-value option given twice, a flag given a value,
// or whatever a check on a value says. Arguments the app does not know are left to
// app.remaining() when it allows extras.
bool ParseCommandLine(CLI::App& app, const std::vector<std::string>& args, std::string& error);
