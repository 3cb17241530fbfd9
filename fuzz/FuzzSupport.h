// What the fuzz targets share: a check that stops the run where an invariant breaks, and the
// conversion of raw input into an argument vector.
#pragma once

#include <sanitizer/common_interface_defs.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

// The runs close the targets' stdout and stderr to keep the tools' own messages out of the log, so
// the failure goes through the sanitizer's report channel, which the fuzzer keeps open.
#define FUZZ_CHECK(condition)                                                               \
    do {                                                                                    \
        if (!(condition)) {                                                                 \
            __sanitizer_report_error_summary("fuzz check failed at " __FILE__               \
                                             ":" FUZZ_STRINGIFY(__LINE__) ": " #condition); \
            std::abort();                                                                   \
        }                                                                                   \
    } while (0)
#define FUZZ_STRINGIFY(x) FUZZ_STRINGIFY_(x)
#define FUZZ_STRINGIFY_(x) #x

// Each argument ends with a NUL byte; a last piece without one counts too unless it is empty, so
// "a\0b" and "a\0b\0" are both {"a", "b"} and "a\0\0" is {"a", ""}.
inline std::vector<std::string> SplitArguments(const uint8_t* data, size_t size) {
    std::vector<std::string> args;
    size_t start = 0;
    for (size_t i = 0; i < size; ++i) {
        if (data[i] == 0) {
            args.emplace_back(reinterpret_cast<const char*>(data + start), i - start);
            start = i + 1;
        }
    }
    if (start < size)
        args.emplace_back(reinterpret_cast<const char*>(data + start), size - start);
    return args;
}

// A private folder under $TMPDIR (else /dev/shm, else /tmp) for the targets that need files, made once per
// process and removed at exit.
const std::string& FuzzTempDir();
// Replaces the file's contents with the bytes; aborts the run when it cannot.
void WriteFuzzFile(const std::string& path, const uint8_t* data, size_t size);
