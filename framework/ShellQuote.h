// An argument quoted for the system's own command shell, so that a command line the program prints
// can be pasted back as it stands: POSIX shells on Linux, cmd.exe's rules on Windows.
#pragma once

#include <string>

// `argument` (UTF-8) as one word of a command line; unchanged when nothing in it needs quoting.
std::string ShellQuoted(const std::string& argument);
