// The command line as UTF-8 strings, and file paths from them. On Windows the narrow argv is in the
// ANSI code page, which cannot hold every name; the Win32 build reads the wide command line instead.
#pragma once

#include <filesystem>
#include <string>

#include "tools/cli/Commands.h"

// Every argument after the program's name, as UTF-8.
CommandArgs ProgramArguments(int argc, char** argv);

// A path from UTF-8 text, and back, the same on every platform.
inline std::filesystem::path PathFromUtf8(const std::string& text) {
    return std::filesystem::path(std::u8string(text.begin(), text.end()));
}
inline std::string Utf8FromPath(const std::filesystem::path& path) {
    const std::u8string text = path.u8string();
    return std::string(text.begin(), text.end());
}
