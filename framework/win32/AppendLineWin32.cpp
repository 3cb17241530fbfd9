// AppendLineToFile on Windows: a handle opened with only FILE_APPEND_DATA writes every WriteFile at
// the end of the file as one piece, whoever else appends at the same time.
#include <windows.h>

#include "framework/AppendLine.h"

namespace {

std::wstring Widen(const std::string& utf8) {
    if (utf8.empty())
        return {};
    const int size =
        ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
    std::wstring wide(static_cast<size_t>(size), L'\0');
    ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(), size);
    return wide;
}

std::string Failure(const char* call, const std::string& path) {
    return std::string(call) + " failed for " + path + " with error " + std::to_string(::GetLastError());
}

}  // namespace

bool AppendLineToFile(const std::string& path, const std::string& line, std::string& error) {
    const std::string text = line + "\n";
    HANDLE file = ::CreateFileW(Widen(path).c_str(), FILE_APPEND_DATA, FILE_SHARE_READ | FILE_SHARE_WRITE,
                                nullptr, OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
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
