// AppendLineToFile on Windows: a handle opened with only FILE_APPEND_DATA writes every WriteFile at
// the end of the file as one piece, whoever else appends at the same time.
#include <windows.h>

#include "framework/AppendLine.h"
#include "framework/CString.h"

namespace {

std::string Failure(const char* call, const std::string& path) {
    return std::string(call) + " failed for " + path + " with error " + std::to_string(::GetLastError());
}

}  // namespace

bool AppendLineToFile(const std::string& path, const std::string& line, std::string& error) {
    const std::string text = line + "\n";
    HANDLE file = ::CreateFileW(CString::FromUtf8(path).GetString(), FILE_APPEND_DATA,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = Failure("CreateFileW", path);
        return false;
    }
    DWORD written = 0;
    const BOOL wrote = ::WriteFile(file, text.data(), static_cast<DWORD>(text.size()), &written, nullptr);
    // A partial write would leave half a line that the next writer's line would continue.
    const bool whole = wrote && written == text.size();
    if (!whole)
        error = wrote ? "WriteFile wrote only part of the line to " + path : Failure("WriteFile", path);
    if (!::CloseHandle(file) && whole) {
        error = Failure("CloseHandle", path);
        return false;
    }
    return whole;
}
