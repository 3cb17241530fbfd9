// The simulated device: takes the host's frames, keeps what they carry, and schedules its replies.
// It does no I/O and reads no clock; every call says what time it is, so tests can drive it in
// simulated time and the real loop in steady-clock time.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "tools/sim/SimFrame.h"
#include "tools/sim/SimReport.h"
#include "tools/sim/SimulatorOptions.h"
#include "tools/sim/VerifyRecordCheck.h"

struct SimOutput {
    enum class Kind { Write, HangUp };
    Kind kind = Kind::Write;
    SimTime due{};
    std::vector<uint8_t> bytes;
    // The correct acknowledgement that follows a faulty one. If the host answers before it goes
    // out, the host took the faulty one, and a late second ack would be read as the ack of the
    // next block; so it is withdrawn.
    bool withdrawnIfHostSpeaks = false;
};

class DeviceSimulator {
public:
    static constexpr uint32_t kBaseRate = 9600;
    static constexpr uint32_t kHighRate = 115200;
    static constexpr uint16_t kHighSpeedLengthWord = 0x0480;
    static constexpr uint16_t kVerifyBlockNumber = 10000;
    static constexpr uint16_t kFirstFirmwareBlock = 10001;
    static constexpr uint16_t kFaultyFirmwareNumber = 9999;  // below every number the host accepts
    static constexpr size_t kBlockSize = 50;
    static constexpr int kBitsPerByte = 10;  // 8N1: start bit, 8 data bits, stop bit

    explicit DeviceSimulator(SimulatorOptions options);

    void OnFrame(const SimFrame& frame, SimTime now);

    // The line went away (hang-up): nothing pending goes out, and the new line starts at 9600.
    void OnLineReset();

    // After a model query that announces 115200, the device watches for the host's own switch and
    // records how long after the query it came.
    bool WatchingHostRate() const { return m_highSpeedQueryAt.has_value(); }
    void OnHostRate(uint32_t rate, SimTime now);

    std::optional<SimTime> NextDue() const;
    // Outputs due by `now`, in order. A hang-up ends the list: what follows it is discarded.
    std::vector<SimOutput> TakeDue(SimTime now);

    // Receives one line per frame, for --verbose.
    void SetLog(std::function<void(const std::string&)> log) { m_log = std::move(log); }

    uint32_t CurrentRate() const { return m_rate; }
    uint32_t TransfersCompleted() const { return m_transfersCompleted; }
    std::vector<uint8_t> Payload() const;
    SimReport Report() const;

    static std::chrono::nanoseconds ByteTime(uint32_t rate);

private:
    struct Transfer {
        SimTransferMode mode = SimTransferMode::None;
        uint32_t base = 0;  // block number of index 0
        uint32_t expected = 0;
        bool countKnown = false;
        uint32_t nextIndex = 0;
        uint32_t dataFrames = 0;
        uint32_t duplicates = 0;
        uint32_t numberingErrors = 0;
        uint32_t countMismatches = 0;
        bool complete = false;
        std::optional<std::array<uint8_t, VerifyRecordCheck::kRecordSize>> record;
        uint16_t recordBlockCount = 0;
        std::map<uint32_t, std::vector<uint8_t>> blocks;  // by index
    };

    SimTime StartOf(const SimFrame& frame, SimTime now) const;
    void Enqueue(SimOutput output);
    SimTime Schedule(SimTime start, std::vector<uint8_t> bytes, bool withdrawnIfHostSpeaks = false);
    void HandleModelQuery(const SimFrame& frame, SimTime received, SimTime start);
    void HandleVerify(const SimFrame& frame, SimTime start);
    void HandleDataBlock(const SimFrame& frame, SimTime start);
    // Files the block under its number; returns true when it completes the transfer.
    bool StoreBlock(uint16_t number, uint16_t count, const uint8_t* data, size_t length);
    bool TakeFault(uint32_t at, bool& used, uint32_t ordinal);
    // In a fixture: moves on to the next unit once the swap is over; false while no unit is there.
    bool UnitPresent(SimTime now);
    void TakeOut(SimTime at);
    void NoteTransferStarted();
    void Log(const std::string& line);

    SimulatorOptions m_options;
    std::function<void(const std::string&)> m_log;
    std::deque<SimOutput> m_pending;  // ordered by due time
    SimTime m_busyUntil{};
    uint32_t m_rate = kBaseRate;
    bool m_sessionFresh = true;
    bool m_strayPending = false;
    Transfer m_transfer;
    uint32_t m_transfersCompleted = 0;
    std::map<SimFrameKind, uint64_t> m_frameCounts;

    SimFaults m_faults;  // the present unit's
    uint32_t m_unit = 1;
    std::optional<SimTime> m_outUntil;  // the fixture is empty until then
    std::vector<SimUnitReport> m_units;

    bool m_wrongNumberUsed = false;
    bool m_wrongCountUsed = false;
    bool m_dropAckUsed = false;
    bool m_hangupUsed = false;

    std::optional<SimTime> m_highSpeedQueryAt;  // set while watching for the host's switch
    std::optional<SimClock::duration> m_hostSwitchGap;
};
