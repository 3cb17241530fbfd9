// Fuzz target: the argument parser of 'orvane-cli simulate'. The input, split on NUL bytes, is the
// argument vector after the command's name.
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "tools/sim/SimReplies.h"
#include "tools/sim/SimulatorOptions.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::vector<std::string> args = SplitArguments(data, size);
    SimulatorOptions options;
    bool help = false;
    std::string error;
    const bool ok = SimulatorOptions::Parse(args, options, help, error);
    FUZZ_CHECK(ok == error.empty());
    if (!ok || help)
        return 0;
    // The simulator uses these without checking them again.
    FUZZ_CHECK(options.port >= 0 && options.port <= SimulatorOptions::kHighestPort);
    FUZZ_CHECK(options.modelGbk.size() <= SimReplies::kMaxModelBytes);
    for (std::chrono::milliseconds delay : {options.switchDelay, options.ackDelay, options.recoverDelay})
        FUZZ_CHECK(delay >= std::chrono::milliseconds(0) && delay <= std::chrono::minutes(10));
    for (uint32_t at : {options.wrongNumberAt, options.wrongCountAt, options.dropAckAt, options.hangupAt})
        FUZZ_CHECK(at <= 65535);
    return 0;
}
