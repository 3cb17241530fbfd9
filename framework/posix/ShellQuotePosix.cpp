// ShellQuoted for POSIX shells: single quotes, with a quote inside written as '\''.
#include "framework/ShellQuote.h"

std::string ShellQuoted(const std::string& argument) {
    const bool plain = !argument.empty() && argument.find_first_not_of(
                                                "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ"
                                                "0123456789_./:=@%+,-") == std::string::npos;
    if (plain)
        return argument;
    std::string quoted = "'";
    for (char c : argument) {
        if (c == '\'')
            quoted += "'\\''";
        else
            quoted += c;
    }
    return quoted + "'";
}
