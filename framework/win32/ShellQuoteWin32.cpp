// ShellQuoted for Windows: double quotes as CommandLineToArgvW and the C runtime read them, with
// backslashes doubled only where a quote follows them.
#include "framework/ShellQuote.h"

std::string ShellQuoted(const std::string& argument) {
    if (!argument.empty() && argument.find_first_of(" \t\"&|<>^%()") == std::string::npos)
        return argument;
    std::string quoted = "\"";
    size_t backslashes = 0;
    for (char c : argument) {
        if (c == '\\') {
            ++backslashes;
            continue;
        }
        quoted.append(c == '"' ? backslashes * 2 + 1 : backslashes, '\\');
        backslashes = 0;
        quoted += c;
    }
    quoted.append(backslashes * 2, '\\');
    return quoted + "\"";
}
