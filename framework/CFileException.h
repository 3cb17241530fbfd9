// CFileException: what CFile and its subclasses throw when a file cannot be opened, measured or read.
// m_cause is the portable reason; m_lOsError keeps the system's own code (an errno value on POSIX).
#pragma once

#include "framework/CException.h"
#include "framework/CString.h"
#include "framework/WinTypes.h"

class CFileException : public CException {
public:
    enum {
        none = 0,
        genericException,
        fileNotFound,
        badPath,
        tooManyOpenFiles,
        accessDenied,
        invalidFile,
        removeCurrentDir,
        directoryFull,
        badSeek,
        hardIO,
        sharingViolation,
        lockViolation,
        diskFull,
        endOfFile,
    };

    explicit CFileException(int cause = none, long osError = -1, const wchar_t* fileName = nullptr)
        : m_cause(cause), m_lOsError(osError), m_strFileName(fileName) {}

    // The portable cause for a system error code of this platform.
    static int OsErrorToException(long osError);

    int m_cause;
    long m_lOsError;
    CString m_strFileName;
};
