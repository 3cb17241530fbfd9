// The surroundings an update engine runs in, for tests: a SerialPort opened as COM5 on a real pty,
// the address record, a log sink and the console diagnostics. The test reads what the engine
// wrote from the pty master, as the device would, and hands it replies as parsed frames.
#pragma once

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "framework/CommApi.h"
#include "framework/Log.h"
#include "protocol/Protocol.h"
#include "serial/SerialPort.h"
#include "tests/support/DiagCapture.h"
#include "tests/support/Pty.h"
#include "tests/support/TempRegistry.h"
#include "tests/support/TestOwner.h"
#include "update/BaseUpdate.h"

struct LogLine {
    LOG_LEVEL level;
    CString text;
    friend bool operator==(const LogLine&, const LogLine&) = default;
};
void PrintTo(const LogLine& line, std::ostream* os);

class EngineHarness {
public:
    explicit EngineHarness(CommApi& api = TestCommApi());

    // Links the engine to the port, the address record and (optionally) the log.
    void Attach(BaseUpdate& engine, bool withLog = true);
    // Exactly `count` bytes written by the engine (fewer if they do not come within 5 s).
    std::vector<uint8_t> Sent(size_t count);
    bool NothingSent();
    std::filesystem::path WriteFile(const std::string& name, const std::vector<uint8_t>& bytes);
    static CString PathText(const std::filesystem::path& path);
    // The log without the hex dumps of sent frames.
    std::vector<LogLine> Lines() const;
    // The last `count` of Lines().
    std::vector<LogLine> LastLines(size_t count) const;
    // The rate of the line in baud.
    DWORD LineSpeed() const;

    DiagCapture diag;
    TempRegistry registry;
    Pty pty;
    TestOwner owner;
    SerialPort port;
    ProtocolConfig protocol;
    std::vector<LogLine> log;
};

std::vector<uint8_t> WithCrc(std::vector<uint8_t> bytes);
// A device reply as the receive path would deliver it.
DeviceFrame Reply(const std::vector<uint8_t>& bytesWithCrc);
DeviceFrame BlockAck(uint16_t number, uint16_t count);
DeviceFrame ModelReply(const std::string& ansiText);
DeviceFrame StatusReply(uint8_t status);
// A data block frame put together byte by byte.
std::vector<uint8_t> DataBlock(uint16_t number, uint16_t count, const uint8_t* data, size_t n,
                               uint8_t address = 1);
std::vector<uint8_t> Payload(size_t size, uint8_t seed);

extern const std::vector<uint8_t> kTriggerFrame;
