// The handle-style file calls of the Windows API, as far as the system uses them: query a path's
// attributes, open an existing file for reading with a share mode, ask its size, read, close.
//
// Failures are reported by the result and leave the system's error code in GetLastError() (errno
// values on POSIX). Paths are wide strings; the POSIX backend hands them to the system as UTF-8.
#pragma once

#include "framework/CommApi.h"  // INVALID_HANDLE_VALUE, shared with the comm calls
#include "framework/WinTypes.h"

using HANDLE = void*;

constexpr DWORD GENERIC_READ = 0x80000000;

constexpr DWORD FILE_SHARE_READ = 0x00000001;
constexpr DWORD FILE_SHARE_WRITE = 0x00000002;

constexpr DWORD OPEN_EXISTING = 3;

constexpr DWORD FILE_ATTRIBUTE_READONLY = 0x00000001;
constexpr DWORD FILE_ATTRIBUTE_DIRECTORY = 0x00000010;
constexpr DWORD FILE_ATTRIBUTE_NORMAL = 0x00000080;
constexpr DWORD INVALID_FILE_ATTRIBUTES = 0xFFFFFFFF;
constexpr DWORD INVALID_FILE_SIZE = 0xFFFFFFFF;

// INVALID_FILE_ATTRIBUTES when nothing exists at the path.
DWORD GetFileAttributesW(const wchar_t* path);

// Opens an existing file. Only GENERIC_READ access and OPEN_EXISTING are supported; a folder is
// refused. The share mode says what others may do while the handle is open: without
// FILE_SHARE_WRITE other writers are kept out, without FILE_SHARE_READ other readers too (on POSIX
// through advisory locks, so only cooperating programs are held back).
HANDLE CreateFileW(const wchar_t* path, DWORD desiredAccess, DWORD shareMode, void* securityAttributes,
                   DWORD creationDisposition, DWORD flagsAndAttributes, HANDLE templateFile);

// Low 32 bits of the size; the high 32 bits go to *sizeHigh when it is given. INVALID_FILE_SIZE
// with the error code set on failure (a size whose low half is 0xFFFFFFFF looks the same; check
// GetLastError() as on Windows).
DWORD GetFileSize(HANDLE file, DWORD* sizeHigh);

// Reads up to `toRead` bytes; fewer only at the end of the file. `overlapped` must be null.
BOOL ReadFile(HANDLE file, void* buffer, DWORD toRead, DWORD* bytesRead, void* overlapped);

BOOL CloseHandle(HANDLE file);
