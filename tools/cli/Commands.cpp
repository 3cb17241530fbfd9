#include "tools/cli/Commands.h"

// Each command is defined in its own file.
int RunImage(const CommandArgs& args);
int RunSimulate(const CommandArgs& args);

const std::vector<Subcommand>& Subcommands() {
    static const std::vector<Subcommand> commands = {
        {"image", "pack or inspect a firmware image (.trs)", RunImage},
        {"simulate", "play a device on a pseudo-terminal", RunSimulate},
    };
    return commands;
}
