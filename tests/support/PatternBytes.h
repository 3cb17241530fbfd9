// Reproducible pseudo-random payloads for tests and benchmarks: the same seed gives the same bytes
// on every machine, so a failure can be replayed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

inline std::vector<uint8_t> PatternBytes(size_t count, uint32_t seed = 1) {
    std::vector<uint8_t> bytes(count);
    uint32_t state = seed * 2654435761u + 1;
    for (uint8_t& b : bytes) {
        state = state * 1103515245u + 12345u;
        b = static_cast<uint8_t>(state >> 16);
    }
    return bytes;
}
