// orvane-cli simulate: plays a device on a pseudo-terminal, for end-to-end tests, demos and
// training without hardware.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>

#include "tools/cli/Commands.h"
#include "tools/sim/SimulatorLoop.h"
#include "tools/sim/SimulatorOptions.h"

namespace {

// Written by the signal handler, read by the I/O loop's poll: the self-pipe wakes the loop.
int g_stopPipeWrite = -1;

void OnStopSignal(int) {
    const int saved = errno;
    const char byte = 1;
    [[maybe_unused]] const ssize_t n = ::write(g_stopPipeWrite, &byte, 1);
    errno = saved;
}

void PrintLine(FILE* stream, const std::string& line) {
    std::fprintf(stream, "%s\n", line.c_str());
    std::fflush(stream);
}

}  // namespace

int RunSimulate(const CommandArgs& args) {
    SimulatorOptions options;
    bool help = false;
    std::string error;
    if (!SimulatorOptions::Parse(args, options, help, error)) {
        PrintLine(stderr, "simulate: " + error);
        return kExitUsage;
    }
    if (help) {
        std::fputs(SimulatorOptions::Usage(), stdout);
        return kExitOk;
    }

    int stopPipe[2];
    if (::pipe2(stopPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        PrintLine(stderr, std::string("simulate: pipe2 failed: ") + std::strerror(errno));
        return kExitFailed;
    }
    g_stopPipeWrite = stopPipe[1];
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    // A reader that went away must not kill us before the link is removed.
    ::signal(SIGPIPE, SIG_IGN);
    for (int signal : {SIGINT, SIGTERM, SIGHUP}) {
        if (::sigaction(signal, &action, nullptr) != 0) {
            PrintLine(stderr, std::string("simulate: sigaction failed: ") + std::strerror(errno));
            return kExitFailed;
        }
    }

    int result = kExitOk;
    {
        SimulatorLoop loop(
            options, PortRegistry::Default(), [](const std::string& line) { PrintLine(stdout, line); },
            [](const std::string& line) { PrintLine(stderr, line); });
        result = loop.Start();
        if (result == kExitOk)
            result = loop.Run(stopPipe[0]);
    }
    ::close(stopPipe[0]);
    ::close(stopPipe[1]);
    return result;
}
