// IsTerminal on Windows: a standard handle is a console when the console will tell its mode.
#include <windows.h>

#include "framework/ConsoleDiagnostics.h"

bool IsTerminal(ConsoleStream stream) {
    HANDLE handle = ::GetStdHandle(stream == ConsoleStream::Output ? STD_OUTPUT_HANDLE : STD_ERROR_HANDLE);
    DWORD mode = 0;
    return handle != nullptr && handle != INVALID_HANDLE_VALUE && ::GetConsoleMode(handle, &mode) != FALSE;
}
