// The comm calls over termios. Ports are found through the port registry. Exclusivity comes from a
// non-blocking flock, which every process honours whoever runs it, and from TIOCEXCL, which keeps out
// programs that take no locks (root is exempt from it). TIOCEXCL outlives our descriptor whenever
// another one stays open on the tty (a simulator holds its pty's slave), and then nobody but root
// could open the port again, so Close takes it off. The descriptor stays non-blocking: read and write
// time-outs are kept with the handle and served by poll, since termios cannot time a read in
// milliseconds and a blocking write to a device that stopped reading never returns.
#include <fcntl.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <utility>

#include "framework/CommApi.h"
#include "framework/LastError.h"
#include "framework/PortRegistry.h"
#include "framework/posix/LineSpeed.h"

namespace {

struct PosixComm {
    int fd = -1;
    CommTimeouts timeouts;
};

PosixComm* FromHandle(CommHandle handle) {
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE)
        return nullptr;
    return static_cast<PosixComm*>(handle);
}

bool Fail(int code) {
    SetLastError(static_cast<DWORD>(code));
    return false;
}

constexpr std::pair<DWORD, speed_t> kSpeeds[] = {
    {50, B50},         {75, B75},         {110, B110},        {134, B134},       {150, B150},
    {200, B200},       {300, B300},       {600, B600},        {1200, B1200},     {1800, B1800},
    {2400, B2400},     {4800, B4800},     {9600, B9600},      {19200, B19200},   {38400, B38400},
    {57600, B57600},   {115200, B115200}, {230400, B230400},  {460800, B460800}, {500000, B500000},
    {576000, B576000}, {921600, B921600}, {1000000, B1000000}};

bool ToSpeed(DWORD baud, speed_t& speed) {
    for (const auto& [rate, code] : kSpeeds) {
        if (rate == baud) {
            speed = code;
            return true;
        }
    }
    return false;
}

// The rate the driver holds: from the table when it is a Bxxx code, else the number the kernel keeps
// beside the flags (a rate set as BOTHER, or a code newer than the table). 0 when neither tells.
DWORD RateOf(int fd, const termios& tio) {
    const speed_t speed = ::cfgetospeed(&tio);
    for (const auto& [rate, code] : kSpeeds) {
        if (code == speed)
            return rate;
    }
    uint32_t rate = 0;
    return ReadLineSpeed(fd, rate) ? rate : 0;
}

constexpr tcflag_t kSoftwareFlow = IXON | IXOFF | IXANY;

// A serial line carries binary frames: no line editing, echo, signals or translation either way.
// Unlike cfmakeraw this leaves the character size, parity and VMIN/VTIME alone.
void MakeRaw(termios& tio) {
    tio.c_iflag &= ~(IGNBRK | BRKINT | PARMRK | ISTRIP | INLCR | IGNCR | ICRNL | IUCLC);
    tio.c_oflag &= ~OPOST;
    tio.c_lflag &= ~(ECHO | ECHONL | ICANON | ISIG | IEXTEN);
    tio.c_cflag |= CLOCAL | CREAD;
}

class PosixCommApi final : public CommApi {
public:
    CommHandle Open(int portNumber) override {
        const std::string device = PortRegistry::Default().Resolve(portNumber);
        if (device.empty()) {
            Fail(ENOENT);
            return INVALID_HANDLE_VALUE;
        }
        const int fd = ::open(device.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
        if (fd < 0) {
            Fail(errno);
            return INVALID_HANDLE_VALUE;
        }
        auto fail = [fd](int code) {
            ::close(fd);
            Fail(code);
            return INVALID_HANDLE_VALUE;
        };
        if (::flock(fd, LOCK_EX | LOCK_NB) != 0)
            return fail(errno == EWOULDBLOCK ? EBUSY : errno);
        termios tio{};
        if (::tcgetattr(fd, &tio) != 0)
            return fail(errno);
        ::ioctl(fd, TIOCEXCL);
        auto failExclusive = [&fail, fd](int code) {
            ::ioctl(fd, TIOCNXCL);
            return fail(code);
        };
        MakeRaw(tio);
        tio.c_cc[VMIN] = 0;
        tio.c_cc[VTIME] = 0;
        if (::tcsetattr(fd, TCSANOW, &tio) != 0)
            return failExclusive(errno);
        auto* comm = new PosixComm;
        comm->fd = fd;
        return comm;
    }

    bool GetState(CommHandle handle, CommState& state) override {
        PosixComm* comm = FromHandle(handle);
        if (!comm)
            return Fail(EBADF);
        termios tio{};
        if (::tcgetattr(comm->fd, &tio) != 0)
            return Fail(errno);
        state.BaudRate = RateOf(comm->fd, tio);
        switch (tio.c_cflag & CSIZE) {
            case CS5:
                state.ByteSize = 5;
                break;
            case CS6:
                state.ByteSize = 6;
                break;
            case CS7:
                state.ByteSize = 7;
                break;
            default:
                state.ByteSize = 8;
                break;
        }
        state.Parity = (tio.c_cflag & PARENB) ? ((tio.c_cflag & PARODD) ? 1 : 2) : 0;
        state.StopBits = (tio.c_cflag & CSTOPB) ? 2 : 0;
        state.FlowControl = (tio.c_iflag & kSoftwareFlow) || (tio.c_cflag & CRTSCTS);
        return true;
    }

    bool SetState(CommHandle handle, const CommState& state) override {
        PosixComm* comm = FromHandle(handle);
        if (!comm)
            return Fail(EBADF);
        termios tio{};
        if (::tcgetattr(comm->fd, &tio) != 0)
            return Fail(errno);
        if (state.BaudRate == 0)  // B0 would hang the line up
            return Fail(EINVAL);
        speed_t speed{};
        const bool coded = ToSpeed(state.BaudRate, speed);
        if (coded && (::cfsetispeed(&tio, speed) != 0 || ::cfsetospeed(&tio, speed) != 0))
            return Fail(errno);
        tio.c_cflag &= ~CSIZE;
        switch (state.ByteSize) {
            case 5:
                tio.c_cflag |= CS5;
                break;
            case 6:
                tio.c_cflag |= CS6;
                break;
            case 7:
                tio.c_cflag |= CS7;
                break;
            case 8:
                tio.c_cflag |= CS8;
                break;
            default:
                return Fail(EINVAL);
        }
        tio.c_cflag &= ~(PARENB | PARODD);
        if (state.Parity == 1)
            tio.c_cflag |= PARENB | PARODD;
        else if (state.Parity == 2)
            tio.c_cflag |= PARENB;
        else if (state.Parity != 0)
            return Fail(EINVAL);
        if (state.StopBits == 2)
            tio.c_cflag |= CSTOPB;
        else if (state.StopBits == 0)
            tio.c_cflag &= ~CSTOPB;
        else
            return Fail(EINVAL);
        MakeRaw(tio);
        // Flow control left on by an earlier program would swallow 0x11/0x13 inside frames, or
        // stop output for good where CTS is not wired.
        if (!state.FlowControl) {
            tio.c_iflag &= ~kSoftwareFlow;
            tio.c_cflag &= ~CRTSCTS;
        }
        // TCSADRAIN: bytes still in the UART leave at the old rate before the new one applies.
        if (::tcsetattr(comm->fd, TCSADRAIN, &tio) != 0)
            return Fail(errno);
        if (!coded && !WriteLineSpeed(comm->fd, state.BaudRate))
            return Fail(errno);
        return true;
    }

    bool SetTimeouts(CommHandle handle, const CommTimeouts& timeouts) override {
        PosixComm* comm = FromHandle(handle);
        if (!comm)
            return Fail(EBADF);
        comm->timeouts = timeouts;
        return true;
    }

    bool Purge(CommHandle handle, DWORD flags) override {
        PosixComm* comm = FromHandle(handle);
        if (!comm)
            return Fail(EBADF);
        const bool rx = flags & PURGE_RXCLEAR;
        const bool tx = flags & PURGE_TXCLEAR;
        if (!rx && !tx)
            return true;
        const int queue = rx && tx ? TCIOFLUSH : rx ? TCIFLUSH : TCOFLUSH;
        if (::tcflush(comm->fd, queue) != 0)
            return Fail(errno);
        return true;
    }

    bool Read(CommHandle handle, uint8_t* buffer, DWORD size, DWORD& received) override {
        received = 0;
        PosixComm* comm = FromHandle(handle);
        if (!comm)
            return Fail(EBADF);
        if (size == 0)
            return true;
        const int total = static_cast<int>(comm->timeouts.ReadTotalTimeoutConstant +
                                           comm->timeouts.ReadTotalTimeoutMultiplier * size);
        const int interval = static_cast<int>(comm->timeouts.ReadIntervalTimeout);
        // The total time-out bounds the whole read: under a stream that never pauses for an
        // interval, the read still returns once it is over.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(total);
        int wait = total;
        while (received < size) {
            pollfd pfd{comm->fd, POLLIN, 0};
            const int rc = ::poll(&pfd, 1, wait);
            if (rc < 0) {
                if (errno == EINTR)
                    continue;
                return Fail(errno);
            }
            if (rc == 0)
                break;
            if (!(pfd.revents & POLLIN)) {
                // POLLHUP or POLLERR with nothing to read: the other end is gone.
                return Fail(EIO);
            }
            const ssize_t n = ::read(comm->fd, buffer + received, size - received);
            if (n < 0) {
                if (errno == EINTR || errno == EAGAIN)
                    continue;
                return Fail(errno);
            }
            if (n == 0)
                return Fail(EIO);
            received += static_cast<DWORD>(n);
            if (interval == 0)
                break;
            wait = interval;
            if (total > 0) {
                const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                    deadline - std::chrono::steady_clock::now());
                if (left.count() <= 0)
                    break;
                wait = std::min(wait, static_cast<int>(left.count()));
            }
        }
        return true;
    }

    bool Write(CommHandle handle, const uint8_t* data, DWORD size, DWORD& written) override {
        written = 0;
        PosixComm* comm = FromHandle(handle);
        if (!comm)
            return Fail(EBADF);
        const auto bound = std::chrono::milliseconds(comm->timeouts.WriteTotalTimeoutConstant +
                                                     comm->timeouts.WriteTotalTimeoutMultiplier * size);
        const bool bounded = bound.count() > 0;
        const auto deadline = std::chrono::steady_clock::now() + bound;
        while (written < size) {
            const ssize_t n = ::write(comm->fd, data + written, size - written);
            if (n >= 0) {
                written += static_cast<DWORD>(n);
                continue;
            }
            if (errno == EINTR)
                continue;
            if (errno != EAGAIN)
                return Fail(errno);
            int wait = -1;
            if (bounded) {
                const auto left =
                    std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
                if (left.count() <= 0)
                    return Fail(ETIMEDOUT);
                wait = static_cast<int>(left.count());
            }
            pollfd pfd{comm->fd, POLLOUT, 0};
            if (::poll(&pfd, 1, wait) < 0 && errno != EINTR)
                return Fail(errno);
        }
        return true;
    }

    bool OutQueue(CommHandle handle, DWORD& count) override {
        count = 0;
        PosixComm* comm = FromHandle(handle);
        if (!comm)
            return Fail(EBADF);
        int pending = 0;
        if (::ioctl(comm->fd, TIOCOUTQ, &pending) != 0)
            return Fail(errno);
        count = pending > 0 ? static_cast<DWORD>(pending) : 0;
        return true;
    }

    void Close(CommHandle handle) override {
        PosixComm* comm = FromHandle(handle);
        if (!comm)
            return;
        ::ioctl(comm->fd, TIOCNXCL);
        ::close(comm->fd);
        delete comm;
    }

    DWORD SettingRefusedCode() const override { return EINVAL; }
};

}  // namespace

CommApi& SystemCommApi() {
    static PosixCommApi api;
    return api;
}
