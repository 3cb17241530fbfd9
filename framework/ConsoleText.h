// A console program's own text on its standard streams. Every piece is UTF-8. On a terminal or a
// console it must read right whatever the console's code page, so a backend may write it through
// the console's own wide-character call; into a file or a pipe the bytes go out unchanged, UTF-8
// throughout the stream.
#pragma once

#include <string_view>

#include "framework/ConsoleDiagnostics.h"

// MinGW's "printf" attribute checks Microsoft's conventions, while the formatting below is the
// standard one (MinGW's ANSI stdio, which C++ turns on), and that is what "gnu_printf" names there.
// Clang knows only "printf".
#if defined(__MINGW32__)
#define ORVANE_PRINTF_FORMAT(formatIndex, firstArgument) \
    __attribute__((format(gnu_printf, formatIndex, firstArgument)))
#else
#define ORVANE_PRINTF_FORMAT(formatIndex, firstArgument) \
    __attribute__((format(printf, formatIndex, firstArgument)))
#endif

// Writes `utf8` as it is (no newline added) and flushes the stream.
void WriteConsoleText(ConsoleStream stream, std::string_view utf8);

// printf-style formatting into WriteConsoleText.
void ConsolePrintf(ConsoleStream stream, const char* format, ...) ORVANE_PRINTF_FORMAT(2, 3);
