// The standard streams on POSIX: isatty on the stream's descriptor; text goes out as UTF-8 bytes,
// which is what a terminal here expects.
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstdio>

#include "framework/ConsoleDiagnostics.h"
#include "framework/ConsoleText.h"

bool IsTerminal(ConsoleStream stream) {
    return ::isatty(stream == ConsoleStream::Output ? STDOUT_FILENO : STDERR_FILENO) != 0;
}

int TerminalColumns(ConsoleStream stream) {
    winsize size{};
    if (::ioctl(stream == ConsoleStream::Output ? STDOUT_FILENO : STDERR_FILENO, TIOCGWINSZ, &size) != 0)
        return 0;
    return size.ws_col;
}

void WriteConsoleText(ConsoleStream stream, std::string_view utf8) {
    FILE* f = stream == ConsoleStream::Output ? stdout : stderr;
    std::fwrite(utf8.data(), 1, utf8.size(), f);
    std::fflush(f);
}
