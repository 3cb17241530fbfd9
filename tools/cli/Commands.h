// The subcommands of orvane-cli. Each takes the arguments after its own name and returns the
// process exit code: 0 success, 1 failed/stopped/refused, 2 usage or file error, 3 time-out.
#pragma once

#include <string>
#include <vector>

using CommandArgs = std::vector<std::string>;

struct Subcommand {
    const char* name;
    const char* summary;
    int (*run)(const CommandArgs& args);
};

// The table main() dispatches on; each command's file adds its row in Commands.cpp.
const std::vector<Subcommand>& Subcommands();

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;
constexpr int kExitTimeout = 3;
