// Fuzz target: 'orvane-cli image' (RunImage) on arbitrary argument vectors, split on NUL bytes. The
// command has no parser of its own to call, so the whole command runs, kept inside a private
// folder: an argument "@NAME" stands for the file NAME there (payload.bin, empty.bin and image.trs
// are provided), and every value after -o or --output is turned into a name in that folder too, so
// no run can write anywhere else. Paths outside the folder are only ever read.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <set>
#include <string>
#include <vector>

#include "framework/CString.h"
#include "fuzz/FuzzSupport.h"
#include "tools/cli/Commands.h"
#include "update/FirmwareFile.h"

int RunImage(const CommandArgs& args);

namespace {

const uint8_t kPayload[] = {'a', 'b', 'c'};

const std::string& WorkDir() {
    static const std::string dir = [] {
        const std::string path = FuzzTempDir() + "/image-command";
        std::filesystem::create_directory(path);
        return path;
    }();
    return dir;
}

// A name inside the work folder: no separators, and never "." or "..".
std::string InWorkDir(const std::string& name) {
    std::string safe = name;
    for (char& c : safe) {
        if (c == '/')
            c = '_';
    }
    if (safe == "." || safe == "..")
        safe = "_";
    return WorkDir() + "/" + safe;
}

// Removes what the last run wrote and puts the provided files back.
void ResetWorkDir() {
    std::error_code ignored;
    for (const auto& entry : std::filesystem::directory_iterator(WorkDir(), ignored))
        std::filesystem::remove_all(entry.path(), ignored);
    std::vector<uint8_t> image;
    FUZZ_CHECK(BuildFirmwareImage(kPayload, sizeof(kPayload), "ORV-FUZZ", image));
    WriteFuzzFile(InWorkDir("image.trs"), image.data(), image.size());
    WriteFuzzFile(InWorkDir("payload.bin"), kPayload, sizeof(kPayload));
    WriteFuzzFile(InWorkDir("empty.bin"), nullptr, 0);
}

// Judged by the firmware engine's own loader. The output's name may be any bytes, which a CString
// path cannot carry, so the loader reads a copy under a plain name.
bool VerifiesWithPayload(const std::string& path) {
    std::FILE* in = std::fopen(path.c_str(), "rb");
    if (!in)
        return false;
    std::vector<uint8_t> bytes;
    uint8_t chunk[4096];
    for (size_t n; (n = std::fread(chunk, 1, sizeof(chunk), in)) > 0;)
        bytes.insert(bytes.end(), chunk, chunk + n);
    std::fclose(in);
    const std::string copy = FuzzTempDir() + "/written.trs";
    WriteFuzzFile(copy, bytes.data(), bytes.size());
    FirmwareFile file;
    return file.Load(CString::FromUtf8(copy)) && file.Verify() && file.GetPayload(nullptr) > 0;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ResetWorkDir();
    const CommandArgs given = SplitArguments(data, size);
    CommandArgs args = given;
    std::set<std::string> outputs;
    bool mayBeHelp = false;
    for (size_t i = 0; i < given.size(); ++i) {
        mayBeHelp = mayBeHelp || given[i] == "--help" || given[i] == "-h";
        const std::string name = given[i].rfind('@', 0) == 0 ? given[i].substr(1) : given[i];
        // Decided on the given text alone: a confined argument never reads as -o afterwards, so
        // whatever the command takes as its output has been confined.
        if (i > 0 && (given[i - 1] == "-o" || given[i - 1] == "--output") && !given[i].empty()) {
            args[i] = InWorkDir(name);
            outputs.insert(args[i]);
        } else if (given[i].size() > 1 && given[i][0] == '@') {
            args[i] = InWorkDir(name);
        }
    }

    const int rc = RunImage(args);
    FUZZ_CHECK(rc == kExitOk || rc == kExitFailed || rc == kExitUsage);
    // A pack that succeeded has written an image that the firmware engine would accept.
    if (rc == kExitOk && !args.empty() && args[0] == "pack" && !mayBeHelp) {
        bool verified = false;
        for (const std::string& output : outputs)
            verified = verified || VerifiesWithPayload(output);
        FUZZ_CHECK(verified);
    }
    return 0;
}
