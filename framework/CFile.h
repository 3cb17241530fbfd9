// CFile: a file opened through the framework's handle calls (FileApi.h). The constructor that takes
// a path, GetLength, Read and Close throw CFileException* on failure; Open reports by its result and
// fills the caller's exception object instead. Read access is all the system needs: write modes are
// refused.
#pragma once

#include <cstdint>

#include "framework/CFileException.h"
#include "framework/CString.h"
#include "framework/FileApi.h"
#include "framework/WinTypes.h"

class CFile {
public:
    enum OpenFlags : UINT {
        modeRead = 0x00000,
        modeWrite = 0x00001,
        modeReadWrite = 0x00002,
        shareCompat = 0x00000,
        shareExclusive = 0x00010,
        shareDenyWrite = 0x00020,
        shareDenyRead = 0x00030,
        shareDenyNone = 0x00040,
        modeCreate = 0x01000,
        modeNoTruncate = 0x02000,
        typeText = 0x04000,
        typeBinary = 0x08000,
    };

    CFile() = default;
    CFile(const wchar_t* fileName, UINT openFlags);
    CFile(const CFile&) = delete;
    CFile& operator=(const CFile&) = delete;
    // Closes without throwing.
    virtual ~CFile();

    virtual BOOL Open(const wchar_t* fileName, UINT openFlags, CFileException* error = nullptr);
    virtual uint64_t GetLength() const;
    // Reads up to `count` bytes and returns how many arrived; fewer only at the end of the file.
    virtual UINT Read(void* buffer, UINT count);
    virtual void Close();
    // Closes and ignores every failure; safe on a file that is not open.
    virtual void Abort();

    BOOL IsOpen() const { return m_hFile != INVALID_HANDLE_VALUE; }
    CString GetFilePath() const { return m_strFileName; }

protected:
    // Throws the exception that describes the last failed call on this file.
    [[noreturn]] void ThrowLastError() const;

    HANDLE m_hFile = INVALID_HANDLE_VALUE;
    CString m_strFileName;
};
