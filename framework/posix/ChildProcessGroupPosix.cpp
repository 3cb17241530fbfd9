// ChildProcessGroup on POSIX: posix_spawn with a pipe per output stream, poll over all of them, and
// wait4 for each child's exit status and resource usage. Each child gets a process group of its own,
// so a terminal's Ctrl-C (sent to the foreground group) reaches only this process, which passes it
// on once with InterruptAll; a child that got both would take the second for "end at once".
#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include "framework/ChildProcessGroup.h"
#include "framework/TextTranslator.h"

extern char** environ;

namespace {

using Clock = std::chrono::steady_clock;

struct Stream {
    size_t child = 0;
    bool standardError = false;
    int fd = -1;
    std::string pending;
};

struct Child {
    pid_t pid = -1;
    Clock::time_point started;
    bool interrupted = false;
};

std::string Failure(const char* call) {
    return FormatText(TranslateText("%s failed: %s"), call, ErrorNumberText(errno));
}

std::chrono::duration<double> Seconds(const timeval& time) {
    return std::chrono::duration<double>(static_cast<double>(time.tv_sec) +
                                         static_cast<double>(time.tv_usec) / 1e6);
}

// Starts one child with its standard output and error on fresh pipes; the read ends go to `streams`.
bool Spawn(const std::string& program, const std::vector<std::string>& arguments, size_t index, Child& child,
           std::vector<Stream>& streams, std::string& error) {
    int out[2] = {-1, -1};
    int err[2] = {-1, -1};
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0) {
        error = Failure("pipe2");
        for (int fd : {out[0], out[1], err[0], err[1]}) {
            if (fd >= 0)
                ::close(fd);
        }
        return false;
    }
    std::vector<char*> argv;
    argv.push_back(const_cast<char*>(program.c_str()));
    for (const std::string& argument : arguments)
        argv.push_back(const_cast<char*>(argument.c_str()));
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, err[1], STDERR_FILENO);
    posix_spawnattr_t attributes;
    posix_spawnattr_init(&attributes);
    posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETPGROUP);
    posix_spawnattr_setpgroup(&attributes, 0);
    const int rc = ::posix_spawn(&child.pid, program.c_str(), &actions, &attributes, argv.data(), environ);
    posix_spawnattr_destroy(&attributes);
    posix_spawn_file_actions_destroy(&actions);
    ::close(out[1]);
    ::close(err[1]);
    if (rc != 0) {
        errno = rc;
        error = Failure("posix_spawn");
        ::close(out[0]);
        ::close(err[0]);
        child.pid = -1;
        return false;
    }
    child.started = Clock::now();
    streams.push_back({index, false, out[0], {}});
    streams.push_back({index, true, err[0], {}});
    return true;
}

// Reads what is there; hands over every whole line. False at the end of the stream.
bool Drain(Stream& stream, const ChildProcessGroup::LineHandler& onLine) {
    char buffer[4096];
    const ssize_t n = ::read(stream.fd, buffer, sizeof buffer);
    if (n < 0 && (errno == EINTR || errno == EAGAIN))
        return true;
    if (n > 0) {
        stream.pending.append(buffer, static_cast<size_t>(n));
        size_t start = 0;
        for (size_t end = stream.pending.find('\n'); end != std::string::npos;
             end = stream.pending.find('\n', start)) {
            onLine(stream.child, stream.standardError, stream.pending.substr(start, end - start));
            start = end + 1;
        }
        stream.pending.erase(0, start);
        return true;
    }
    // A last line without its newline is still a line.
    if (!stream.pending.empty())
        onLine(stream.child, stream.standardError, stream.pending);
    stream.pending.clear();
    return false;
}

void Reap(Child& child, ChildExit& exit) {
    if (child.pid <= 0)
        return;
    int status = 0;
    rusage usage{};
    pid_t done = -1;
    do {
        done = ::wait4(child.pid, &status, 0, &usage);
    } while (done < 0 && errno == EINTR);
    child.pid = -1;
    exit.wallTime = Clock::now() - child.started;
    if (done < 0) {
        exit.startError = Failure("wait4");
        return;
    }
    exit.cpuTime = Seconds(usage.ru_utime) + Seconds(usage.ru_stime);
    exit.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

}  // namespace

struct ChildProcessGroup::Running {
    std::vector<Child> children;
};

void ChildProcessGroup::InterruptAll() {
    if (!m_running)
        return;
    for (Child& child : m_running->children) {
        // A reaped child's pid may already belong to another process.
        if (child.pid > 0 && !child.interrupted)
            ::kill(child.pid, SIGTERM);
        child.interrupted = true;
    }
}

std::vector<ChildExit> ChildProcessGroup::Run(const std::string& program,
                                              const std::vector<std::vector<std::string>>& argumentLists,
                                              const LineHandler& onLine, const Tick& tick) {
    std::vector<ChildExit> exits(argumentLists.size());
    Running running;
    running.children.resize(argumentLists.size());
    std::vector<Child>& children = running.children;
    m_running = &running;
    std::vector<Stream> streams;
    for (size_t i = 0; i < argumentLists.size(); ++i)
        Spawn(program, argumentLists[i], i, children[i], streams, exits[i].startError);

    const int tickMilliseconds = static_cast<int>(kTickInterval.count());
    while (!streams.empty()) {
        if (tick)
            tick();
        std::vector<pollfd> fds;
        for (const Stream& stream : streams)
            fds.push_back({stream.fd, POLLIN, 0});
        if (::poll(fds.data(), fds.size(), tick ? tickMilliseconds : -1) < 0) {
            if (errno == EINTR)
                continue;
            // Without poll the children can still be waited for; their output is lost.
            for (Stream& stream : streams)
                ::close(stream.fd);
            streams.clear();
            break;
        }
        for (size_t i = fds.size(); i-- > 0;) {
            if (fds[i].revents == 0)
                continue;
            if (!Drain(streams[i], onLine)) {
                const size_t child = streams[i].child;
                ::close(streams[i].fd);
                streams.erase(streams.begin() + static_cast<std::ptrdiff_t>(i));
                // Both streams at their end: the child is exiting, so its own time ends here.
                const bool otherOpen = std::any_of(streams.begin(), streams.end(),
                                                   [child](const Stream& s) { return s.child == child; });
                if (!otherOpen)
                    Reap(children[child], exits[child]);
            }
        }
    }

    // Children whose output failed to be read are still waited for.
    for (size_t i = 0; i < children.size(); ++i)
        Reap(children[i], exits[i]);
    m_running = nullptr;
    return exits;
}
