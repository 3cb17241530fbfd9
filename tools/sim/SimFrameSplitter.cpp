#include "tools/sim/SimFrameSplitter.h"

#include <algorithm>
#include <array>

#include "tools/sim/SimCrc16.h"

namespace {

constexpr std::array<uint8_t, 6> kTriggerHeader = {0xFF, 0x00, 0xFF, 0x00, 0xAA, 0x55};
constexpr size_t kTriggerTagEnd = 19;  // the 13-character tag fills offsets 6..18
constexpr uint8_t kFuncModel = 0x69;
constexpr uint8_t kFuncBlock = 0x6A;
constexpr uint8_t kFuncStatus = 0x6C;
constexpr size_t kBlockLengthOffset = 6;
constexpr uint16_t kVerifyBlockNumber = 10000;
constexpr uint8_t kVerifyRecordLength = 16;

bool IsPrintable(uint8_t byte) {
    return byte >= 0x20 && byte <= 0x7E;
}

}  // namespace

void SimFrameSplitter::Feed(const uint8_t* data, size_t length, SimTime arrival) {
    for (size_t i = 0; i < length; ++i)
        m_buffer.push_back({data[i], arrival});
    Split();
}

SimFrameSplitter::Match SimFrameSplitter::MatchAtFront(size_t& frameLength, SimFrameKind& kind) const {
    const size_t n = m_buffer.size();
    if (n == 0)
        return Match::NeedMore;

    // The trigger's second byte 00 is no function code, so it cannot be confused with a frame
    // addressed to device FF.
    if (m_buffer[0].value == kTriggerHeader[0] && (n < 2 || m_buffer[1].value == kTriggerHeader[1])) {
        for (size_t i = 0; i < std::min(n, kTriggerHeader.size()); ++i) {
            if (m_buffer[i].value != kTriggerHeader[i])
                return Match::Invalid;
        }
        for (size_t i = kTriggerHeader.size(); i < std::min(n, kTriggerTagEnd); ++i) {
            if (!IsPrintable(m_buffer[i].value))
                return Match::Invalid;
        }
        if (n < kTriggerSize)
            return Match::NeedMore;
        if (m_buffer[kTriggerTagEnd].value != 0x00)
            return Match::Invalid;
        frameLength = kTriggerSize;
        kind = SimFrameKind::Trigger;
        return Match::Complete;
    }

    if (n < 2)
        return Match::NeedMore;
    switch (m_buffer[1].value) {
        case kFuncModel:
            frameLength = kModelQuerySize;
            kind = SimFrameKind::ModelQuery;
            break;
        case kFuncStatus:
            frameLength = kStatusQuerySize;
            kind = SimFrameKind::StatusQuery;
            break;
        case kFuncBlock: {
            if (n <= kBlockLengthOffset)
                return Match::NeedMore;
            const uint8_t dataLength = m_buffer[kBlockLengthOffset].value;
            if (dataLength == 0 || dataLength > kMaxBlockData)
                return Match::Invalid;
            frameLength = dataLength + kBlockOverhead;
            const uint16_t number = static_cast<uint16_t>((m_buffer[2].value << 8) | m_buffer[3].value);
            kind = (number == kVerifyBlockNumber && dataLength == kVerifyRecordLength)
                       ? SimFrameKind::Verify
                       : SimFrameKind::DataBlock;
            break;
        }
        default:
            return Match::Invalid;
    }
    if (n < frameLength)
        return Match::NeedMore;

    std::array<uint8_t, kMaxFrameSize> bytes{};
    for (size_t i = 0; i < frameLength; ++i)
        bytes[i] = m_buffer[i].value;
    const uint16_t crc = SimCrc16Modbus(bytes.data(), frameLength - 2);
    const uint16_t carried = static_cast<uint16_t>(bytes[frameLength - 2] | (bytes[frameLength - 1] << 8));
    return crc == carried ? Match::Complete : Match::Invalid;
}

void SimFrameSplitter::Split() {
    for (;;) {
        size_t frameLength = 0;
        SimFrameKind kind = SimFrameKind::Trigger;
        switch (MatchAtFront(frameLength, kind)) {
            case Match::NeedMore:
                return;
            case Match::Invalid:
                SkipOneByte();
                break;
            case Match::Complete: {
                SimFrame frame;
                frame.kind = kind;
                frame.firstByteTime = m_buffer.front().arrival;
                for (size_t i = 0; i < frameLength; ++i)
                    frame.bytes.push_back(m_buffer[i].value);
                m_buffer.erase(m_buffer.begin(), m_buffer.begin() + static_cast<std::ptrdiff_t>(frameLength));
                m_frames.push_back(std::move(frame));
                m_inBadStretch = false;
                break;
            }
        }
    }
}

void SimFrameSplitter::SkipOneByte() {
    m_buffer.pop_front();
    ++m_skippedBytes;
    if (!m_inBadStretch) {
        m_inBadStretch = true;
        ++m_badFrames;
    }
}

void SimFrameSplitter::OnIdle() {
    for (;;) {
        Split();
        if (m_buffer.empty())
            break;
        SkipOneByte();
    }
    m_inBadStretch = false;
}

void SimFrameSplitter::Reset() {
    if (!m_buffer.empty()) {
        m_skippedBytes += m_buffer.size();
        if (!m_inBadStretch)
            ++m_badFrames;
    }
    m_buffer.clear();
    m_inBadStretch = false;
}

std::optional<SimFrame> SimFrameSplitter::Next() {
    if (m_frames.empty())
        return std::nullopt;
    SimFrame frame = std::move(m_frames.front());
    m_frames.pop_front();
    return frame;
}
