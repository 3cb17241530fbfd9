// The image tool's files over open/read/write, with the failing call and errno's text in each error.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "tools/cli/ImageFiles.h"
#include "tools/i18n/Messages.h"

struct InputFile::Handle {
    int fd = -1;
};

InputFile::InputFile() : m_handle(std::make_unique<Handle>()) {}

InputFile::~InputFile() {
    if (m_handle->fd >= 0)
        ::close(m_handle->fd);
}

bool InputFile::Open(const std::string& path) {
    m_path = path;
    m_handle->fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (m_handle->fd < 0)
        return Fail("open");
    struct stat st {};
    if (::fstat(m_handle->fd, &st) != 0)
        return Fail("fstat");
    if (S_ISDIR(st.st_mode)) {
        m_error = FormatText(Tr("'%s' is a folder, not a file"), path.c_str());
        return false;
    }
    if (!S_ISREG(st.st_mode)) {
        m_error = FormatText(Tr("'%s' is not a regular file"), path.c_str());
        return false;
    }
    m_size = static_cast<uint64_t>(st.st_size);
    return true;
}

bool InputFile::IsSameFile(const std::string& path) const {
    struct stat mine {};
    struct stat other {};
    return ::fstat(m_handle->fd, &mine) == 0 && ::stat(path.c_str(), &other) == 0 &&
           mine.st_dev == other.st_dev && mine.st_ino == other.st_ino;
}

bool InputFile::Read(uint8_t* buffer, size_t count) {
    size_t done = 0;
    while (done < count) {
        const ssize_t n = ::read(m_handle->fd, buffer + done, count - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return Fail("read");
        if (n == 0) {
            m_error = FormatText(Tr("'%s' ended early (was it changed while being read?)"), m_path.c_str());
            return false;
        }
        done += static_cast<size_t>(n);
    }
    return true;
}

bool InputFile::Fail(const char* call) {
    m_error = FormatText(Tr("cannot read '%s': %s: %s"), m_path.c_str(), call, ErrorNumberText(errno));
    return false;
}

bool WriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes, std::string& error) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0666);
    auto fail = [&](const char* call) {
        error = FormatText(Tr("cannot write '%s': %s: %s"), path.c_str(), call, ErrorNumberText(errno));
        if (fd >= 0) {
            ::close(fd);
            ::unlink(path.c_str());  // no half-written image is left behind
        }
        return false;
    };
    if (fd < 0)
        return fail("open");
    size_t done = 0;
    while (done < bytes.size()) {
        const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return fail("write");
        done += static_cast<size_t>(n);
    }
    if (::close(fd) != 0) {
        error = FormatText(Tr("cannot write '%s': %s: %s"), path.c_str(), "close", ErrorNumberText(errno));
        ::unlink(path.c_str());
        return false;
    }
    return true;
}
