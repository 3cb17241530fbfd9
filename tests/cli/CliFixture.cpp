#include "tests/cli/CliFixture.h"

#include <signal.h>

#include <fstream>
#include <iterator>
#include <random>
#include <regex>

#include "update/FirmwareFile.h"

namespace {

constexpr std::chrono::milliseconds kStartLimit{5000};

// "READY COM9 /dev/pts/3" into its port and device; false for any other line.
bool ParseReady(const std::string& line, std::string& port, std::string& device) {
    static const std::regex ready(R"(READY (COM\d+) (\S+))");
    std::smatch match;
    if (!std::regex_match(line, match, ready))
        return false;
    port = match[1];
    device = match[2];
    return true;
}

}  // namespace

SimulatedDevice::SimulatedDevice(const std::vector<std::string>& options, size_t devices)
    : m_process([&] {
          std::vector<std::string> args = {"simulate"};
          args.insert(args.end(), options.begin(), options.end());
          return args;
      }()) {
    for (size_t i = 0; i < devices && AwaitReady(kStartLimit); ++i) {
        m_ports.push_back(m_port);
        m_devices.push_back(m_device);
    }
    if (m_ports.size() != devices) {
        m_port.clear();  // not Ready()
    } else if (!m_ports.empty()) {
        m_port = m_ports.front();
        m_device = m_devices.front();
    }
}

bool SimulatedDevice::AwaitReady(std::chrono::milliseconds timeout) {
    const std::optional<std::string> line = m_process.NextLine(timeout);
    return line && ParseReady(*line, m_port, m_device);
}

void SimulatedDevice::Pause() {
    m_process.Signal(SIGSTOP);
}

void SimulatedDevice::Resume() {
    m_process.Signal(SIGCONT);
}

int SimulatedDevice::Stop() {
    m_process.Signal(SIGTERM);
    return m_process.Wait(kStartLimit);
}

std::string CliTest::Write(const std::string& name, const Bytes& bytes) const {
    std::ofstream(Path(name), std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return Path(name).string();
}

Bytes CliTest::Read(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

Bytes CliTest::RandomBytes(size_t count, uint32_t seed) {
    std::mt19937 generator(seed);
    Bytes bytes(count);
    for (uint8_t& b : bytes)
        b = static_cast<uint8_t>(generator());
    return bytes;
}

std::string CliTest::Image(const std::string& name, const Bytes& payload, const std::string& model) const {
    Bytes image;
    EXPECT_TRUE(BuildFirmwareImage(payload.data(), static_cast<uint32_t>(payload.size()), model, image));
    return Write(name, image);
}

long CliTest::SummaryNumber(const std::filesystem::path& summary, const std::string& key) {
    std::ifstream in(summary);
    const std::string json(std::istreambuf_iterator<char>(in), {});
    const std::regex field("\"" + key + "\": (\\d+)");
    std::smatch match;
    return std::regex_search(json, match, field) ? std::stol(match[1]) : -1;
}
