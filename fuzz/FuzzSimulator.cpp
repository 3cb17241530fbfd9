// Fuzz target: the simulated device on an arbitrary host byte stream. The stream is cut into reads
// at arbitrary points and fed to SimFrameSplitter with explicit times, and the frames it finds go
// to DeviceSimulator, in the order and with the quiet-line and hang-up handling of the simulator's
// own loop. The frames found and the replies sent are checked with the host's frame code, which
// shares nothing with the simulator's.
//
// Input: 8 bytes of settings, then the stream. Byte 0: bit 0 pace, bit 1 silent, bit 2 stray byte;
// bytes 1..4 (mod 8, 0 = off): wrong number, wrong count, dropped ack and hang-up at data block K;
// byte 5: ack delay in ms; bytes 6..7: seed of the read boundaries and the pauses between reads.
#include <algorithm>
#include <chrono>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "fuzz/FuzzSupport.h"
#include "protocol/Protocol.h"
#include "protocol/ReceiveBuffer.h"
#include "tools/sim/DeviceSimulator.h"
#include "tools/sim/SimFrameSplitter.h"
#include "tools/sim/SimulatorLoop.h"
#include "tools/sim/SimulatorSummary.h"

namespace {

constexpr size_t kSettingsSize = 8;
constexpr uint8_t kTriggerStart[] = {0xFF, 0x00, 0xFF, 0x00, 0xAA, 0x55};

// splitmix64: a few lines, and every seed gives a different but repeatable cut of the stream.
class Random {
public:
    explicit Random(uint64_t seed) : m_state(seed) {}
    uint64_t Next() {
        uint64_t z = (m_state += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }

private:
    uint64_t m_state;
};

bool CrcMatches(const std::vector<uint8_t>& frame) {
    const size_t n = frame.size();
    return n >= 3 &&
           Crc16Modbus(frame.data(), static_cast<uint32_t>(n - 2)) == (frame[n - 2] | (frame[n - 1] << 8));
}

uint16_t Word(const std::vector<uint8_t>& bytes, size_t offset) {
    return static_cast<uint16_t>((bytes[offset] << 8) | bytes[offset + 1]);
}

// A frame the splitter found has exactly the shape of its kind.
void CheckHostFrame(const SimFrame& frame, SimTime now) {
    const std::vector<uint8_t>& b = frame.bytes;
    FUZZ_CHECK(frame.firstByteTime <= now);
    switch (frame.kind) {
        case SimFrameKind::Trigger:
            FUZZ_CHECK(b.size() == TRIGGER_FRAME_LENGTH &&
                       std::equal(kTriggerStart, kTriggerStart + 6, b.begin()));
            FUZZ_CHECK(
                std::all_of(b.begin() + 6, b.begin() + 19, [](uint8_t c) { return c >= 0x20 && c <= 0x7E; }));
            FUZZ_CHECK(b[19] == 0x00);
            return;
        case SimFrameKind::ModelQuery:
            FUZZ_CHECK(b.size() == MODEL_QUERY_FRAME_LENGTH && b[1] == FUNC_MODEL);
            break;
        case SimFrameKind::StatusQuery:
            FUZZ_CHECK(b.size() == STATUS_QUERY_FRAME_LENGTH && b[1] == FUNC_STATUS);
            break;
        case SimFrameKind::Verify:
            FUZZ_CHECK(b.size() == VERIFY_PARAMS_FRAME_LENGTH && b[1] == FUNC_BLOCK);
            FUZZ_CHECK(Word(b, 2) == FIRMWARE_BLOCK_BASE && b[6] == VERIFY_PARAMS_RECORD_LENGTH);
            break;
        case SimFrameKind::DataBlock:
            FUZZ_CHECK(b.size() >= DATA_BLOCK_OVERHEAD + 1 && b.size() <= MAX_FRAME_LENGTH &&
                       b[1] == FUNC_BLOCK);
            FUZZ_CHECK(b[6] == b.size() - DATA_BLOCK_OVERHEAD);
            FUZZ_CHECK(!(Word(b, 2) == FIRMWARE_BLOCK_BASE && b[6] == VERIFY_PARAMS_RECORD_LENGTH));
            break;
    }
    FUZZ_CHECK(CrcMatches(b));
}

// The host's receive buffer recognises the reply at its last byte and not before, and parses it.
bool HostTakesReply(const uint8_t* bytes, size_t size) {
    ReceiveBuffer buffer;
    for (size_t i = 0; i < size; ++i) {
        buffer.push_back(bytes[i]);
        const uint16_t frameLength = buffer.CompleteFrameLength();
        if (i + 1 < size && frameLength != 0)
            return false;
        if (i + 1 == size && frameLength != size)
            return false;
    }
    DeviceFrame frame;
    ParseDeviceFrame(bytes, static_cast<uint16_t>(size), frame);
    return frame.valid && frame.functionCode != FUNC_EXTENDED;
}

class Harness {
public:
    explicit Harness(const SimulatorOptions& options) : m_options(options), m_device(options) {}

    void Run(const uint8_t* stream, size_t size, Random& random) {
        size_t offset = 0;
        while (offset < size) {
            // Mostly the few milliseconds between one write's pieces; now and then a long pause.
            const uint64_t gapMs = random.Next() % 4 == 0 ? random.Next() % 3000 : random.Next() % 20;
            AdvanceTo(m_now + std::chrono::milliseconds(gapMs));
            if (random.Next() % 64 == 0)
                LineReset();
            const size_t length = std::min<size_t>(size - offset, 1 + random.Next() % 64);
            m_splitter.Feed(stream + offset, length, m_now);
            m_lastRead = m_now;
            m_fed += length;
            offset += length;
            TakeFrames();
        }
        // The line falls quiet: what is left is flushed, and every reply falls due.
        AdvanceTo(m_now + SimulatorLoop::kIdleGap);
        while (std::optional<SimTime> due = m_device.NextDue())
            AdvanceTo(*due);
        FUZZ_CHECK(!m_splitter.HasPartial() && !m_device.NextDue());
        FUZZ_CHECK(m_fed == m_framedBytes + m_splitter.SkippedBytes());
        CheckReport();
    }

private:
    // Moves the clock to `target`, handling on the way, in time order, the replies that fall due
    // and the end of a partial frame once the line has been quiet for the idle gap.
    void AdvanceTo(SimTime target) {
        for (;;) {
            const std::optional<SimTime> due = m_device.NextDue();
            std::optional<SimTime> idle;
            if (m_splitter.HasPartial())
                idle = m_lastRead + SimulatorLoop::kIdleGap;
            const bool idleFirst = idle && (!due || *idle <= *due);
            const std::optional<SimTime> next = idleFirst ? idle : due;
            if (!next || *next > target)
                break;
            m_now = std::max(m_now, *next);
            if (idleFirst) {
                m_splitter.OnIdle();
                TakeFrames();
            }
            Perform(m_now);
        }
        m_now = std::max(m_now, target);
    }

    void Perform(SimTime now) {
        for (const SimOutput& output : m_device.TakeDue(now)) {
            FUZZ_CHECK(output.due <= now && output.due >= m_lastDue);
            m_lastDue = output.due;
            if (output.kind == SimOutput::Kind::HangUp) {
                LineReset();
                continue;
            }
            const std::vector<uint8_t>& b = output.bytes;
            const bool plain = HostTakesReply(b.data(), b.size());
            const bool afterStray = m_options.strayByte && b.size() > 1 && b[0] == 0x00 &&
                                    HostTakesReply(b.data() + 1, b.size() - 1);
            FUZZ_CHECK(plain || afterStray);
        }
    }

    void LineReset() {
        m_splitter.Reset();
        m_device.OnLineReset();
    }

    void TakeFrames() {
        while (std::optional<SimFrame> frame = m_splitter.Next()) {
            CheckHostFrame(*frame, m_now);
            m_framedBytes += frame->bytes.size();
            ++m_frames;
            m_dataFrames += frame->kind == SimFrameKind::DataBlock;
            m_device.OnFrame(*frame, m_now);
        }
        if (m_device.TransfersCompleted() != m_completedSeen) {
            // The loop writes the payload and the summary after every completed transfer.
            m_completedSeen = m_device.TransfersCompleted();
            CheckReport();
        }
    }

    void CheckReport() {
        SimReport report = m_device.Report();
        report.badFrames = m_splitter.BadFrames();
        report.skippedBytes = m_splitter.SkippedBytes();
        FUZZ_CHECK(report.blocksReceived <= report.blocksExpected);
        FUZZ_CHECK(!report.complete || report.blocksReceived == report.blocksExpected);
        FUZZ_CHECK(report.payload.size() >= report.blocksReceived &&
                   report.payload.size() <= size_t{BLOCK_SIZE} * report.blocksReceived);
        FUZZ_CHECK(report.dataFrames >= report.blocksReceived && report.dataFrames <= m_dataFrames);
        FUZZ_CHECK(report.transfersCompleted <= m_dataFrames);
        uint64_t counted = 0;
        for (const auto& [kind, count] : report.framesByKind)
            counted += count;
        FUZZ_CHECK(counted == m_frames);
        FUZZ_CHECK(m_device.Payload() == report.payload);
        const std::string json = SimulatorSummary::ToJson(report);
        FUZZ_CHECK(!json.empty() && json.front() == '{');
    }

    SimulatorOptions m_options;
    SimFrameSplitter m_splitter;
    DeviceSimulator m_device;
    SimTime m_now{};
    SimTime m_lastDue{};
    SimTime m_lastRead{};
    uint64_t m_completedSeen = 0;
    size_t m_fed = 0;
    size_t m_framedBytes = 0;
    uint64_t m_frames = 0;
    uint64_t m_dataFrames = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < kSettingsSize)
        return 0;
    SimulatorOptions options;
    options.pace = (data[0] & 1) != 0;
    options.silent = (data[0] & 2) != 0;
    options.strayByte = (data[0] & 4) != 0;
    options.wrongNumberAt = data[1] % 8;
    options.wrongCountAt = data[2] % 8;
    options.dropAckAt = data[3] % 8;
    options.hangupAt = data[4] % 8;
    options.ackDelay = std::chrono::milliseconds(data[5]);
    Random random((uint64_t{data[6]} << 8) | data[7]);

    Harness harness(options);
    harness.Run(data + kSettingsSize, size - kSettingsSize, random);
    return 0;
}
