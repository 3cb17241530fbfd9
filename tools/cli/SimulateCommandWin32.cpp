// orvane-cli simulate on Windows: the simulated device needs a pseudo-terminal, which Windows does
// not have, so the command only says where to run it.
#include <cstdio>

#include "framework/ConsoleText.h"
#include "tools/cli/Commands.h"
#include "tools/i18n/Messages.h"

int RunSimulate(const CommandArgs&) {
    WriteConsoleText(ConsoleStream::Error,
                     Tr("simulate: the simulated device runs on Linux only (it needs a pseudo-terminal)\n"));
    return kExitUsage;
}
