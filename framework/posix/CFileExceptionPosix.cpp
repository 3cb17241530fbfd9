// errno values mapped to the portable causes of CFileException.
#include <cerrno>

#include "framework/CFileException.h"

int CFileException::OsErrorToException(long osError) {
    switch (osError) {
        case 0:
            return none;
        case ENOENT:
            return fileNotFound;
        case ENOTDIR:
        case ENAMETOOLONG:
        case ELOOP:
            return badPath;
        case EMFILE:
        case ENFILE:
            return tooManyOpenFiles;
        case EACCES:
        case EPERM:
        case EISDIR:
        case EROFS:
            return accessDenied;
        case EBADF:
            return invalidFile;
        case EWOULDBLOCK:
            return sharingViolation;
        case ENOSPC:
            return diskFull;
        case EIO:
            return hardIO;
        default:
            return genericException;
    }
}
