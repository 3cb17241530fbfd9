#include "tools/cli/ProgressReporter.h"

#include <algorithm>
#include <cstdio>

#include "framework/ConsoleText.h"
#include "tools/cli/Json.h"

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
    m_start = std::chrono::steady_clock::now();
    m_lastPercent = -1;
    m_lastBlocks = UINT32_MAX;
}

double ProgressReporter::BytesPerSecond(uint32_t blocksDone) const {
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - m_start).count();
    const double bytes = std::min<double>(static_cast<double>(blocksDone) * kBlockBytes, m_totalBytes);
    return seconds > 0 ? bytes / seconds : 0.0;
}

std::string ProgressReporter::FormatBar(int percent, uint32_t blocksDone, uint32_t totalBlocks,
                                        double bytesPerSecond, double secondsLeft) {
    percent = std::clamp(percent, 0, 100);
    const int filled = percent * kBarWidth / 100;
    // Built by appending into one string: g++ 12 at -O3 misreads `"[" + std::string(...)` (a
    // literal prepended to a temporary) as an overlapping copy and warns -Wrestrict falsely.
    std::string bar;
    bar.reserve(kBarWidth + 2);
    bar.append(1, '[').append(filled, '#').append(kBarWidth - filled, '.').append(1, ']');
    char text[160];
    if (secondsLeft >= 0) {
        std::snprintf(text, sizeof(text), "%s %3d%%  %u/%u blocks  %.0f B/s  %d:%02d left", bar.c_str(),
                      percent, blocksDone, totalBlocks, bytesPerSecond, static_cast<int>(secondsLeft) / 60,
                      static_cast<int>(secondsLeft) % 60);
    } else {
        std::snprintf(text, sizeof(text), "%s %3d%%  %u/%u blocks  %.0f B/s", bar.c_str(), percent,
                      blocksDone, totalBlocks, bytesPerSecond);
    }
    return text;
}

void ProgressReporter::Update(int percent, uint32_t blocksDone) {
    if (percent == m_lastPercent && blocksDone == m_lastBlocks)
        return;
    const auto now = std::chrono::steady_clock::now();
    const bool final = percent >= 100;
    if (!final && m_lastPercent >= 0 && now - m_lastDraw < kRedrawInterval)
        return;
    m_lastPercent = percent;
    m_lastBlocks = blocksDone;
    m_lastDraw = now;
    const double rate = BytesPerSecond(blocksDone);
    if (m_json) {
        m_emit(JsonObject()
                   .Add("type", "progress")
                   .Add("percent", static_cast<int64_t>(percent))
                   .Add("blocks_done", static_cast<int64_t>(blocksDone))
                   .Add("blocks_total", static_cast<int64_t>(m_totalBlocks))
                   .Add("bytes_per_second", rate)
                   .Text());
        return;
    }
    if (!m_terminal)
        return;
    const double bytesLeft =
        static_cast<double>(m_totalBytes) - static_cast<double>(blocksDone) * kBlockBytes;
    const double secondsLeft = rate > 0 ? std::max(0.0, bytesLeft) / rate : -1;
    ConsolePrintf(ConsoleStream::Error, "\r%s\033[K",
                  FormatBar(percent, blocksDone, m_totalBlocks, rate, secondsLeft).c_str());
    std::fflush(stderr);
    m_drawn = true;
}

void ProgressReporter::Interrupt() {
    if (!m_drawn)
        return;
    WriteConsoleText(ConsoleStream::Error, "\r\033[K");
    std::fflush(stderr);
    m_drawn = false;
    m_lastPercent = -1;
}

void ProgressReporter::End() {
    if (m_drawn) {
        WriteConsoleText(ConsoleStream::Error, "\n");
        std::fflush(stderr);
        m_drawn = false;
    }
}
