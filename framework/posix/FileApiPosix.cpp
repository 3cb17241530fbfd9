// The handle-style file calls over POSIX descriptors. Share modes become flock() locks: a handle
// that lets nobody write holds a shared lock, one that lets nobody read or write an exclusive one.
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "framework/CString.h"
#include "framework/FileApi.h"
#include "framework/LastError.h"

namespace {

struct PosixFile {
    int fd = -1;
};

PosixFile* FromHandle(HANDLE handle) {
    if (handle == nullptr || handle == INVALID_HANDLE_VALUE)
        return nullptr;
    return static_cast<PosixFile*>(handle);
}

std::string SystemPath(const wchar_t* path) {
    return CString(path).ToUtf8();
}

HANDLE FailOpen(int fd, int code) {
    if (fd >= 0)
        ::close(fd);
    SetLastError(static_cast<DWORD>(code));
    return INVALID_HANDLE_VALUE;
}

}  // namespace

DWORD GetFileAttributesW(const wchar_t* path) {
    if (!path || !*path) {
        SetLastError(ENOENT);
        return INVALID_FILE_ATTRIBUTES;
    }
    struct stat st {};
    if (::stat(SystemPath(path).c_str(), &st) != 0) {
        SetLastError(static_cast<DWORD>(errno));
        return INVALID_FILE_ATTRIBUTES;
    }
    if (S_ISDIR(st.st_mode))
        return FILE_ATTRIBUTE_DIRECTORY;
    return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) ? FILE_ATTRIBUTE_NORMAL : FILE_ATTRIBUTE_READONLY;
}

HANDLE CreateFileW(const wchar_t* path, DWORD desiredAccess, DWORD shareMode, void*,
                   DWORD creationDisposition, DWORD, HANDLE) {
    if (!path || !*path)
        return FailOpen(-1, ENOENT);
    if (desiredAccess != GENERIC_READ || creationDisposition != OPEN_EXISTING)
        return FailOpen(-1, EINVAL);

    // O_NONBLOCK only for the open itself, so a FIFO without a writer cannot hang the caller.
    const int fd = ::open(SystemPath(path).c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd < 0)
        return FailOpen(-1, errno);

    struct stat st {};
    if (::fstat(fd, &st) != 0)
        return FailOpen(fd, errno);
    // Windows refuses to open a folder as a file; reading one here would fail later and less clearly.
    if (S_ISDIR(st.st_mode))
        return FailOpen(fd, EISDIR);

    const int flags = ::fcntl(fd, F_GETFL);
    if (flags < 0 || ::fcntl(fd, F_SETFL, flags & ~O_NONBLOCK) != 0)
        return FailOpen(fd, errno);

    const bool othersRead = shareMode & FILE_SHARE_READ;
    const bool othersWrite = shareMode & FILE_SHARE_WRITE;
    if (!othersWrite || !othersRead) {
        const int lock = othersRead ? LOCK_SH : LOCK_EX;
        if (::flock(fd, lock | LOCK_NB) != 0)
            return FailOpen(fd, errno);
    }

    auto* file = new PosixFile;
    file->fd = fd;
    return file;
}

DWORD GetFileSize(HANDLE handle, DWORD* sizeHigh) {
    PosixFile* file = FromHandle(handle);
    if (!file) {
        SetLastError(EBADF);
        return INVALID_FILE_SIZE;
    }
    struct stat st {};
    if (::fstat(file->fd, &st) != 0) {
        SetLastError(static_cast<DWORD>(errno));
        return INVALID_FILE_SIZE;
    }
    const auto size = static_cast<uint64_t>(st.st_size);
    if (sizeHigh)
        *sizeHigh = static_cast<DWORD>(size >> 32);
    SetLastError(0);
    return static_cast<DWORD>(size & 0xFFFFFFFFu);
}

BOOL ReadFile(HANDLE handle, void* buffer, DWORD toRead, DWORD* bytesRead, void* overlapped) {
    if (bytesRead)
        *bytesRead = 0;
    PosixFile* file = FromHandle(handle);
    if (!file || overlapped || (!buffer && toRead > 0)) {
        SetLastError(file ? EINVAL : EBADF);
        return FALSE;
    }
    DWORD done = 0;
    auto* out = static_cast<uint8_t*>(buffer);
    while (done < toRead) {
        const ssize_t n = ::read(file->fd, out + done, toRead - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            SetLastError(static_cast<DWORD>(errno));
            if (bytesRead)
                *bytesRead = done;
            return FALSE;
        }
        if (n == 0)
            break;
        done += static_cast<DWORD>(n);
    }
    if (bytesRead)
        *bytesRead = done;
    return TRUE;
}

BOOL CloseHandle(HANDLE handle) {
    PosixFile* file = FromHandle(handle);
    if (!file) {
        SetLastError(EBADF);
        return FALSE;
    }
    const int rc = ::close(file->fd);
    const int code = errno;
    delete file;
    if (rc != 0 && code != EINTR) {
        SetLastError(static_cast<DWORD>(code));
        return FALSE;
    }
    return TRUE;
}
