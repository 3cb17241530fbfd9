// The station record: one JSON line per device run, appended to a file that a production line
// keeps. It is opened before anything is sent, so a destination that cannot be written stops the
// run before it starts; a single-port run and a station's gathering process write the same line.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <utility>
#include <vector>

#include "framework/AppendOnlyFile.h"
#include "tools/cli/HostOptions.h"
#include "tools/cli/UpdateFile.h"

class StationRecord {
public:
    struct Entry {
        std::time_t startedAt = 0;  // when the run began
        std::string port;           // "COM9", or the argument as given when it named no port
        std::string device;         // the device node behind it
        std::string model;
        HostOptions::Kind kind = HostOptions::Kind::Test;
        const UpdateFileInfo* file = nullptr;  // program and firmware runs
        bool highSpeed = false;
        std::string result;  // "completed", "timeout", "interrupted", "crashed", ...
        int exitCode = 0;
        std::string reason;      // empty when it completed
        std::string reasonCode;  // the reason for scripts, the same in every language
        uint32_t blocks = 0;     // blocks the device acknowledged
        double seconds = 0;
        std::time_t endedAt = 0;
        std::string runId;  // shared by every line of one run or loop
        uint32_t unit = 0;  // in a loop, the unit's number on its port (from 1); 0 otherwise
        const std::vector<std::pair<std::string, std::string>>* tags = nullptr;  // --tag KEY=VALUE
    };

    // A new run id: the start time and a random part, e.g. "20261207T201648Z-3f9a61c2".
    static std::string NewRunId();
    // The keys a line has of its own, which a --tag may not take.
    static bool IsOwnKey(const std::string& key);

    // Nothing to do without a path; else false with `error` saying why it cannot be appended to.
    bool Open(const std::string& path, std::string& error);
    bool IsOpen() const { return m_file.IsOpen(); }
    // Writes `entry`'s line; false with `error` when it did not reach the file whole.
    bool Append(const Entry& entry, std::string& error);

    static std::string Line(const Entry& entry);

private:
    AppendOnlyFile m_file;
};
