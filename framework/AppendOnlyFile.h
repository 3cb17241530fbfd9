// A log file that several processes append to at once, such as a station record: it is opened
// before the work starts, so that a destination that cannot be written is found before anything
// else happens, and every line goes out in a single append, so lines never interleave and none is
// lost.
#pragma once

#include <cstdint>
#include <string>

class AppendOnlyFile {
public:
    AppendOnlyFile() = default;
    ~AppendOnlyFile();
    AppendOnlyFile(const AppendOnlyFile&) = delete;
    AppendOnlyFile& operator=(const AppendOnlyFile&) = delete;

    // Opens `path` for appending, creating it when missing. False with `error` naming the failing
    // call and the reason (a missing folder, a folder, no permission).
    bool Open(const std::string& path, std::string& error);
    bool IsOpen() const { return m_handle != kClosed; }
    // Adds `line` and a newline at the end. False with `error` naming the failing call when the line
    // could not be written whole (a full disk, a device that takes nothing).
    bool AppendLine(const std::string& line, std::string& error);
    void Close();

private:
    static constexpr intptr_t kClosed = -1;
    intptr_t m_handle = kClosed;  // the descriptor (POSIX) or HANDLE (Windows)
    std::string m_path;
};
