// Runs several copies of a program side by side and hands back, line by line, what each prints,
// then how each ended and what it cost. A station uses this to give every device a process of its
// own, so a device that hangs or crashes its run cannot touch the others.
#pragma once

#include <chrono>
#include <cstddef>
#include <functional>
#include <string>
#include <vector>

struct ChildExit {
    int exitCode = -1;                        // 128 + the signal when one ended it; -1 when it never started
    std::string startError;                   // why it never started, naming the failing call
    std::chrono::duration<double> cpuTime{};  // user + system time of the child
    std::chrono::duration<double> wallTime{};
};

class ChildProcessGroup {
public:
    // `child` indexes the argument lists; `standardError` tells the two output streams apart.
    using LineHandler = std::function<void(size_t child, bool standardError, const std::string& line)>;
    // Called on the calling thread while children run, between lines and at least every
    // kTickInterval, so that the caller can look at its own state (an interrupt, for one).
    using Tick = std::function<void()>;
    static constexpr std::chrono::milliseconds kTickInterval{100};

    // Starts `program` once per argument list, all at once, and returns when every child has ended.
    // Lines are handed over on the calling thread, whole and in the order each child wrote them.
    // The children do not get the terminal's or the console's own interrupt (Ctrl-C reaches this
    // process alone); InterruptAll passes it on, once.
    std::vector<ChildExit> Run(const std::string& program,
                               const std::vector<std::vector<std::string>>& argumentLists,
                               const LineHandler& onLine, const Tick& tick = {});

    // Asks every child still running to stop its work and end (POSIX: SIGTERM; Windows: an event
    // named after the child, which its InterruptRequest watches), once per child. Called from the line
    // handler or the tick, during Run.
    void InterruptAll();

private:
    // The running children as the backend knows them; it lives on Run's stack while Run runs.
    struct Running;
    Running* m_running = nullptr;
};
