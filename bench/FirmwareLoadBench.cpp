// Loading the largest firmware image the tool accepts (payload FIRMWARE_MAX_PAYLOAD bytes) through
// the firmware engine: how long loading and verifying take, and how much memory it needs at its
// peak. The peak is measured in a fresh process (this program started again with
// --firmware-load-rss), whose high-water mark nothing else has raised.
#include "bench/FirmwareLoadBench.h"

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <climits>
#include <cstdio>
#include <fstream>

#include "bench/BenchSupport.h"
#include "update/FirmwareFile.h"
#include "update/FirmwareUpdate.h"

namespace {

const std::string kModel = "ORV-SIM";

std::string LargestImage() {
    static const std::string path =
        WriteFirmwareImage("largest.trs", PatternBytes(FIRMWARE_MAX_PAYLOAD, 13), kModel);
    return path;
}

void BM_FirmwareLoad(benchmark::State& state) {
    const CString path = CString::FromUtf8(LargestImage());
    for (auto _ : state) {
        FirmwareUpdate engine;
        if (!engine.LoadFile(path) || engine.m_fileSize != FIRMWARE_MAX_PAYLOAD) {
            state.SkipWithError("the largest accepted image was refused");
            return;
        }
        benchmark::DoNotOptimize(engine.m_data.data());
    }
    state.SetBytesProcessed(state.iterations() * FIRMWARE_MAX_PAYLOAD);
}

void BM_FirmwareLoadPeakRss(benchmark::State& state) {
    char self[PATH_MAX] = {};
    if (::readlink("/proc/self/exe", self, sizeof(self) - 1) <= 0) {
        state.SkipWithError("cannot find this program");
        return;
    }
    const std::string command = std::string("'") + self + "' --firmware-load-rss '" + LargestImage() + "'";
    long baseline = -1, peak = -1, loaded = 0;
    for (auto _ : state) {
        FILE* child = ::popen(command.c_str(), "r");
        if (!child || std::fscanf(child, "%ld %ld %ld", &baseline, &peak, &loaded) != 3) {
            if (child)
                ::pclose(child);
            state.SkipWithError("the measuring process gave no figures");
            return;
        }
        ::pclose(child);
    }
    if (!loaded || baseline <= 0 || peak < baseline) {
        state.SkipWithError("the measuring process could not load the image");
        return;
    }
    state.counters["image_kib"] = static_cast<double>(FIRMWARE_HEADER_SIZE + FIRMWARE_MAX_PAYLOAD) / 1024;
    state.counters["rss_before_kib"] = static_cast<double>(baseline);
    state.counters["peak_rss_kib"] = static_cast<double>(peak);
    state.counters["load_peak_kib"] = static_cast<double>(peak - baseline);
}

}  // namespace

int RunFirmwareLoadRss(const char* path) {
    FirmwareUpdate engine;
    const long baseline = ProcStatusKib("VmRSS");
    // Start the high-water mark afresh from what is resident now (Linux 4.0 and later).
    std::ofstream("/proc/self/clear_refs") << "5";
    const BOOL loaded = engine.LoadFile(CString::FromUtf8(path));
    const long peak = ProcStatusKib("VmHWM");
    std::printf("%ld %ld %d\n", baseline, peak, loaded ? 1 : 0);
    return loaded ? 0 : 1;
}

BENCHMARK(BM_FirmwareLoad)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FirmwareLoadPeakRss)->Iterations(1)->Unit(benchmark::kMillisecond);
