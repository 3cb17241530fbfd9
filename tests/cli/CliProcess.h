// orvane-cli as a child process: standard output and error on separate pipes, read while it runs,
// waited for with a time-out, signalled like a user would, and killed if a test leaves it running.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <optional>
#include <string>
#include <vector>

class CliProcess {
public:
    // Starts orvane-cli with `args`; the environment (the test's private registry) is inherited, but
    // for the "NAME=VALUE" settings in `environment`, which replace or add to it.
    explicit CliProcess(const std::vector<std::string>& args,
                        const std::vector<std::string>& environment = {});
    ~CliProcess();
    CliProcess(const CliProcess&) = delete;
    CliProcess& operator=(const CliProcess&) = delete;

    bool Started() const { return m_pid > 0; }
    pid_t Pid() const { return m_pid; }

    // The next whole line of standard output, without its newline; nullopt when none comes in time
    // or the process ends without one. Here and in Wait the limit is scaled for the build
    // (tests/support/TestTime.h).
    std::optional<std::string> NextLine(std::chrono::milliseconds timeout);
    // The exit code (128 + signal when killed by one), or -1 when it is still running at the end.
    int Wait(std::chrono::milliseconds timeout);
    void Signal(int signal);

    const std::string& Out() const { return m_out; }
    const std::string& Err() const { return m_err; }

private:
    // Takes in what the pipes and the process have to say, until something happened or `deadline`
    // passed (false then).
    bool Pump(std::chrono::steady_clock::time_point deadline);
    void Reap(bool block);

    pid_t m_pid = -1;
    int m_pidFd = -1;
    int m_outFd = -1;
    int m_errFd = -1;
    bool m_exited = false;
    int m_exitCode = -1;
    std::string m_out;
    std::string m_err;
    size_t m_lineStart = 0;
};

struct CliRun {
    int exitCode = -1;  // -1: killed after the time-out
    std::string out;
    std::string err;
    std::chrono::duration<double> elapsed{};
};

// Runs orvane-cli to its end, or kills it after `timeout` (scaled for the build).
CliRun RunCli(const std::vector<std::string>& args, std::chrono::milliseconds timeout,
              const std::vector<std::string>& environment = {});

// The lines of `text`, without their newlines.
std::vector<std::string> Lines(const std::string& text);
