#include "tests/support/Pty.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <stdexcept>
#include <utility>

#include "tests/support/TestTime.h"

CommApi& TestCommApi() {
    return SystemCommApi();
}

Pty::Pty() {
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_master < 0 || ::grantpt(m_master) != 0 || ::unlockpt(m_master) != 0) {
        throw std::runtime_error("posix_openpt failed");
    }
    char name[128];
    if (::ptsname_r(m_master, name, sizeof(name)) != 0)
        throw std::runtime_error("ptsname_r failed");
    m_slavePath = name;
    m_slaveKeepAlive = ::open(name, O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (m_slaveKeepAlive < 0)
        throw std::runtime_error("open of the pty slave failed");
    // The master side stays raw so bytes pass unchanged in both directions.
    termios tio{};
    ::tcgetattr(m_master, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(m_master, TCSANOW, &tio);
}

Pty::~Pty() {
    if (m_slaveKeepAlive >= 0)
        ::close(m_slaveKeepAlive);
    if (m_master >= 0)
        ::close(m_master);
}

void Pty::Write(const std::vector<uint8_t>& bytes) {
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_master, bytes.data() + done, bytes.size() - done);
        if (n < 0)
            throw std::runtime_error("write to pty master failed");
        done += static_cast<size_t>(n);
    }
}

std::vector<uint8_t> Pty::Read(size_t count, std::chrono::milliseconds timeout) {
    std::vector<uint8_t> out;
    const auto deadline = std::chrono::steady_clock::now() + test_time::Limit(timeout);
    while (out.size() < count) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            break;
        pollfd pfd{m_master, POLLIN, 0};
        if (::poll(&pfd, 1, static_cast<int>(left.count())) <= 0)
            break;
        uint8_t buffer[4096];
        const ssize_t n = ::read(m_master, buffer, std::min(sizeof(buffer), count - out.size()));
        if (n <= 0)
            break;
        out.insert(out.end(), buffer, buffer + n);
    }
    return out;
}

std::vector<uint8_t> Pty::ReadUntilQuiet(std::chrono::milliseconds quiet) {
    std::vector<uint8_t> out;
    for (;;) {
        pollfd pfd{m_master, POLLIN, 0};
        if (::poll(&pfd, 1, static_cast<int>(test_time::Limit(quiet).count())) <= 0)
            break;
        uint8_t buffer[4096];
        const ssize_t n = ::read(m_master, buffer, sizeof(buffer));
        if (n <= 0)
            break;
        out.insert(out.end(), buffer, buffer + n);
    }
    return out;
}

void Pty::HangUp() {
    if (m_master >= 0)
        ::close(m_master);
    m_master = -1;
}

DWORD Pty::LineSpeed() const {
    constexpr std::pair<speed_t, DWORD> kRates[] = {
        {B9600, 9600}, {B19200, 19200}, {B38400, 38400}, {B57600, 57600}, {B115200, 115200}};
    termios tio{};
    ::tcgetattr(m_master, &tio);  // a pty master reports its slave's settings
    const speed_t speed = ::cfgetospeed(&tio);
    for (const auto& [code, rate] : kRates) {
        if (code == speed)
            return rate;
    }
    return 0;
}
