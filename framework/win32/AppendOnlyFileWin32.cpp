// AppendOnlyFile on Windows: a handle opened with only FILE_APPEND_DATA writes every WriteFile at
// the end of the file as one piece, whoever else appends at the same time.
#include <windows.h>

#include "framework/AppendOnlyFile.h"
#include "framework/CString.h"
#include "framework/TextTranslator.h"

namespace {

std::string Failure(const char* call, const std::string& path) {
    return FormatText(TranslateText("%s failed for %s with error %lu"), call, path.c_str(),
                      static_cast<unsigned long>(::GetLastError()));
}

}  // namespace

AppendOnlyFile::~AppendOnlyFile() {
    Close();
}

bool AppendOnlyFile::Open(const std::string& path, std::string& error) {
    Close();
    HANDLE file = ::CreateFileW(CString::FromUtf8(path).GetString(), FILE_APPEND_DATA,
                                FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_ALWAYS,
                                FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
        error = Failure("CreateFileW", path);
        return false;
    }
    m_handle = reinterpret_cast<intptr_t>(file);
    m_path = path;
    return true;
}

bool AppendOnlyFile::AppendLine(const std::string& line, std::string& error) {
    if (!IsOpen()) {
        error = TranslateText("the file is not open");
        return false;
    }
    const std::string text = line + "\n";
    DWORD written = 0;
    const BOOL wrote = ::WriteFile(reinterpret_cast<HANDLE>(m_handle), text.data(),
                                   static_cast<DWORD>(text.size()), &written, nullptr);
    // A partial write would leave half a line that the next writer's line would continue.
    if (wrote && written == text.size())
        return true;
    error = wrote ? FormatText(TranslateText("WriteFile wrote only part of the line to %s"), m_path.c_str())
                  : Failure("WriteFile", m_path);
    return false;
}

void AppendOnlyFile::Close() {
    if (IsOpen())
        ::CloseHandle(reinterpret_cast<HANDLE>(m_handle));
    m_handle = kClosed;
}
