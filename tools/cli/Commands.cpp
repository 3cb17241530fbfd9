#include "tools/cli/Commands.h"

#include "tools/i18n/Messages.h"

// Each command is defined in its own file.
int RunImage(const CommandArgs& args);
int RunSimulate(const CommandArgs& args);
int RunPorts(const CommandArgs& args);
int RunTest(const CommandArgs& args);
int RunProgram(const CommandArgs& args);
int RunFirmware(const CommandArgs& args);

const std::vector<Subcommand>& Subcommands() {
    static const std::vector<Subcommand> commands = {
        {"ports", TrNoop("list the COM ports present and what is behind each"), RunPorts},
        {"test", TrNoop("test the connection: wake the device and ask for its model"), RunTest},
        {"program", TrNoop("send a program file (.tr3) to the device"), RunProgram},
        {"firmware", TrNoop("send a firmware image (.trs) to the device"), RunFirmware},
        {"image", TrNoop("pack or inspect a firmware image (.trs)"), RunImage},
        {"simulate", TrNoop("play a device on a pseudo-terminal"), RunSimulate},
    };
    return commands;
}
