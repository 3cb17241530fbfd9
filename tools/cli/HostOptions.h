// The options of the commands that talk to a device: test, program and firmware.
#pragma once

#include <chrono>
#include <string>
#include <utility>
#include <vector>

#include "tools/cli/Commands.h"

struct HostOptions {
    // Every --port as given (COM3, 3 or a device path), in order; a session uses the first.
    std::vector<std::string> ports;
    // --ports FIRST-LAST: COM numbers, 0 when not given.
    int rangeFirst = 0;
    int rangeLast = 0;
    bool allPorts = false;
    std::string file;
    std::string record;  // --record: the station record to append a line to
    int address = 1;
    int expect = -1;     // --expect N: the number of devices that must be present; -1 when not given
    bool force = false;  // --force: send a file whose name or content does not fit the command
    std::chrono::seconds timeout{30};
    bool highSpeed = false;
    bool json = false;
    bool debug = false;
    bool trace = false;
    bool help = false;
    // --loop (program, firmware): unit after unit on every port until interrupted.
    bool loop = false;
    // --loop-child: the single-port process a loop starts for each port; it speaks --json to it.
    bool loopChild = false;
    // --tag KEY=VALUE, in order: fields every record line of the run carries.
    std::vector<std::pair<std::string, std::string>> tags;

    enum class Kind { Test, Program, Firmware };

    // More than one device, or a set of ports named other than by a single --port.
    bool ManyPorts() const { return ports.size() > 1 || rangeFirst != 0 || allPorts; }

    // False with `error` set for bad arguments.
    static bool Parse(Kind kind, const CommandArgs& args, HostOptions& out, std::string& error);
    static const char* Usage(Kind kind);
    // The command's name on the command line, as diagnostics and JSON lines spell it.
    static const char* CommandName(Kind kind);
};
