// Fuzz target: the argument parser of 'orvane-cli test', 'program' and 'firmware'. The input, split
// on NUL bytes, is one argument vector, read as each of the three commands' arguments.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>

#include "fuzz/FuzzSupport.h"
#include "tools/cli/HostOptions.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const CommandArgs args = SplitArguments(data, size);
    for (HostOptions::Kind kind :
         {HostOptions::Kind::Test, HostOptions::Kind::Program, HostOptions::Kind::Firmware}) {
        HostOptions options;
        std::string error;
        const bool ok = HostOptions::Parse(kind, args, options, error);
        if (!ok) {
            FUZZ_CHECK(!error.empty());
            continue;
        }
        const char* usage = HostOptions::Usage(kind);
        FUZZ_CHECK(usage != nullptr && usage[0] != '\0');
        if (options.help)
            continue;
        // What the commands go on to use must be within the documented ranges.
        // At least one way of naming the devices; what a name means is for the port lookup to say.
        FUZZ_CHECK(!options.ports.empty() || options.rangeFirst != 0 || options.allPorts);
        FUZZ_CHECK(options.rangeFirst <= options.rangeLast);
        FUZZ_CHECK(options.address >= 0 && options.address <= 255);
        FUZZ_CHECK(options.expect == -1 || (options.expect >= 1 && options.expect <= 256));
        FUZZ_CHECK(options.rangeLast <= 256);
        FUZZ_CHECK(options.timeout >= std::chrono::seconds(1) && options.timeout <= std::chrono::hours(24));
        FUZZ_CHECK(options.file.empty() == (kind == HostOptions::Kind::Test));
        FUZZ_CHECK(!options.highSpeed || kind == HostOptions::Kind::Firmware);
    }
    return 0;
}
