// orvane-cli: one binary, one subcommand per job.
#include <cstdio>
#include <string>

#include "framework/ConsoleText.h"
#include "framework/ProductVersion.h"
#include "tools/cli/Arguments.h"
#include "tools/cli/Commands.h"
#include "tools/i18n/Messages.h"

namespace {

void PrintUsage(ConsoleStream out) {
    ConsolePrintf(out, "%s", Tr("usage: orvane-cli <command> [arguments] [--lang zh|en]\n\ncommands:\n"));
    for (const Subcommand& command : Subcommands())
        ConsolePrintf(out, "  %-10s %s\n", command.name, Tr(command.summary));
    ConsolePrintf(out, "%s",
                  Tr("\n'orvane-cli <command> --help' describes a command; 'orvane-cli --version' names the "
                     "version.\n"
                     "--lang zh|en chooses the language of the messages; without it they follow the\n"
                     "system's language (LC_ALL, LC_MESSAGES or LANG naming zh_*, or the Windows UI\n"
                     "language).\n"));
}

}  // namespace

int main(int argc, char** argv) {
    CommandArgs args = ProgramArguments(argc, argv);
    std::string error;
    // Every command takes --lang, so it is taken here, before the command sees its arguments.
    if (!TakeLanguageOption(args, error)) {
        ConsolePrintf(ConsoleStream::Error, "orvane-cli: %s\n", error.c_str());
        return kExitUsage;
    }
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
    ConsolePrintf(ConsoleStream::Error, Tr("orvane-cli: unknown command '%s' (see 'orvane-cli --help')\n"),
                  name.c_str());
    return kExitUsage;
}
