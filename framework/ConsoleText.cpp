#include "framework/ConsoleText.h"

#include <cstdarg>
#include <cstdio>
#include <string>

void ConsolePrintf(ConsoleStream stream, const char* format, ...) {
    va_list args;
    va_start(args, format);
    va_list copy;
    va_copy(copy, args);
    const int length = std::vsnprintf(nullptr, 0, format, copy);
    va_end(copy);
    if (length > 0) {
        std::string text(static_cast<size_t>(length) + 1, '\0');
        std::vsnprintf(text.data(), text.size(), format, args);
        text.resize(static_cast<size_t>(length));
        WriteConsoleText(stream, text);
    }
    va_end(args);
}
