// AppendLineToFile on POSIX: O_APPEND makes each write land at the end as one piece.
#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "framework/AppendLine.h"

bool AppendLineToFile(const std::string& path, const std::string& line, std::string& error) {
    const std::string text = line + "\n";
    const int fd = ::open(path.c_str(), O_WRONLY | O_APPEND | O_CREAT | O_CLOEXEC, 0644);
    if (fd < 0) {
        error = "open failed for " + path + ": " + std::strerror(errno);
        return false;
    }
    ssize_t written = -1;
    do {
        written = ::write(fd, text.data(), text.size());
    } while (written < 0 && errno == EINTR);
    // A partial write would leave half a line that the next writer's line would continue.
    const bool whole = written == static_cast<ssize_t>(text.size());
    if (!whole)
        error = "write failed for " + path + ": " + (written < 0 ? std::strerror(errno) : "short write");
    if (::close(fd) != 0 && whole) {
        error = "close failed for " + path + ": " + std::strerror(errno);
        return false;
    }
    return whole;
}
