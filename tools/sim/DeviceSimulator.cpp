#include "tools/sim/DeviceSimulator.h"

#include <algorithm>
#include <cstdio>

#include "tools/common/Sha256.h"
#include "tools/sim/SimReplies.h"

namespace {

constexpr std::chrono::nanoseconds kOneSecond = std::chrono::seconds(1);
constexpr size_t kLengthWordOffset = 4;
// A host that has not switched to 115200 by then is not going to.
constexpr std::chrono::seconds kHostRateWatchLimit{2};
constexpr size_t kBlockNumberOffset = 2;
constexpr size_t kBlockCountOffset = 4;
constexpr size_t kBlockLengthOffset = 6;
constexpr size_t kBlockDataOffset = 7;

uint16_t Word(const std::vector<uint8_t>& bytes, size_t offset) {
    return static_cast<uint16_t>((bytes[offset] << 8) | bytes[offset + 1]);
}

}  // namespace

DeviceSimulator::DeviceSimulator(SimulatorOptions options) : m_options(std::move(options)) {
    m_faults = m_options.Faults();
    if (m_options.units != 0) {
        if (auto own = m_options.unitFaults.find(1); own != m_options.unitFaults.end())
            m_faults = own->second;
        m_units.push_back({1, 0, 0, {}});
    }
    for (SimFrameKind kind : {SimFrameKind::Trigger, SimFrameKind::ModelQuery, SimFrameKind::StatusQuery,
                              SimFrameKind::Verify, SimFrameKind::DataBlock}) {
        m_frameCounts[kind] = 0;
    }
}

std::chrono::nanoseconds DeviceSimulator::ByteTime(uint32_t rate) {
    return kOneSecond * kBitsPerByte / rate;
}

void DeviceSimulator::Log(const std::string& line) {
    if (m_log)
        m_log(line);
}

SimTime DeviceSimulator::StartOf(const SimFrame& frame, SimTime now) const {
    SimTime ready = now;
    if (m_options.pace) {
        const auto wireTime = ByteTime(m_rate) * static_cast<int64_t>(frame.bytes.size());
        ready = std::max(now, frame.firstByteTime + std::chrono::duration_cast<SimClock::duration>(wireTime));
    }
    return std::max(ready, m_busyUntil);
}

void DeviceSimulator::Enqueue(SimOutput output) {
    // After everything due no later, so outputs due at the same time keep their order.
    const auto at = std::upper_bound(m_pending.begin(), m_pending.end(), output.due,
                                     [](SimTime t, const SimOutput& o) { return t < o.due; });
    m_pending.insert(at, std::move(output));
}

SimTime DeviceSimulator::Schedule(SimTime start, std::vector<uint8_t> bytes, bool withdrawnIfHostSpeaks) {
    if (m_faults.silent)
        return start;
    if (m_strayPending) {
        bytes.insert(bytes.begin(), 0x00);
        m_strayPending = false;
    }
    SimTime due = start;
    if (m_options.pace) {
        due += std::chrono::duration_cast<SimClock::duration>(ByteTime(m_rate) *
                                                              static_cast<int64_t>(bytes.size()));
    }
    SimOutput output;
    output.due = due;
    output.bytes = std::move(bytes);
    output.withdrawnIfHostSpeaks = withdrawnIfHostSpeaks;
    Enqueue(std::move(output));
    if (!withdrawnIfHostSpeaks)
        m_busyUntil = std::max(m_busyUntil, due);
    return due;
}

bool DeviceSimulator::UnitPresent(SimTime now) {
    if (m_options.units == 0)
        return true;
    if (m_outUntil) {
        if (now < *m_outUntil || m_unit >= m_options.units)
            return false;
        // The next unit goes in: nothing of the last one's session carries over.
        m_outUntil.reset();
        ++m_unit;
        m_units.push_back({m_unit, 0, 0, {}});
        auto own = m_options.unitFaults.find(m_unit);
        m_faults = own != m_options.unitFaults.end() ? own->second : m_options.Faults();
        m_transfer = Transfer{};
        m_sessionFresh = true;
        m_rate = kBaseRate;
        Log("unit " + std::to_string(m_unit) + " in the fixture");
    }
    return true;
}

void DeviceSimulator::TakeOut(SimTime at) {
    m_outUntil = at + m_options.swap;
    Log("unit " + std::to_string(m_unit) + " taken out");
}

void DeviceSimulator::NoteTransferStarted() {
    if (!m_units.empty())
        ++m_units.back().transfersStarted;
}

void DeviceSimulator::OnFrame(const SimFrame& frame, SimTime now) {
    std::erase_if(m_pending, [](const SimOutput& o) { return o.withdrawnIfHostSpeaks; });
    ++m_frameCounts[frame.kind];
    Log(std::string("rx ") + SimFrameKindName(frame.kind) + ": " + SimHex(frame.bytes));
    if (!UnitPresent(now))
        return;  // an empty fixture hears nothing
    // A host that starts a new session on a unit whose update it did not finish has given up on it;
    // the operator takes that unit out as well.
    if (m_options.units != 0 && frame.kind == SimFrameKind::Trigger &&
        m_transfer.mode != SimTransferMode::None && !m_transfer.complete) {
        TakeOut(now);
        return;
    }

    const SimTime start = StartOf(frame, now);
    const uint8_t address = frame.bytes.size() > 1 ? frame.bytes[0] : 0;
    switch (frame.kind) {
        case SimFrameKind::Trigger:
            // A new session: the next block starts a new transfer, the line is back at 9600, and
            // every fault is armed again, since each fires once a run and a run starts here.
            m_sessionFresh = true;
            m_rate = kBaseRate;
            m_strayPending = m_faults.strayByte;
            m_wrongNumberUsed = m_wrongCountUsed = m_dropAckUsed = m_hangupUsed = false;
            break;
        case SimFrameKind::ModelQuery:
            HandleModelQuery(frame, now, start);
            break;
        case SimFrameKind::StatusQuery:
            Schedule(start, SimReplies::StatusReply(address, m_options.statusCode));
            break;
        case SimFrameKind::Verify:
            HandleVerify(frame, start);
            break;
        case SimFrameKind::DataBlock:
            HandleDataBlock(frame, start);
            break;
    }
}

void DeviceSimulator::HandleModelQuery(const SimFrame& frame, SimTime received, SimTime start) {
    SimTime replyStart = start;
    if (Word(frame.bytes, kLengthWordOffset) == kHighSpeedLengthWord) {
        m_highSpeedQueryAt = received;
        m_hostSwitchGap.reset();
        // The host changes its own rate after the query and drops what arrives meanwhile, so the
        // reply must wait until it listens at the new rate.
        replyStart += m_options.switchDelay;
        m_rate = kHighRate;
        Log("rate 115200");
    }
    Schedule(replyStart, SimReplies::ModelReply(frame.bytes[0], m_options.modelGbk));
}

void DeviceSimulator::HandleVerify(const SimFrame& frame, SimTime start) {
    NoteTransferStarted();
    m_transfer = Transfer{};
    m_sessionFresh = false;
    m_transfer.mode = SimTransferMode::Firmware;
    m_transfer.base = kFirstFirmwareBlock;
    m_transfer.recordBlockCount = Word(frame.bytes, kBlockCountOffset);
    m_transfer.expected = m_transfer.recordBlockCount;
    m_transfer.countKnown = true;
    std::array<uint8_t, VerifyRecordCheck::kRecordSize> record{};
    std::copy_n(frame.bytes.begin() + kBlockDataOffset, record.size(), record.begin());
    m_transfer.record = record;
    Schedule(start + m_options.ackDelay,
             SimReplies::BlockAck(frame.bytes[0], Word(frame.bytes, kBlockNumberOffset),
                                  m_transfer.recordBlockCount));
}

bool DeviceSimulator::TakeFault(uint32_t at, bool& used, uint32_t ordinal) {
    if (at == 0 || used || at != ordinal)
        return false;
    used = true;
    return true;
}

void DeviceSimulator::HandleDataBlock(const SimFrame& frame, SimTime start) {
    const uint8_t address = frame.bytes[0];
    const uint16_t number = Word(frame.bytes, kBlockNumberOffset);
    const uint16_t count = Word(frame.bytes, kBlockCountOffset);
    const size_t length = frame.bytes[kBlockLengthOffset];

    if (m_sessionFresh || m_transfer.mode == SimTransferMode::None) {
        m_transfer = Transfer{};
        m_sessionFresh = false;
        // A firmware transfer announces itself with a verify frame; without one, numbers above
        // the verify number still say firmware, and a program counts from 0.
        const bool firmware = number > kVerifyBlockNumber;
        if (!firmware)
            NoteTransferStarted();
        m_transfer.mode = firmware ? SimTransferMode::Firmware : SimTransferMode::Program;
        m_transfer.base = firmware ? kFirstFirmwareBlock : 0;
    }
    const uint32_t ordinal = ++m_transfer.dataFrames;
    const bool completes = StoreBlock(number, count, frame.bytes.data() + kBlockDataOffset, length);
    if (completes) {
        ++m_transfersCompleted;
        if (!m_units.empty()) {
            ++m_units.back().transfersCompleted;
            m_units.back().payloadSha256 = Sha256::Hex(Payload());
        }
        Log("transfer complete: " + std::to_string(m_transfer.blocks.size()) + " blocks");
    }

    if (TakeFault(m_faults.hangupAt, m_hangupUsed, ordinal)) {
        Log("fault: hang-up after block " + std::to_string(ordinal));
        SimOutput hangup;
        hangup.kind = SimOutput::Kind::HangUp;
        hangup.due = start;
        Enqueue(std::move(hangup));
        m_busyUntil = std::max(m_busyUntil, start);
    } else if (TakeFault(m_faults.dropAckAt, m_dropAckUsed, ordinal)) {
        Log("fault: no ack for block " + std::to_string(ordinal));
    } else {
        const bool wrongNumber = TakeFault(m_faults.wrongNumberAt, m_wrongNumberUsed, ordinal);
        const bool wrongCount = TakeFault(m_faults.wrongCountAt, m_wrongCountUsed, ordinal);
        const SimTime ackStart = start + m_options.ackDelay;
        if (wrongNumber || wrongCount) {
            uint16_t badNumber = number;
            if (wrongNumber) {
                // A firmware host takes any number above the verify number as an ack, and 10000
                // itself makes it send the block again; a program host compares exactly.
                badNumber = m_transfer.mode == SimTransferMode::Firmware ? kFaultyFirmwareNumber
                            : number == 0                                ? uint16_t{1}
                                                                         : static_cast<uint16_t>(number - 1);
            }
            const uint16_t badCount = wrongCount ? static_cast<uint16_t>(count + 1) : count;
            Log("fault: ack of block " + std::to_string(ordinal) + " says " + std::to_string(badNumber) +
                "/" + std::to_string(badCount));
            const SimTime faultyDue = Schedule(ackStart, SimReplies::BlockAck(address, badNumber, badCount));
            Schedule(faultyDue + m_options.recoverDelay, SimReplies::BlockAck(address, number, count), true);
        } else {
            Schedule(ackStart, SimReplies::BlockAck(address, number, count));
        }
    }
    // The operator takes the unit out once its last acknowledgement is on the line.
    if (completes && m_options.units != 0)
        TakeOut(m_pending.empty() ? start : m_pending.back().due);

    if (completes && m_transfer.mode == SimTransferMode::Firmware && m_rate != kBaseRate) {
        // The host goes back to 9600 after the last ack without a word; so does the device.
        m_rate = kBaseRate;
        Log("rate 9600");
    }
}

bool DeviceSimulator::StoreBlock(uint16_t number, uint16_t count, const uint8_t* data, size_t length) {
    Transfer& t = m_transfer;
    if (!t.countKnown) {
        t.expected = count;
        t.countKnown = true;
    } else if (count != t.expected) {
        ++t.countMismatches;
    }
    if (number < t.base || number - t.base >= t.expected) {
        ++t.numberingErrors;
        Log("block number " + std::to_string(number) + " is outside the transfer");
        return false;
    }
    const uint32_t index = number - t.base;
    std::vector<uint8_t> bytes(data, data + length);
    if (auto existing = t.blocks.find(index); existing != t.blocks.end()) {
        ++t.duplicates;
        existing->second = std::move(bytes);
    } else {
        if (index != t.nextIndex) {
            ++t.numberingErrors;
            Log("block number " + std::to_string(number) + " out of order, expected " +
                std::to_string(t.base + t.nextIndex));
        }
        t.blocks.emplace(index, std::move(bytes));
    }
    t.nextIndex = std::max(t.nextIndex, index + 1);
    if (!t.complete && t.blocks.size() == t.expected) {
        t.complete = true;
        return true;
    }
    return false;
}

void DeviceSimulator::OnLineReset() {
    m_pending.clear();
    m_rate = kBaseRate;
    m_highSpeedQueryAt.reset();
}

void DeviceSimulator::OnHostRate(uint32_t rate, SimTime now) {
    if (!m_highSpeedQueryAt)
        return;
    if (rate == kHighRate) {
        m_hostSwitchGap = now - *m_highSpeedQueryAt;
        m_highSpeedQueryAt.reset();
        const auto ms = std::chrono::duration_cast<std::chrono::milliseconds>(*m_hostSwitchGap);
        Log("host at 115200 " + std::to_string(ms.count()) + " ms after the query");
    } else if (now - *m_highSpeedQueryAt > kHostRateWatchLimit) {
        m_highSpeedQueryAt.reset();  // the host never switched
    }
}

std::optional<SimTime> DeviceSimulator::NextDue() const {
    if (m_pending.empty())
        return std::nullopt;
    return m_pending.front().due;
}

std::vector<SimOutput> DeviceSimulator::TakeDue(SimTime now) {
    std::vector<SimOutput> due;
    while (!m_pending.empty() && m_pending.front().due <= now) {
        due.push_back(std::move(m_pending.front()));
        m_pending.pop_front();
        if (due.back().kind == SimOutput::Kind::HangUp) {
            m_pending.clear();
            break;
        }
    }
    return due;
}

std::vector<uint8_t> DeviceSimulator::Payload() const {
    std::vector<uint8_t> payload;
    for (const auto& [index, bytes] : m_transfer.blocks)
        payload.insert(payload.end(), bytes.begin(), bytes.end());
    return payload;
}

SimReport DeviceSimulator::Report() const {
    SimReport report;
    for (const auto& [kind, count] : m_frameCounts)
        report.framesByKind[SimFrameKindName(kind)] = count;
    report.mode = m_transfer.mode;
    report.blocksReceived = static_cast<uint32_t>(m_transfer.blocks.size());
    report.blocksExpected = m_transfer.expected;
    report.dataFrames = m_transfer.dataFrames;
    report.duplicateBlocks = m_transfer.duplicates;
    report.numberingErrors = m_transfer.numberingErrors;
    report.countMismatches = m_transfer.countMismatches;
    report.complete = m_transfer.complete;
    report.payload = Payload();
    if (m_transfer.record) {
        report.record =
            VerifyRecordCheck::Check(*m_transfer.record, m_transfer.recordBlockCount, report.payload);
    }
    report.transfersCompleted = m_transfersCompleted;
    report.lastRate = m_rate;
    report.hostSwitchGap = m_hostSwitchGap;
    report.units = m_units;
    return report;
}
