#include "tests/cli/CliProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>

#include "tests/support/TestTime.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

int MillisecondsLeft(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return left > 0 ? static_cast<int>(left) : 0;
}

// Appends what `fd` holds; closes it at the end of the stream.
void Drain(int& fd, std::string& into) {
    char buffer[4096];
    const ssize_t n = ::read(fd, buffer, sizeof(buffer));
    if (n > 0) {
        into.append(buffer, static_cast<size_t>(n));
    } else if (n == 0 || (errno != EINTR && errno != EAGAIN)) {
        ::close(fd);
        fd = -1;
    }
}

}  // namespace

CliProcess::CliProcess(const std::vector<std::string>& args, const std::vector<std::string>& environment) {
    std::vector<std::string> all = {ORVANE_CLI};
    all.insert(all.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (std::string& a : all)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    std::vector<std::string> settings(environment);
    for (char** entry = environ; *entry != nullptr; ++entry) {
        const std::string setting(*entry);
        const std::string name = setting.substr(0, setting.find('=') + 1);
        bool replaced = false;
        for (const std::string& wanted : environment)
            replaced = replaced || wanted.rfind(name, 0) == 0;
        if (!replaced)
            settings.push_back(setting);
    }
    std::vector<char*> envp;
    for (std::string& setting : settings)
        envp.push_back(setting.data());
    envp.push_back(nullptr);

    // Close-on-exec, so that no other child started meanwhile keeps these pipes open.
    int out[2], err[2];
    if (::pipe2(out, O_CLOEXEC) != 0)
        return;
    if (::pipe2(err, O_CLOEXEC) != 0) {
        ::close(out[0]), ::close(out[1]);
        return;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
    if (::posix_spawn(&m_pid, argv[0], &actions, nullptr, argv.data(), envp.data()) != 0)
        m_pid = -1;
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    ::close(err[1]);
    m_outFd = out[0];
    m_errFd = err[0];
    // Without a pidfd, the end of both pipes marks the exit.
    if (m_pid > 0)
        m_pidFd = static_cast<int>(::syscall(SYS_pidfd_open, m_pid, 0));
}

CliProcess::~CliProcess() {
    if (m_pid > 0 && !m_exited) {
        ::kill(m_pid, SIGKILL);
        Reap(true);
    }
    for (int fd : {m_pidFd, m_outFd, m_errFd}) {
        if (fd >= 0)
            ::close(fd);
    }
}

void CliProcess::Reap(bool block) {
    int status = 0;
    if (::waitpid(m_pid, &status, block ? 0 : WNOHANG) != m_pid)
        return;
    m_exited = true;
    m_exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

bool CliProcess::Pump(Clock::time_point deadline) {
    if (m_exited) {
        // Whatever the process wrote before it ended is in the pipes; nobody else can write there.
        while (m_outFd >= 0)
            Drain(m_outFd, m_out);
        while (m_errFd >= 0)
            Drain(m_errFd, m_err);
        return true;
    }
    pollfd fds[3];
    nfds_t count = 0;
    for (int fd : {m_outFd, m_errFd, m_pidFd}) {
        if (fd >= 0)
            fds[count++] = {fd, POLLIN, 0};
    }
    if (m_outFd < 0 && m_errFd < 0 && m_pidFd < 0) {
        Reap(true);
        return true;
    }
    const int ready = ::poll(fds, count, MillisecondsLeft(deadline));
    if (ready < 0)
        return errno == EINTR;
    if (ready == 0)
        return false;
    for (nfds_t i = 0; i < count; ++i) {
        if (fds[i].revents == 0)
            continue;
        if (fds[i].fd == m_outFd)
            Drain(m_outFd, m_out);
        else if (fds[i].fd == m_errFd)
            Drain(m_errFd, m_err);
        else
            Reap(false);
    }
    return true;
}

std::optional<std::string> CliProcess::NextLine(std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + test_time::Limit(timeout);
    for (;;) {
        const size_t newline = m_out.find('\n', m_lineStart);
        if (newline != std::string::npos) {
            std::string line = m_out.substr(m_lineStart, newline - m_lineStart);
            m_lineStart = newline + 1;
            return line;
        }
        if ((m_exited && m_outFd < 0) || !Started() || !Pump(deadline))
            return std::nullopt;
    }
}

int CliProcess::Wait(std::chrono::milliseconds timeout) {
    const auto deadline = Clock::now() + test_time::Limit(timeout);
    while (Started() && !(m_exited && m_outFd < 0 && m_errFd < 0)) {
        if (!Pump(deadline))
            return -1;
    }
    return m_exitCode;
}

void CliProcess::Signal(int signal) {
    if (Started() && !m_exited)
        ::kill(m_pid, signal);
}

CliRun RunCli(const std::vector<std::string>& args, std::chrono::milliseconds timeout,
              const std::vector<std::string>& environment) {
    const auto start = Clock::now();
    CliProcess process(args, environment);
    CliRun run;
    run.exitCode = process.Wait(timeout);
    run.elapsed = Clock::now() - start;
    run.out = process.Out();
    run.err = process.Err();
    return run;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string::npos)
            end = text.size();
        lines.push_back(text.substr(start, end - start));
        start = end + 1;
    }
    return lines;
}
