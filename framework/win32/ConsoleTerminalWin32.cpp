// The standard streams on Windows. A standard handle is a console when the console will tell its
// mode. Text for a console goes through WriteConsoleW, so Chinese reads right whatever the
// console's output code page (which belongs to the shell and is never changed here); for a file or
// a pipe the UTF-8 bytes are written as they are, so the whole stream is UTF-8.
//
// Progress redrawn in place uses escape sequences, which a console interprets only with virtual-
// terminal processing on. It is turned on the first time a stream is asked about, and the console's
// mode is put back at exit; a console that refuses it (older than Windows 10) counts as no terminal,
// so nothing is redrawn and no escape reaches it.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

#include "framework/ConsoleDiagnostics.h"
#include "framework/ConsoleText.h"

namespace {

HANDLE StandardHandle(ConsoleStream stream) {
    return ::GetStdHandle(stream == ConsoleStream::Output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
}

bool IsConsole(HANDLE handle) {
    DWORD mode = 0;
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && ::GetConsoleMode(handle, &mode) != FALSE;
}

struct TerminalState {
    bool asked = false;
    bool terminal = false;
    HANDLE handle = nullptr;
    DWORD originalMode = 0;
    bool changed = false;
};

std::mutex g_terminalMutex;
TerminalState g_terminals[2];

void RestoreConsoleModes() {
    std::lock_guard<std::mutex> lock(g_terminalMutex);
    for (const TerminalState& state : g_terminals) {
        if (state.changed)
            ::SetConsoleMode(state.handle, state.originalMode);
    }
}

}  // namespace

bool IsTerminal(ConsoleStream stream) {
    std::lock_guard<std::mutex> lock(g_terminalMutex);
    TerminalState& state = g_terminals[stream == ConsoleStream::Output ? 0 : 1];
    if (state.asked)
        return state.terminal;
    state.asked = true;
    state.handle = StandardHandle(stream);
    DWORD mode = 0;
    if (state.handle == nullptr || state.handle == INVALID_HANDLE_VALUE ||
        !::GetConsoleMode(state.handle, &mode))
        return false;
    if (mode & ENABLE_VIRTUAL_TERMINAL_PROCESSING) {
        state.terminal = true;
        return true;
    }
    if (!::SetConsoleMode(state.handle, mode | ENABLE_VIRTUAL_TERMINAL_PROCESSING))
        return false;
    static const bool restoreRegistered = std::atexit(RestoreConsoleModes) == 0;
    (void)restoreRegistered;
    state.originalMode = mode;
    state.changed = true;
    state.terminal = true;
    return true;
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
    if (IsConsole(handle)) {
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
