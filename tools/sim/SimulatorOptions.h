// The settings of one simulated device, and how 'orvane-cli simulate' reads them from its
// arguments.
#pragma once

#include <chrono>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

// The faults of one unit: the device's own, or those --unit gives a unit of a fixture.
struct SimFaults {
    bool silent = false;
    bool strayByte = false;
    uint32_t wrongNumberAt = 0;
    uint32_t wrongCountAt = 0;
    uint32_t dropAckAt = 0;
    uint32_t hangupAt = 0;
};

struct SimulatorOptions {
    int port = 0;  // 0: the lowest free COM number from kLowestDefaultPort up
    std::string modelGbk = "ORV-SIM";
    uint8_t statusCode = 0;
    std::chrono::milliseconds switchDelay{250};
    std::chrono::milliseconds ackDelay{0};
    std::chrono::milliseconds recoverDelay{200};
    bool pace = false;
    bool verbose = false;
    std::string saveFile;
    std::string summaryFile;

    // Faults. K counts the data blocks of a session from 1; 0 means off. Each fires once a run.
    bool silent = false;
    bool strayByte = false;
    uint32_t wrongNumberAt = 0;
    uint32_t wrongCountAt = 0;
    uint32_t dropAckAt = 0;
    uint32_t hangupAt = 0;

    // A fixture (--units K --swap S): after each update the unit is taken out, the line stays silent
    // for `swap`, and the next unit answers; after K units the fixture stays empty. 0: one device
    // that is never taken out.
    uint32_t units = 0;
    std::chrono::milliseconds swap{3000};
    bool swapGiven = false;
    // --unit U:OPTION: the faults of unit U (from 1) instead of the device's.
    std::map<uint32_t, SimFaults> unitFaults;

    SimFaults Faults() const { return {silent, strayByte, wrongNumberAt, wrongCountAt, dropAckAt, hangupAt}; }

    static constexpr int kLowestDefaultPort = 9;
    static constexpr int kHighestPort = 256;

    // Reads the arguments after "simulate" ("--name value" or "--name=value"). Returns false with one
    // line in `error` for bad ones, a single-value option given twice among them;
    // `help` is set when --help was asked for; arguments it does not know are then let pass.
    static bool Parse(const std::vector<std::string>& args, SimulatorOptions& out, bool& help,
                      std::string& error);
    static const char* Usage();

    // Reads the arguments of 'simulate --count N': the options every device shares, plus
    // "--device K:OPTION" for device K alone (K from 1; OPTION "--name", "--name=value" or
    // "--name value" in one argument), which overrides a shared one. Without --count it is one
    // device, as Parse reads it. The result has one entry per device; a shared --port N puts them on
    // N, N+1, ... An option other than --device given twice to one device is refused.
    static bool ParseMany(const std::vector<std::string>& args, std::vector<SimulatorOptions>& out,
                          bool& help, std::string& error);
    static constexpr int kMaxCount = 64;
};
