// What the host commands check about the file before any device is touched, and what the station
// record says about it: whether the engine accepts it, its payload's size and blocks, and the
// SHA-256 of the file as it lies on disk.
#pragma once

#include <cstdint>
#include <string>

#include "tools/cli/HostOptions.h"

struct UpdateFileInfo {
    std::string path;  // absolute
    uint64_t fileBytes = 0;
    uint32_t payloadBytes = 0;
    uint32_t blocks = 0;
    std::string sha256;  // lower-case hex
    std::string model;   // a firmware image's chip model, from its header
    std::string error;   // why the file cannot be sent (the engine's own words when it refused it)
    // The same as a stable code: "file-missing", "file-is-folder", "file-misfit", "file-refused" (by
    // the engine) or "file-unreadable".
    std::string errorCode;
};

// Loads `path` with the engine of `kind` (Program or Firmware), as the window would. False with
// `info.error` set when the file is missing, a folder, unreadable or refused, or (unless `force`)
// does not fit the command: a name other than .tr3 for a program or .trs for a firmware image, or a
// program that begins like a firmware image.
bool InspectUpdateFile(HostOptions::Kind kind, const std::string& path, bool force, UpdateFileInfo& info);
