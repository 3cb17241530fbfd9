// The progress of an update on stderr (a bar with percent, blocks, rate and time left, only when
// both output streams are a terminal), or as JSON objects on stdout. The percentage is that of the
// blocks acknowledged, so it always agrees with the block count beside it.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

class ProgressReporter {
public:
    using Emit = std::function<void(const std::string& jsonLine)>;

    // The time left is estimated only once this many blocks went out at the device's own pace: the
    // first ones carry the wake-up and, for firmware, the model query and the rate switch.
    static constexpr uint32_t kEstimateAfterBlocks = 5;

    ProgressReporter(bool json, bool terminal, Emit emit);

    void Begin(uint32_t totalBlocks, uint32_t totalBytes);
    // Called often; draws or emits only when something visible changed. The last block's bar is
    // drawn at once and left standing, so that what is printed next comes below it.
    void Update(uint32_t blocksDone);
    // Clears the bar so another line can be printed; it is drawn again at the next update.
    void Interrupt();
    // Leaves the terminal line clean for good.
    void End();

    static int Percent(uint32_t blocksDone, uint32_t totalBlocks);
    // `secondsLeft` < 0: no estimate yet.
    static std::string FormatBar(uint32_t blocksDone, uint32_t totalBlocks, double bytesPerSecond,
                                 double secondsLeft);

private:
    bool m_json;
    bool m_terminal;
    Emit m_emit;
    uint32_t m_totalBlocks = 0;
    uint32_t m_totalBytes = 0;
    uint32_t m_lastBlocks = UINT32_MAX;
    bool m_drawn = false;
    bool m_finished = false;
    // The rate counts from the first block seen, not from the start, for the reason above.
    uint32_t m_firstBlocks = 0;
    std::chrono::steady_clock::time_point m_firstBlockAt;
    bool m_firstBlockSeen = false;
    std::chrono::steady_clock::time_point m_lastDraw;
};
