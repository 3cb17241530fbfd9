#include "tests/update/EngineHarness.h"
#include "tests/support/PatternBytes.h"

#include <fstream>
#include <ostream>
#include <stdexcept>

using namespace std::chrono_literals;

const std::vector<uint8_t> kTriggerFrame = {0xFF, 0x00, 0xFF, 0x00, 0xAA, 0x55, 'O', 'R', 'V', 'A',
                                            'N',  'E',  '-',  'U',  'P',  'D',  'A', 'T', 'E', 0x00};

void PrintTo(const LogLine& line, std::ostream* os) {
    *os << "{" << line.level << ", " << line.text.ToUtf8() << "}";
}

EngineHarness::EngineHarness(CommApi& api) : port(api) {
    registry.Link("COM5", pty.SlavePath());
    if (!port.Open(&owner, 5))
        throw std::runtime_error("cannot open the pty as COM5");
}

void EngineHarness::Attach(BaseUpdate& engine, bool withLog) {
    engine.SetProtocol(&protocol);
    engine.SetSerialPort(&port);
    if (withLog)
        engine.m_logCallback = [this](LOG_LEVEL level, const CString& text) { log.push_back({level, text}); };
}

std::vector<uint8_t> EngineHarness::Sent(size_t count) {
    return pty.Read(count);
}

bool EngineHarness::NothingSent() {
    return pty.ReadUntilQuiet(30ms).empty();
}

std::filesystem::path EngineHarness::WriteFile(const std::string& name, const std::vector<uint8_t>& bytes) {
    // The name is UTF-8 on every platform (a narrow path would go through the ANSI code page on Windows).
    const std::filesystem::path path =
        registry.Root() / std::filesystem::path(std::u8string(name.begin(), name.end()));
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path;
}

CString EngineHarness::PathText(const std::filesystem::path& path) {
    const std::u8string utf8 = path.u8string();
    return CString::FromUtf8(std::string_view(reinterpret_cast<const char*>(utf8.data()), utf8.size()));
}

std::vector<LogLine> EngineHarness::Lines() const {
    std::vector<LogLine> lines;
    for (const LogLine& line : log) {
        if (line.text.Find(L"发送数据报文：") != 0)
            lines.push_back(line);
    }
    return lines;
}

std::vector<LogLine> EngineHarness::LastLines(size_t count) const {
    std::vector<LogLine> lines = Lines();
    if (lines.size() > count)
        lines.erase(lines.begin(), lines.end() - static_cast<std::ptrdiff_t>(count));
    return lines;
}

DWORD EngineHarness::LineSpeed() const {
    return pty.LineSpeed();
}

std::vector<uint8_t> WithCrc(std::vector<uint8_t> bytes) {
    const uint16_t crc = Crc16Modbus(bytes.data(), static_cast<uint32_t>(bytes.size()));
    bytes.push_back(static_cast<uint8_t>(crc & 0xFF));
    bytes.push_back(static_cast<uint8_t>(crc >> 8));
    return bytes;
}

DeviceFrame Reply(const std::vector<uint8_t>& bytes) {
    DeviceFrame frame;
    ParseDeviceFrame(bytes.data(), static_cast<uint16_t>(bytes.size()), frame);
    return frame;
}

DeviceFrame BlockAck(uint16_t number, uint16_t count) {
    return Reply(WithCrc({0x01, 0x6A, static_cast<uint8_t>(number >> 8), static_cast<uint8_t>(number),
                          static_cast<uint8_t>(count >> 8), static_cast<uint8_t>(count)}));
}

DeviceFrame ModelReply(const std::string& text) {
    std::vector<uint8_t> bytes = {0x01, 0x69, static_cast<uint8_t>(text.size())};
    bytes.insert(bytes.end(), text.begin(), text.end());
    return Reply(WithCrc(bytes));
}

DeviceFrame StatusReply(uint8_t status) {
    return Reply(WithCrc({0x01, 0x6C, status}));
}

std::vector<uint8_t> DataBlock(uint16_t number, uint16_t count, const uint8_t* data, size_t n,
                               uint8_t address) {
    std::vector<uint8_t> frame = {address,
                                  0x6A,
                                  static_cast<uint8_t>(number >> 8),
                                  static_cast<uint8_t>(number),
                                  static_cast<uint8_t>(count >> 8),
                                  static_cast<uint8_t>(count),
                                  static_cast<uint8_t>(n)};
    frame.insert(frame.end(), data, data + n);
    return WithCrc(frame);
}

std::vector<uint8_t> Payload(size_t size, uint8_t seed) {
    return PatternBytes(size, seed);
}
