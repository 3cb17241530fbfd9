// One host frame as the simulated device has found it in the byte stream.
#pragma once

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

using SimClock = std::chrono::steady_clock;
using SimTime = SimClock::time_point;

enum class SimFrameKind { Trigger, ModelQuery, StatusQuery, Verify, DataBlock };

struct SimFrame {
    SimFrameKind kind = SimFrameKind::Trigger;
    std::vector<uint8_t> bytes;  // the whole frame, CRC included
    SimTime firstByteTime{};     // when its first byte was read; wire-time pacing counts from here
};

inline const char* SimFrameKindName(SimFrameKind kind) {
    switch (kind) {
        case SimFrameKind::Trigger:
            return "trigger";
        case SimFrameKind::ModelQuery:
            return "modelQuery";
        case SimFrameKind::StatusQuery:
            return "statusQuery";
        case SimFrameKind::Verify:
            return "verify";
        case SimFrameKind::DataBlock:
            return "dataBlock";
    }
    return "?";
}

// "01 69 00 65" for the --verbose lines.
inline std::string SimHex(const std::vector<uint8_t>& bytes) {
    std::string text;
    char digits[4];
    for (uint8_t byte : bytes) {
        std::snprintf(digits, sizeof(digits), "%02X ", byte);
        text += digits;
    }
    if (!text.empty())
        text.pop_back();
    return text;
}
