// The JSON summary of what the simulated device received, for tests and for the trainer's eye.
#pragma once

#include <string>

#include "tools/sim/SimReport.h"

class SimulatorSummary {
public:
    static std::string ToJson(const SimReport& report);
    static const char* ModeName(SimTransferMode mode);
};
