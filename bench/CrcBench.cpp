// CRC-16/MODBUS throughput: the table-driven routine every frame and the verify record go through,
// against the bit-by-bit definition, on one data block frame's worth and on the largest firmware
// payload.
#include <benchmark/benchmark.h>

#include "bench/BenchSupport.h"
#include "protocol/Protocol.h"
#include "tests/support/BitwiseCrc16.h"
#include "update/FirmwareFile.h"

namespace {

constexpr int64_t kFrameBytes = BLOCK_SIZE;
constexpr int64_t kPayloadBytes = FIRMWARE_MAX_PAYLOAD;

template <class Crc>
void RunCrc(benchmark::State& state, Crc crc) {
    const std::vector<uint8_t> data = PatternBytes(static_cast<size_t>(state.range(0)), 7);
    // Both routines must agree before either figure means anything.
    if (Crc16Modbus(data.data(), static_cast<uint32_t>(data.size())) !=
        BitwiseCrc16Modbus(data.data(), data.size())) {
        state.SkipWithError("the table-driven CRC differs from the bitwise one");
        return;
    }
    for (auto _ : state) {
        // The data counts as changed every round, so no computation can be hoisted out of the loop.
        benchmark::ClobberMemory();
        benchmark::DoNotOptimize(crc(data.data(), data.size()));
    }
    state.SetBytesProcessed(state.iterations() * state.range(0));
    state.counters["bytes_per_call"] = static_cast<double>(state.range(0));
}

void BM_Crc16Table(benchmark::State& state) {
    RunCrc(state, [](const uint8_t* data, size_t length) {
        return Crc16Modbus(data, static_cast<uint32_t>(length));
    });
}

void BM_Crc16Bitwise(benchmark::State& state) {
    RunCrc(state, BitwiseCrc16Modbus);
}

}  // namespace

BENCHMARK(BM_Crc16Table)->Arg(kFrameBytes)->Arg(kPayloadBytes);
BENCHMARK(BM_Crc16Bitwise)->Arg(kFrameBytes)->Arg(kPayloadBytes);
