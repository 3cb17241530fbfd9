// What the simulated device has seen so far: the material of the JSON summary.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tools/sim/VerifyRecordCheck.h"

enum class SimTransferMode { None, Firmware, Program };

// One unit of a fixture (simulate --units): how often an update of it began and completed.
struct SimUnitReport {
    uint32_t unit = 0;  // from 1
    uint32_t transfersStarted = 0;
    uint32_t transfersCompleted = 0;
    std::string payloadSha256;  // of its last transfer
};

struct SimReport {
    std::map<std::string, uint64_t> framesByKind;  // every kind is present, zero or not
    uint64_t badFrames = 0;
    uint64_t skippedBytes = 0;

    // The last transfer (the one in progress, or the last one a session started).
    SimTransferMode mode = SimTransferMode::None;
    uint32_t blocksReceived = 0;  // distinct block numbers
    uint32_t blocksExpected = 0;
    uint32_t dataFrames = 0;  // data block frames, re-sends included
    uint32_t duplicateBlocks = 0;
    uint32_t numberingErrors = 0;
    uint32_t countMismatches = 0;
    bool complete = false;
    std::optional<VerifyRecordResult> record;  // firmware transfers announce one
    std::vector<uint8_t> payload;

    uint32_t transfersCompleted = 0;
    uint32_t lastRate = 0;
    // From the arrival of the last model query that announced 115200 to the moment the host's end
    // of the line showed 115200; empty when no such switch was seen.
    std::optional<std::chrono::steady_clock::duration> hostSwitchGap;

    // A fixture's units so far, in order; empty for a plain device.
    std::vector<SimUnitReport> units;
};
