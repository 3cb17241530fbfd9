// orvane-cli test / program / firmware: the main window's own commands, run without a display.
#include <cstdio>

#include "framework/ConsoleText.h"
#include "framework/InterruptRequest.h"
#include "tools/cli/Commands.h"
#include "tools/cli/FactoryLoop.h"
#include "tools/cli/HostOptions.h"
#include "tools/cli/HostSession.h"
#include "tools/cli/StationRun.h"
#include "tools/i18n/Messages.h"

namespace {

int RunHost(HostOptions::Kind kind, const char* name, const CommandArgs& args) {
    HostOptions options;
    std::string error;
    if (!HostOptions::Parse(kind, args, options, error)) {
        ConsolePrintf(ConsoleStream::Error, Tr("orvane-cli %s: %s (see 'orvane-cli %s --help')\n"), name,
                      error.c_str(), name);
        return kExitUsage;
    }
    if (options.help) {
        WriteConsoleText(ConsoleStream::Output, HostOptions::Usage(kind));
        return kExitOk;
    }
    // From here on an interrupt stops the devices and still writes the records and the table.
    InterruptRequest::Install();
    if (options.loopChild) {
        options.json = true;  // it speaks to the loop that started it
        return HostSession(options).RunLoop(kind);
    }
    if (options.loop)
        return FactoryLoop(kind, options, args).Run();
    if (options.ManyPorts())
        return StationRun(kind, options, args).Run();
    if (options.expect >= 0 && options.expect != 1) {
        ConsolePrintf(ConsoleStream::Error, Tr("orvane-cli %s: --expect %d, but one port is named\n"), name,
                      options.expect);
        return kExitUsage;
    }
    HostSession session(options);
    return kind == HostOptions::Kind::Test ? session.RunTest() : session.RunUpdate(kind);
}

}  // namespace

const char* InterruptName(int exitCode) {
    switch (exitCode) {
        case 129:
            return Tr("a hang-up");
        case 143:
            return Tr("a termination request");
        default:
            return Tr("an interrupt (Ctrl-C)");
    }
}

int RunTest(const CommandArgs& args) {
    return RunHost(HostOptions::Kind::Test, "test", args);
}

int RunProgram(const CommandArgs& args) {
    return RunHost(HostOptions::Kind::Program, "program", args);
}

int RunFirmware(const CommandArgs& args) {
    return RunHost(HostOptions::Kind::Firmware, "firmware", args);
}
