// Finds the host's frames in the byte stream the device receives. There are no markers on the
// line, so a frame is known by its shape: the fixed trigger, or address + function code + a length
// given by the code, closed by a good CRC. Anything else is skipped one byte at a time until a frame
// lines up again.
#pragma once

#include <cstddef>
#include <cstdint>
#include <deque>
#include <optional>

#include "tools/sim/SimFrame.h"

class SimFrameSplitter {
public:
    static constexpr size_t kTriggerSize = 20;
    static constexpr size_t kModelQuerySize = 8;
    static constexpr size_t kStatusQuerySize = 19;
    static constexpr size_t kBlockOverhead = 9;  // address, code, number, count, length byte, CRC
    static constexpr size_t kMaxBlockData = 50;
    static constexpr size_t kMaxFrameSize = kBlockOverhead + kMaxBlockData;

    // Appends bytes read at `arrival` and splits off every frame they complete.
    void Feed(const uint8_t* data, size_t length, SimTime arrival);

    // The line has been quiet: the host sends each frame in one write, so a frame that is still
    // incomplete now never will be. Its bytes are skipped and the rest is searched again.
    void OnIdle();

    // Forgets buffered bytes (the line went away).
    void Reset();

    std::optional<SimFrame> Next();
    bool HasPartial() const { return !m_buffer.empty(); }

    // A bad frame is one stretch of skipped bytes between two good frames (or quiet times).
    uint64_t BadFrames() const { return m_badFrames; }
    uint64_t SkippedBytes() const { return m_skippedBytes; }

private:
    enum class Match { Complete, NeedMore, Invalid };
    Match MatchAtFront(size_t& frameLength, SimFrameKind& kind) const;
    void Split();
    void SkipOneByte();

    struct Byte {
        uint8_t value;
        SimTime arrival;
    };
    std::deque<Byte> m_buffer;  // never longer than kMaxFrameSize + the last read
    std::deque<SimFrame> m_frames;
    bool m_inBadStretch = false;
    uint64_t m_badFrames = 0;
    uint64_t m_skippedBytes = 0;
};
