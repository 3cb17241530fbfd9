// The files of the image tool: a whole-file reader and writer that name the failing system call in
// every error. Paths are UTF-8 on every platform. POSIX and Win32 implementations, chosen by CMake.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

class InputFile {
public:
    InputFile();
    ~InputFile();
    InputFile(const InputFile&) = delete;
    InputFile& operator=(const InputFile&) = delete;

    // Refuses folders and anything that is not a regular file.
    bool Open(const std::string& path);
    // Reads exactly `count` bytes from where the last read ended.
    bool Read(uint8_t* buffer, size_t count);
    uint64_t Size() const { return m_size; }
    // Whether `path` names the open file itself, however spelt or linked (a hard link, a symbolic
    // link, another way to the same folder). False when `path` does not exist.
    bool IsSameFile(const std::string& path) const;
    const std::string& Error() const { return m_error; }

private:
    bool Fail(const char* call);

    struct Handle;
    std::unique_ptr<Handle> m_handle;
    uint64_t m_size = 0;
    std::string m_path;
    std::string m_error;
};

// Writes the file whole; on any failure nothing half-written is left behind.
bool WriteWholeFile(const std::string& path, const std::vector<uint8_t>& bytes, std::string& error);
