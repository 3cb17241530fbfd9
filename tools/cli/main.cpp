// orvane-cli: one binary, one subcommand per job.
#include <cstdio>
#include <cstring>

#include "tools/cli/Commands.h"

namespace {

void PrintUsage(FILE* out) {
    std::fprintf(out, "usage: orvane-cli <command> [arguments]\n\ncommands:\n");
    for (const Subcommand& command : Subcommands())
        std::fprintf(out, "  %-10s %s\n", command.name, command.summary);
    std::fprintf(out, "\n'orvane-cli <command> --help' describes a command.\n");
}

}  // namespace

int main(int argc, char** argv) {
    if (argc < 2) {
        PrintUsage(stderr);
        return kExitUsage;
    }
    if (std::strcmp(argv[1], "--help") == 0 || std::strcmp(argv[1], "-h") == 0 ||
        std::strcmp(argv[1], "help") == 0) {
        PrintUsage(stdout);
        return kExitOk;
    }
    for (const Subcommand& command : Subcommands()) {
        if (std::strcmp(argv[1], command.name) == 0)
            return command.run(CommandArgs(argv + 2, argv + argc));
    }
    std::fprintf(stderr, "orvane-cli: unknown command '%s' (see 'orvane-cli --help')\n", argv[1]);
    return kExitUsage;
}
