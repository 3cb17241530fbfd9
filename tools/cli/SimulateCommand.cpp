// orvane-cli simulate: plays a device on a pseudo-terminal, for end-to-end tests, demos and
// training without hardware.
#include <fcntl.h>
#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <thread>
#include <vector>

#include "framework/ConsoleText.h"
#include "tools/cli/Commands.h"
#include "tools/i18n/Messages.h"
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

// The lowest number from which `count` numbers in a row are free; 0 when there is no such run.
int FirstFreeRun(const PortRegistry& registry, int count) {
    for (int first = SimulatorOptions::kLowestDefaultPort;
         first + count - 1 <= SimulatorOptions::kHighestPort; ++first) {
        int free = 0;
        while (free < count && registry.Resolve(first + free).empty())
            ++free;
        if (free == count)
            return first;
        first += free;  // the next run starts beyond the taken number
    }
    return 0;
}

}  // namespace

int RunSimulate(const CommandArgs& args) {
    std::vector<SimulatorOptions> devices;
    bool help = false;
    std::string error;
    if (!SimulatorOptions::ParseMany(args, devices, help, error)) {
        PrintLine(stderr, "simulate: " + error);
        return kExitUsage;
    }
    if (help) {
        WriteConsoleText(ConsoleStream::Output, SimulatorOptions::Usage());
        return kExitOk;
    }

    int stopPipe[2];
    if (::pipe2(stopPipe, O_CLOEXEC | O_NONBLOCK) != 0) {
        PrintLine(stderr, FormatText(Tr("simulate: pipe2 failed: %s"), ErrorNumberText(errno)));
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
            PrintLine(stderr, FormatText(Tr("simulate: sigaction failed: %s"), ErrorNumberText(errno)));
            return kExitFailed;
        }
    }

    int result = kExitOk;
    {
        PortRegistry registry = PortRegistry::Default();
        if (devices.size() > 1 && devices.front().port == 0) {
            // Consecutive numbers make a rack easy to address (--ports COM9-COM12).
            const int first = FirstFreeRun(registry, static_cast<int>(devices.size()));
            if (first == 0) {
                PrintLine(stderr,
                          FormatText(Tr("simulate: no %zu consecutive free COM numbers"), devices.size()));
                return kExitFailed;
            }
            for (size_t i = 0; i < devices.size(); ++i)
                devices[i].port = first + static_cast<int>(i);
        }
        std::vector<std::unique_ptr<SimulatorLoop>> loops;
        for (const SimulatorOptions& options : devices) {
            loops.push_back(std::make_unique<SimulatorLoop>(
                options, registry, [](const std::string& line) { PrintLine(stdout, line); },
                [](const std::string& line) { PrintLine(stderr, line); }));
            result = loops.back()->Start();
            if (result != kExitOk)
                break;
        }
        if (result == kExitOk) {
            // Each device has its own loop on its own thread; the stop pipe, never read, wakes all.
            std::vector<int> results(loops.size(), kExitOk);
            std::vector<std::thread> threads;
            for (size_t i = 1; i < loops.size(); ++i)
                threads.emplace_back([&, i] { results[i] = loops[i]->Run(stopPipe[0]); });
            results[0] = loops[0]->Run(stopPipe[0]);
            for (std::thread& thread : threads)
                thread.join();
            for (int code : results)
                result = std::max(result, code);
        }
    }
    ::close(stopPipe[0]);
    ::close(stopPipe[1]);
    return result;
}
