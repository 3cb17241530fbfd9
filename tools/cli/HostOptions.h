// The options of the commands that talk to a device: test, program and firmware.
#pragma once

#include <chrono>
#include <string>

#include "tools/cli/Commands.h"

struct HostOptions {
    std::string port;  // as given: COM3, 3 or a device path
    std::string file;
    int address = 1;
    std::chrono::seconds timeout{30};
    bool highSpeed = false;
    bool json = false;
    bool debug = false;
    bool trace = false;
    bool help = false;

    enum class Kind { Test, Program, Firmware };

    // False with `error` set for bad arguments.
    static bool Parse(Kind kind, const CommandArgs& args, HostOptions& out, std::string& error);
    static const char* Usage(Kind kind);
};
