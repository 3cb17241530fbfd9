// Plain POSIX I/O for the tests that talk to a running simulator: the host's end of the line and
// the simulator's output lines, always with a time limit.
#pragma once

#include <fcntl.h>
#include <poll.h>
#include <termios.h>
#include <unistd.h>

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace simtest {

constexpr std::chrono::milliseconds kIoTimeout{5000};

// Opens a serial device the way the host does: raw 8N1, no controlling terminal.
inline int OpenLine(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (fd < 0)
        return -1;
    termios tio{};
    ::tcgetattr(fd, &tio);
    ::cfmakeraw(&tio);
    ::cfsetspeed(&tio, B9600);
    ::tcsetattr(fd, TCSANOW, &tio);
    return fd;
}

inline bool WriteAll(int fd, const std::vector<uint8_t>& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n <= 0)
            return false;
        done += static_cast<size_t>(n);
    }
    return true;
}

// Reads up to `count` bytes; fewer when `timeout` passes or the line hangs up first.
inline std::vector<uint8_t> ReadBytes(int fd, size_t count, std::chrono::milliseconds timeout = kIoTimeout) {
    std::vector<uint8_t> out;
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (out.size() < count) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd pfd{fd, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&pfd, 1, static_cast<int>(left.count())) <= 0)
            break;
        uint8_t buffer[256];
        const ssize_t n = ::read(fd, buffer, std::min(sizeof(buffer), count - out.size()));
        if (n <= 0)
            break;
        out.insert(out.end(), buffer, buffer + n);
    }
    return out;
}

// True once reading the line fails or ends (the other side went away), within `timeout`.
inline bool WaitForHangUp(int fd, std::chrono::milliseconds timeout = kIoTimeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd pfd{fd, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&pfd, 1, static_cast<int>(left.count())) <= 0)
            return false;
        if (pfd.revents & (POLLHUP | POLLERR))
            return true;
        uint8_t byte;
        if (::read(fd, &byte, 1) <= 0)
            return true;
    }
}

// One line (without its newline) from a pipe, or nothing within `timeout`. `pending` keeps what
// was read past the line.
inline std::optional<std::string> ReadLine(int fd, std::string& pending,
                                           std::chrono::milliseconds timeout = kIoTimeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        if (const size_t nl = pending.find('\n'); nl != std::string::npos) {
            std::string line = pending.substr(0, nl);
            pending.erase(0, nl + 1);
            return line;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        pollfd pfd{fd, POLLIN, 0};
        if (left.count() <= 0 || ::poll(&pfd, 1, static_cast<int>(left.count())) <= 0)
            return std::nullopt;
        char buffer[256];
        const ssize_t n = ::read(fd, buffer, sizeof(buffer));
        if (n <= 0)
            return std::nullopt;
        pending.append(buffer, static_cast<size_t>(n));
    }
}

}  // namespace simtest
