// orvane-cli: one binary, one subcommand per job.
#include <cstdio>
#include <string>

#include "framework/ConsoleText.h"
#include "framework/ProductVersion.h"
#include "tools/cli/Arguments.h"
#include "tools/cli/Commands.h"

namespace {

void PrintUsage(ConsoleStream out) {
    ConsolePrintf(out, "usage: orvane-cli <command> [arguments]\n\ncommands:\n");
    for (const Subcommand& command : Subcommands())
        ConsolePrintf(out, "  %-10s %s\n", command.name, command.summary);
    ConsolePrintf(out,
                  "\n'orvane-cli <command> --help' describes a command; 'orvane-cli --version' names the "
                  "version.\n");
}

}  // namespace

int main(int argc, char** argv) {
    const CommandArgs args = ProgramArguments(argc, argv);
    if (args.empty()) {
        PrintUsage(ConsoleStream::Error);
        return kExitUsage;
    }
    const std::string& name = args[0];
    if (name == "--help" || name == "-h" || name == "help") {
        PrintUsage(ConsoleStream::Output);
        return kExitOk;
    }
    if (name == "--version") {
        ConsolePrintf(ConsoleStream::Output, "orvane-cli %s\n", OrvaneVersion());
        return kExitOk;
    }
    for (const Subcommand& command : Subcommands()) {
        if (name == command.name)
            return command.run(CommandArgs(args.begin() + 1, args.end()));
    }
    ConsolePrintf(ConsoleStream::Error, "orvane-cli: unknown command '%s' (see 'orvane-cli --help')\n",
                  name.c_str());
    return kExitUsage;
}
