#include "tools/sim/PtyDevice.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <termios.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

std::string Failure(const char* call) {
    return std::string(call) + " failed: " + std::strerror(errno);
}

}  // namespace

PtyDevice::~PtyDevice() {
    Close();
}

bool PtyDevice::Open(std::string& error) {
    Close();
    m_master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (m_master < 0) {
        error = Failure("posix_openpt");
        return false;
    }
    char name[128];
    if (::grantpt(m_master) != 0) {
        error = Failure("grantpt");
    } else if (::unlockpt(m_master) != 0) {
        error = Failure("unlockpt");
    } else if (::ptsname_r(m_master, name, sizeof(name)) != 0) {
        error = Failure("ptsname_r");
    } else if ((m_slaveKeepAlive = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC)) < 0) {
        error = Failure("open");
    } else {
        m_slavePath = name;
        // Raw both ways: the line discipline sits on the slave side and would otherwise echo,
        // translate CR/LF and eat control bytes.
        termios tio{};
        if (::tcgetattr(m_slaveKeepAlive, &tio) != 0) {
            error = Failure("tcgetattr");
        } else {
            ::cfmakeraw(&tio);
            if (::tcsetattr(m_slaveKeepAlive, TCSANOW, &tio) != 0)
                error = Failure("tcsetattr");
        }
        const int flags = ::fcntl(m_master, F_GETFL);
        if (error.empty() && (flags < 0 || ::fcntl(m_master, F_SETFL, flags | O_NONBLOCK) != 0)) {
            error = Failure("fcntl");
        }
        if (error.empty())
            return true;
    }
    Close();
    return false;
}

void PtyDevice::Close() {
    if (m_slaveKeepAlive >= 0)
        ::close(m_slaveKeepAlive);
    if (m_master >= 0)
        ::close(m_master);
    m_slaveKeepAlive = -1;
    m_master = -1;
    m_slavePath.clear();
}

long PtyDevice::Read(uint8_t* buffer, size_t size, std::string& error) {
    for (;;) {
        const ssize_t n = ::read(m_master, buffer, size);
        if (n >= 0)
            return static_cast<long>(n);
        if (errno == EINTR)
            continue;
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return 0;
        error = Failure("read");
        return -1;
    }
}

bool PtyDevice::Write(const std::vector<uint8_t>& bytes, std::chrono::milliseconds timeout,
                      std::string& error) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(m_master, bytes.data() + done, bytes.size() - done);
        if (n > 0) {
            done += static_cast<size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            error = Failure("write");
            return false;
        }
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
            deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            error = "write failed: the host does not read (line buffer full)";
            return false;
        }
        pollfd pfd{m_master, POLLOUT, 0};
        if (::poll(&pfd, 1, static_cast<int>(left.count())) < 0 && errno != EINTR) {
            error = Failure("poll");
            return false;
        }
    }
    return true;
}

uint32_t PtyDevice::HostRate() const {
    termios settings{};
    if (m_master < 0 || ::tcgetattr(m_master, &settings) != 0)
        return 0;
    switch (::cfgetospeed(&settings)) {
        case B9600:
            return 9600;
        case B115200:
            return 115200;
        default:
            return 0;
    }
}
