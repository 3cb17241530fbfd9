// The subcommands of orvane-cli. Each takes the arguments after its own name and returns the
// process exit code, the same for one port and many:
//   0 every device completed (answered, for a test);
//   1 a device failed: refused, stopped, wrong model, lost line, crashed; in a station also a held
//     or missing port among devices that were updated; also a record line that could not be written;
//   2 nothing was sent to any device: usage, file, station record or port not available;
//   3 a device timed out and none failed;
//   130 / 143 / 129 interrupted by SIGINT (Ctrl-C) / SIGTERM / SIGHUP: every device was stopped.
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
// The interrupted codes are InterruptRequest::Pending()'s own.

// "an interrupt (Ctrl-C)" and the like, for an exit code InterruptRequest::Pending() gave.
const char* InterruptName(int exitCode);
