// Appending one line to a log file that several processes write at once: the line goes out in a
// single append, so lines never interleave and none is lost.
#pragma once

#include <string>

// Adds `line` and a newline at the end of `path` (created if missing). False with `error` naming
// the failing call when the line could not be written whole.
bool AppendLineToFile(const std::string& path, const std::string& line, std::string& error);
