#include "tools/cli/ProgressReporter.h"

#include <algorithm>
#include <cstdio>

#include "framework/ConsoleText.h"
#include "tools/cli/Json.h"
#include "tools/i18n/Messages.h"

namespace {

constexpr int kBarWidth = 30;
// Redrawing the terminal line more often than this only flickers.
constexpr std::chrono::milliseconds kRedrawInterval{100};
constexpr uint32_t kBlockBytes = 50;

}  // namespace

ProgressReporter::ProgressReporter(bool json, bool terminal, Emit emit)
    : m_json(json), m_terminal(terminal), m_emit(std::move(emit)) {}

void ProgressReporter::Begin(uint32_t totalBlocks, uint32_t totalBytes) {
    m_totalBlocks = totalBlocks;
    m_totalBytes = totalBytes;
    m_lastBlocks = UINT32_MAX;
    m_firstBlockSeen = false;
    m_finished = false;
}

int ProgressReporter::Percent(uint32_t blocksDone, uint32_t totalBlocks) {
    if (totalBlocks == 0)
        return 0;
    return static_cast<int>(std::min<uint64_t>(100, uint64_t{blocksDone} * 100 / totalBlocks));
}

std::string ProgressReporter::FormatBar(uint32_t blocksDone, uint32_t totalBlocks, double bytesPerSecond,
                                        double secondsLeft) {
    const int percent = Percent(blocksDone, totalBlocks);
    const int filled = percent * kBarWidth / 100;
    // Built by appending into one string: g++ 12 at -O3 misreads `"[" + std::string(...)` (a
    // literal prepended to a temporary) as an overlapping copy and warns -Wrestrict falsely.
    std::string bar;
    bar.reserve(kBarWidth + 2);
    bar.append(1, '[').append(filled, '#').append(kBarWidth - filled, '.').append(1, ']');
    char text[160];
    if (secondsLeft >= 0) {
        std::snprintf(text, sizeof(text), Tr("%s %3d%%  %u/%u blocks  %.0f B/s  %d:%02d left"), bar.c_str(),
                      percent, blocksDone, totalBlocks, bytesPerSecond, static_cast<int>(secondsLeft) / 60,
                      static_cast<int>(secondsLeft) % 60);
    } else {
        std::snprintf(text, sizeof(text), Tr("%s %3d%%  %u/%u blocks  %.0f B/s"), bar.c_str(), percent,
                      blocksDone, totalBlocks, bytesPerSecond);
    }
    return text;
}

void ProgressReporter::Update(uint32_t blocksDone) {
    if (m_finished || blocksDone == m_lastBlocks)
        return;
    const auto now = std::chrono::steady_clock::now();
    if (!m_firstBlockSeen && blocksDone > 0) {
        m_firstBlockSeen = true;
        m_firstBlocks = blocksDone;
        m_firstBlockAt = now;
    }
    const bool final = m_totalBlocks != 0 && blocksDone >= m_totalBlocks;
    if (!final && m_lastBlocks != UINT32_MAX && now - m_lastDraw < kRedrawInterval)
        return;
    m_lastBlocks = blocksDone;
    m_lastDraw = now;
    const double seconds = std::chrono::duration<double>(now - m_firstBlockAt).count();
    const uint32_t counted = m_firstBlockSeen ? blocksDone - m_firstBlocks : 0;
    const double rate =
        counted > 0 && seconds > 0 ? counted * static_cast<double>(kBlockBytes) / seconds : 0.0;
    if (m_json) {
        m_emit(JsonObject()
                   .Event("progress")
                   .Add("percent", static_cast<int64_t>(Percent(blocksDone, m_totalBlocks)))
                   .Add("blocks_done", static_cast<int64_t>(blocksDone))
                   .Add("blocks_total", static_cast<int64_t>(m_totalBlocks))
                   .Add("bytes_per_second", rate)
                   .Text());
        m_finished = final;
        return;
    }
    if (!m_terminal)
        return;
    const double bytesLeft =
        std::max(0.0, static_cast<double>(m_totalBytes) - static_cast<double>(blocksDone) * kBlockBytes);
    const double secondsLeft = counted >= kEstimateAfterBlocks && rate > 0 ? bytesLeft / rate : -1;
    ConsolePrintf(ConsoleStream::Error, "\r%s\033[K",
                  FormatBar(blocksDone, m_totalBlocks, rate, final ? -1 : secondsLeft).c_str());
    m_drawn = true;
    if (final) {
        End();
        m_finished = true;
    }
}

void ProgressReporter::Interrupt() {
    if (!m_drawn)
        return;
    WriteConsoleText(ConsoleStream::Error, "\r\033[K");
    m_drawn = false;
    m_lastBlocks = UINT32_MAX;
}

void ProgressReporter::End() {
    if (m_drawn) {
        WriteConsoleText(ConsoleStream::Error, "\n");
        m_drawn = false;
    }
}
