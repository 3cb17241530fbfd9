// The image tool's files over CreateFileW/ReadFile/WriteFile, with UTF-8 paths widened so that any
// name (Chinese ones included) works, and the failing call and its Win32 error code in each error.
#include <windows.h>

#include <algorithm>

#include "framework/CString.h"
#include "tools/cli/ImageFiles.h"
#include "tools/i18n/Messages.h"

namespace {

std::wstring Wide(const std::string& utf8) {
    return CString::FromUtf8(utf8).GetString();
}

std::string CallFailed(const char* call) {
    return FormatText(Tr("%s failed with error %lu"), call, static_cast<unsigned long>(::GetLastError()));
}

}  // namespace

struct InputFile::Handle {
    HANDLE file = INVALID_HANDLE_VALUE;
};

InputFile::InputFile() : m_handle(std::make_unique<Handle>()) {}

InputFile::~InputFile() {
    if (m_handle->file != INVALID_HANDLE_VALUE)
        ::CloseHandle(m_handle->file);
}

bool InputFile::Open(const std::string& path) {
    m_path = path;
    const std::wstring wide = Wide(path);
    const DWORD attributes = ::GetFileAttributesW(wide.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY)) {
        m_error = FormatText(Tr("'%s' is a folder, not a file"), path.c_str());
        return false;
    }
    m_handle->file = ::CreateFileW(wide.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING,
                                   FILE_ATTRIBUTE_NORMAL, nullptr);
    if (m_handle->file == INVALID_HANDLE_VALUE)
        return Fail("CreateFileW");
    if (::GetFileType(m_handle->file) != FILE_TYPE_DISK) {
        m_error = FormatText(Tr("'%s' is not a regular file"), path.c_str());
        return false;
    }
    LARGE_INTEGER size{};
    if (!::GetFileSizeEx(m_handle->file, &size))
        return Fail("GetFileSizeEx");
    m_size = static_cast<uint64_t>(size.QuadPart);
    return true;
}

bool InputFile::IsSameFile(const std::string& path) const {
    // No access asked for: only the file's identity (volume and file index) is read.
    const HANDLE other =
        ::CreateFileW(Wide(path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                      OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (other == INVALID_HANDLE_VALUE)
        return false;
    BY_HANDLE_FILE_INFORMATION mine{}, theirs{};
    const bool same =
        ::GetFileInformationByHandle(m_handle->file, &mine) && ::GetFileInformationByHandle(other, &theirs) &&
        mine.dwVolumeSerialNumber == theirs.dwVolumeSerialNumber &&
        mine.nFileIndexHigh == theirs.nFileIndexHigh && mine.nFileIndexLow == theirs.nFileIndexLow;
    ::CloseHandle(other);
    return same;
}

bool InputFile::Read(uint8_t* buffer, size_t count) {
    size_t done = 0;
    while (done < count) {
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(count - done, 1u << 20));
        DWORD got = 0;
        if (!::ReadFile(m_handle->file, buffer + done, chunk, &got, nullptr))
            return Fail("ReadFile");
        if (got == 0) {
            m_error = FormatText(Tr("'%s' ended early (was it changed while being read?)"), m_path.c_str());
            return false;
        }
        done += got;
    }
    return true;
}

bool InputFile::Fail(const char* call) {
    m_error = FormatText(Tr("cannot read '%s': %s"), m_path.c_str(), CallFailed(call).c_str());
    return false;
}

bool WriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes, std::string& error) {
    const std::wstring wide = Wide(path);
    HANDLE file =
        ::CreateFileW(wide.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    auto fail = [&](const char* call) {
        error = FormatText(Tr("cannot write '%s': %s"), path.c_str(), CallFailed(call).c_str());
        if (file != INVALID_HANDLE_VALUE) {
            ::CloseHandle(file);
            ::DeleteFileW(wide.c_str());  // no half-written image is left behind
        }
        return false;
    };
    if (file == INVALID_HANDLE_VALUE)
        return fail("CreateFileW");
    size_t done = 0;
    while (done < bytes.size()) {
        const DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - done, 1u << 20));
        DWORD written = 0;
        if (!::WriteFile(file, bytes.data() + done, chunk, &written, nullptr))
            return fail("WriteFile");
        done += written;
    }
    if (!::CloseHandle(file)) {
        file = INVALID_HANDLE_VALUE;
        error = FormatText(Tr("cannot write '%s': %s"), path.c_str(), CallFailed("CloseHandle").c_str());
        ::DeleteFileW(wide.c_str());
        return false;
    }
    return true;
}
