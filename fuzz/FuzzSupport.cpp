// Temporary files for the fuzz targets.
#include "fuzz/FuzzSupport.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>

namespace {

// The file targets write and read a file on every run: on a disk busy with builds that alone can
// cost milliseconds, so memory-backed /dev/shm comes before /tmp unless TMPDIR says otherwise.
std::string BaseDir() {
    if (const char* dir = std::getenv("TMPDIR"); dir && *dir)
        return dir;
    if (::access("/dev/shm", W_OK | X_OK) == 0)
        return "/dev/shm";
    return "/tmp";
}

class TempDir {
public:
    TempDir() {
        std::string pattern = BaseDir() + "/orvane-fuzz-XXXXXX";
        FUZZ_CHECK(::mkdtemp(pattern.data()) != nullptr);
        m_path = pattern;
    }
    ~TempDir() {
        std::error_code ignored;
        std::filesystem::remove_all(m_path, ignored);
    }
    const std::string& Path() const { return m_path; }

private:
    std::string m_path;
};

}  // namespace

const std::string& FuzzTempDir() {
    static const TempDir dir;
    return dir.Path();
}

void WriteFuzzFile(const std::string& path, const uint8_t* data, size_t size) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    FUZZ_CHECK(file != nullptr);
    FUZZ_CHECK(size == 0 || std::fwrite(data, 1, size, file) == size);
    FUZZ_CHECK(std::fclose(file) == 0);
}
