#include "framework/CFile.h"

#include "framework/LastError.h"

namespace {

constexpr UINT kAccessMask = CFile::modeWrite | CFile::modeReadWrite;
constexpr UINT kShareMask = 0x00070;

DWORD ShareModeFor(UINT openFlags) {
    switch (openFlags & kShareMask) {
        case CFile::shareDenyWrite:
            return FILE_SHARE_READ;
        case CFile::shareDenyRead:
            return FILE_SHARE_WRITE;
        case CFile::shareDenyNone:
            return FILE_SHARE_READ | FILE_SHARE_WRITE;
        default:
            return 0;  // shareCompat and shareExclusive
    }
}

}  // namespace

CFile::CFile(const wchar_t* fileName, UINT openFlags) {
    CFileException error;
    if (!Open(fileName, openFlags, &error)) {
        throw new CFileException(error.m_cause, error.m_lOsError, error.m_strFileName);
    }
}

CFile::~CFile() {
    Abort();
}

BOOL CFile::Open(const wchar_t* fileName, UINT openFlags, CFileException* error) {
    Abort();
    auto fail = [&](long osError) {
        if (error) {
            error->m_cause = CFileException::OsErrorToException(osError);
            error->m_lOsError = osError;
            error->m_strFileName = fileName;
        }
        return FALSE;
    };
    if ((openFlags & (kAccessMask | modeCreate)) != 0) {
        if (error) {
            error->m_cause = CFileException::accessDenied;
            error->m_lOsError = -1;
            error->m_strFileName = fileName;
        }
        return FALSE;
    }
    HANDLE handle = CreateFileW(fileName, GENERIC_READ, ShareModeFor(openFlags), nullptr, OPEN_EXISTING,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE)
        return fail(static_cast<long>(GetLastError()));
    m_hFile = handle;
    m_strFileName = fileName;
    return TRUE;
}

uint64_t CFile::GetLength() const {
    DWORD high = 0;
    const DWORD low = GetFileSize(m_hFile, &high);
    if (low == INVALID_FILE_SIZE && GetLastError() != 0)
        ThrowLastError();
    return (static_cast<uint64_t>(high) << 32) | low;
}

UINT CFile::Read(void* buffer, UINT count) {
    DWORD read = 0;
    if (count == 0)
        return 0;
    if (!ReadFile(m_hFile, buffer, count, &read, nullptr))
        ThrowLastError();
    return read;
}

void CFile::Close() {
    if (m_hFile == INVALID_HANDLE_VALUE)
        return;
    HANDLE handle = m_hFile;
    m_hFile = INVALID_HANDLE_VALUE;
    if (!CloseHandle(handle))
        ThrowLastError();
}

void CFile::Abort() {
    if (m_hFile == INVALID_HANDLE_VALUE)
        return;
    CloseHandle(m_hFile);
    m_hFile = INVALID_HANDLE_VALUE;
}

void CFile::ThrowLastError() const {
    const long code = static_cast<long>(GetLastError());
    throw new CFileException(CFileException::OsErrorToException(code), code, m_strFileName);
}
