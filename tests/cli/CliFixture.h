// What the end-to-end tests of orvane-cli share: a private port registry and hardware tree for the
// test and every process it starts, a simulated device run as its own process, and the files the
// host sends.
#pragma once

#include <gtest/gtest.h>

#include <chrono>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include "tests/cli/CliProcess.h"
#include "tests/support/TempRegistry.h"

using Bytes = std::vector<uint8_t>;

// Long enough for any host run of a few hundred blocks; a hung process fails the test instead of
// the whole suite.
constexpr std::chrono::milliseconds kHostRunLimit{30000};

inline bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

inline size_t Count(const std::string& text, const std::string& part) {
    size_t count = 0;
    for (size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++count;
    return count;
}

// 'orvane-cli simulate' with the given options, listening once constructed (see Ready()). With
// --count N among the options, pass N as `devices`: Ports() then holds every device's port.
class SimulatedDevice {
public:
    explicit SimulatedDevice(const std::vector<std::string>& options = {}, size_t devices = 1);

    bool Ready() const { return !m_port.empty(); }
    const std::string& Port() const { return m_port; }  // as announced, e.g. "COM9"
    const std::vector<std::string>& Ports() const { return m_ports; }
    const std::vector<std::string>& Devices() const { return m_devices; }
    const std::string& Device() const { return m_device; }
    // Waits for the next READY line, which follows a hang-up once the line is back.
    bool AwaitReady(std::chrono::milliseconds timeout = std::chrono::seconds(5));
    // Stops the device's process until Resume(): what the host sends waits on the line and nothing
    // answers, however long the test takes meanwhile.
    void Pause();
    void Resume();
    // Ends it as a user would, with SIGTERM; the payload and summary files are written by then.
    int Stop();
    const std::string& Err() const { return m_process.Err(); }

private:
    CliProcess m_process;
    std::string m_port;
    std::string m_device;
    std::vector<std::string> m_ports;
    std::vector<std::string> m_devices;
};

class CliTest : public ::testing::Test {
protected:
    std::filesystem::path Path(const std::string& name) const { return registry.Root() / name; }
    std::string Write(const std::string& name, const Bytes& bytes) const;
    static Bytes Read(const std::filesystem::path& path);
    // Reproducible bytes that are not a pattern a shifted or repeated block would still match.
    static Bytes RandomBytes(size_t count, uint32_t seed = 1);
    // A valid firmware image of `payload` for devices of `model`.
    std::string Image(const std::string& name, const Bytes& payload,
                      const std::string& model = "ORV-SIM") const;
    // A number from the simulator's JSON summary, e.g. "dataFrames"; -1 when it is not there.
    static long SummaryNumber(const std::filesystem::path& summary, const std::string& key);

    TempRegistry registry;
};
