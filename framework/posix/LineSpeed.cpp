#include "framework/posix/LineSpeed.h"

#include <asm/termbits.h>
#include <sys/ioctl.h>

bool ReadLineSpeed(int fd, uint32_t& rate) {
    termios2 tio{};
    if (::ioctl(fd, TCGETS2, &tio) != 0)
        return false;
    rate = tio.c_ospeed;
    return true;
}

bool WriteLineSpeed(int fd, uint32_t rate) {
    termios2 tio{};
    if (::ioctl(fd, TCGETS2, &tio) != 0)
        return false;
    tio.c_cflag &= ~CBAUD;
    tio.c_cflag |= BOTHER;
    // The input rate follows the output rate unless it has a BOTHER of its own.
    tio.c_cflag &= ~(CBAUD << IBSHIFT);
    tio.c_ospeed = rate;
    tio.c_ispeed = rate;
    return ::ioctl(fd, TCSETSW2, &tio) == 0;
}
