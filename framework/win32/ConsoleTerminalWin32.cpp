// The standard streams on Windows. A standard handle is a console when the console will tell its
// mode. Text for a console goes through WriteConsoleW, so Chinese reads right whatever the
// console's output code page; for a file or a pipe the UTF-8 bytes are written as they are.
#include <windows.h>

#include <cstdio>
#include <string>

#include "framework/ConsoleDiagnostics.h"
#include "framework/ConsoleText.h"

namespace {

HANDLE StandardHandle(ConsoleStream stream) {
    return ::GetStdHandle(stream == ConsoleStream::Output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
}

}  // namespace

bool IsTerminal(ConsoleStream stream) {
    HANDLE handle = StandardHandle(stream);
    DWORD mode = 0;
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && ::GetConsoleMode(handle, &mode) != FALSE;
}

int TerminalColumns(ConsoleStream stream) {
    CONSOLE_SCREEN_BUFFER_INFO info{};
    if (!::GetConsoleScreenBufferInfo(StandardHandle(stream), &info))
        return 0;
    return info.srWindow.Right - info.srWindow.Left + 1;
}

void WriteConsoleText(ConsoleStream stream, std::string_view utf8) {
    FILE* f = stream == ConsoleStream::Output ? stdout : stderr;
    // Whatever the C library still holds must go first, so the order of the stream is kept.
    std::fflush(f);
    HANDLE handle = StandardHandle(stream);
    DWORD mode = 0;
    if (handle != nullptr && handle != INVALID_HANDLE_VALUE && ::GetConsoleMode(handle, &mode) != FALSE) {
        const int length =
            ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), nullptr, 0);
        if (length > 0) {
            std::wstring wide(static_cast<size_t>(length), L'\0');
            ::MultiByteToWideChar(CP_UTF8, 0, utf8.data(), static_cast<int>(utf8.size()), wide.data(),
                                  length);
            DWORD written = 0;
            ::WriteConsoleW(handle, wide.data(), static_cast<DWORD>(wide.size()), &written, nullptr);
        }
        return;
    }
    std::fwrite(utf8.data(), 1, utf8.size(), f);
    std::fflush(f);
}
