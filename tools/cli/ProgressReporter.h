// The progress of an update on stderr (a bar with percent, blocks, rate and time left, only when
// stderr is a terminal), or as JSON objects on stdout.
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <string>

class ProgressReporter {
public:
    using Emit = std::function<void(const std::string& jsonLine)>;

    ProgressReporter(bool json, bool terminal, Emit emit);

    void Begin(uint32_t totalBlocks, uint32_t totalBytes);
    // Called often; draws or emits only when something visible changed.
    void Update(int percent, uint32_t blocksDone);
    // Clears the bar so another line can be printed; it is drawn again at the next update.
    void Interrupt();
    // Leaves the terminal line clean for good.
    void End();

    static std::string FormatBar(int percent, uint32_t blocksDone, uint32_t totalBlocks,
                                 double bytesPerSecond, double secondsLeft);

private:
    double BytesPerSecond(uint32_t blocksDone) const;

    bool m_json;
    bool m_terminal;
    Emit m_emit;
    uint32_t m_totalBlocks = 0;
    uint32_t m_totalBytes = 0;
    int m_lastPercent = -1;
    uint32_t m_lastBlocks = UINT32_MAX;
    bool m_drawn = false;
    std::chrono::steady_clock::time_point m_start;
    std::chrono::steady_clock::time_point m_lastDraw;
};
