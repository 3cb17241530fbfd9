// The receive path's cost per byte while its buffer holds bytes that form no frame: the window's
// own ProcessReceivedByte, and for comparison the plain reading of the rule (one CRC over the whole
// buffer for every byte that arrives).
//
// The buffer is kept near the fill level by restoring a snapshot between timed batches: each batch
// takes the buffer from fill - batch + 1 to fill bytes, so the figures hold for that band.
#include <benchmark/benchmark.h>

#include <algorithm>

#include "bench/BenchSupport.h"
#include "protocol/Protocol.h"
#include "protocol/ReceiveBuffer.h"
#include "tests/support/Dialog_UpdateTestAccess.h"

namespace {

constexpr size_t kWideBatch = 64;
constexpr size_t kNarrowBatch = 4;  // a buffer of 8 bytes leaves little room for a batch

size_t BatchFor(size_t fill) {
    return fill >= 2 * kWideBatch ? kWideBatch : kNarrowBatch;
}

// Bytes behind an address and the block function code (so no byte is ever skipped as stray) in
// which no prefix ends in the CRC of what precedes it: no length the buffer passes through holds a
// frame.
std::vector<uint8_t> NoFrameBytes(size_t count) {
    std::vector<uint8_t> bytes = PatternBytes(count, 11);
    bytes[0] = 0x01;
    bytes[1] = FUNC_BLOCK;
    for (size_t length = 3; length <= count; ++length) {
        const uint16_t crc = Crc16Modbus(bytes.data(), static_cast<uint32_t>(length - 2));
        const auto trailer = [&] {
            return static_cast<uint16_t>(bytes[length - 2] | (bytes[length - 1] << 8));
        };
        while (trailer() == crc)
            ++bytes[length - 1];
    }
    return bytes;
}

// The rule read literally: append, check the CRC over everything but the last two bytes, apply
// the function code's length rule, drop everything past the limit.
class PlainReceivePath {
public:
    // The length of the frame the byte completed, or 0.
    uint16_t Process(uint8_t byte) {
        m_buffer.push_back(byte);
        const auto length = static_cast<uint16_t>(m_buffer.size());
        if (length >= 3) {
            const uint16_t crc = Crc16Modbus(m_buffer.data(), length - 2u);
            const uint16_t trailer =
                static_cast<uint16_t>(m_buffer[length - 2] | (m_buffer[length - 1] << 8));
            if (crc == trailer) {
                if (const uint16_t frame = FrameLength(length); frame != 0) {
                    m_buffer.erase(m_buffer.begin(), m_buffer.begin() + frame);
                    return frame;
                }
            }
        }
        if (m_buffer.size() > RX_DISCARD_LIMIT)
            m_buffer.clear();
        return 0;
    }

    std::vector<uint8_t> m_buffer;

private:
    uint16_t FrameLength(uint16_t length) const {
        const uint8_t count = m_buffer[2];
        switch (m_buffer[1]) {
            case FUNC_EXTENDED:
                return length >= 8 && length >= count + 5 ? static_cast<uint16_t>(count + 5) : 0;
            case FUNC_MODEL:
                return length >= 4 && length >= count + 5 ? static_cast<uint16_t>(count + 5) : 0;
            case FUNC_BLOCK:
                return length >= 8 ? static_cast<uint16_t>(BLOCK_ACK_LENGTH) : 0;
            case FUNC_STATUS:
                return length >= 5 ? length : 0;
            default:
                return 0;
        }
    }
};

double Seconds(BenchClock::duration d) {
    return std::chrono::duration<double>(d).count();
}

void BM_ReceivePathWindow(benchmark::State& state) {
    const size_t fill = static_cast<size_t>(state.range(0));
    const size_t batch = BatchFor(fill);
    const std::vector<uint8_t> bytes = NoFrameBytes(fill);
    HeadlessWindow window;
    if (!window.Created()) {
        state.SkipWithError("the main window was not created");
        return;
    }
    Dialog_Update& dialog = window.Dialog();
    Inside(dialog).m_rxBuffer.clear();
    for (size_t i = 0; i + batch < fill; ++i)
        Inside(dialog).m_rxBuffer.push_back(bytes[i]);
    const ReceiveBuffer snapshot = Inside(dialog).m_rxBuffer;

    for (auto _ : state) {
        Inside(dialog).m_rxBuffer = snapshot;
        const auto start = BenchClock::now();
        for (size_t i = fill - batch; i < fill; ++i)
            dialog.ProcessReceivedByte(bytes[i]);
        state.SetIterationTime(Seconds(BenchClock::now() - start));
        if (Inside(dialog).m_rxBuffer.size() != fill) {
            state.SkipWithError("the receive path found a frame or dropped bytes");
            return;
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(batch));
    state.counters["bytes_per_batch"] = static_cast<double>(batch);
}

void BM_ReceivePathPlain(benchmark::State& state) {
    const size_t fill = static_cast<size_t>(state.range(0));
    const size_t batch = BatchFor(fill);
    const std::vector<uint8_t> bytes = NoFrameBytes(fill);
    PlainReceivePath path;
    path.m_buffer.assign(bytes.begin(), bytes.end() - static_cast<std::ptrdiff_t>(batch));
    const std::vector<uint8_t> snapshot = path.m_buffer;
    path.m_buffer.reserve(RX_DISCARD_LIMIT + 1);

    for (auto _ : state) {
        path.m_buffer.assign(snapshot.begin(), snapshot.end());
        uint32_t frames = 0;
        const auto start = BenchClock::now();
        for (size_t i = fill - batch; i < fill; ++i)
            frames += path.Process(bytes[i]);
        state.SetIterationTime(Seconds(BenchClock::now() - start));
        if (frames != 0 || path.m_buffer.size() != fill) {
            state.SkipWithError("the plain receive path found a frame or dropped bytes");
            return;
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<int64_t>(batch));
    state.counters["bytes_per_batch"] = static_cast<double>(batch);
}

}  // namespace

BENCHMARK(BM_ReceivePathWindow)->Arg(8)->Arg(1000)->Arg(RX_DISCARD_LIMIT)->UseManualTime();
BENCHMARK(BM_ReceivePathPlain)->Arg(8)->Arg(1000)->Arg(RX_DISCARD_LIMIT)->UseManualTime();
