#include "bench/SummaryReporter.h"

#include <cstdio>

namespace {

constexpr double kMega = 1e6;
constexpr double kKibPerMib = 1024;

template <class... Numbers>
std::string Format(const char* format, Numbers... numbers) {
    char text[160];
    std::snprintf(text, sizeof(text), format, static_cast<double>(numbers)...);
    return text;
}

void Row(const std::string& what, const std::string& value, const std::string& target = {}) {
    std::printf("  %-50s %-44s %s\n", what.c_str(), value.c_str(), target.c_str());
}

}  // namespace

bool SummaryReporter::ReportContext(const Context& context) {
    std::fprintf(stderr, "orvane benchmarks: %d CPUs at %.0f MHz\n", context.cpu_info.num_cpus,
                 context.cpu_info.cycles_per_second / kMega);
    return true;
}

void SummaryReporter::ReportRuns(const std::vector<Run>& runs) {
    for (const Run& run : runs) {
        if (run.run_type != Run::RT_Iteration)
            continue;
        std::string name = run.run_name.function_name;
        if (!run.run_name.args.empty())
            name += "/" + run.run_name.args;
        if (run.error_occurred) {
            m_failed = true;
            std::fprintf(stderr, "  %-48s FAILED: %s\n", name.c_str(), run.error_message.c_str());
        } else {
            std::fprintf(stderr, "  %-48s %.6g s per iteration\n", name.c_str(), SecondsPerIteration(run));
        }
        m_runs[name] = run;
    }
}

const benchmark::BenchmarkReporter::Run* SummaryReporter::Find(const std::string& name) const {
    const auto it = m_runs.find(name);
    return it == m_runs.end() || it->second.error_occurred ? nullptr : &it->second;
}

double SummaryReporter::Counter(const Run& run, const std::string& key) const {
    const auto it = run.counters.find(key);
    return it == run.counters.end() ? 0 : it->second.value;
}

double SummaryReporter::SecondsPerIteration(const Run& run) {
    return run.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(run.time_unit);
}

void SummaryReporter::Finalize() {
    std::printf("\nSummary (all figures measured in this run; details in bench/results.json)\n");

    for (const char* size : {"50", "2776750"}) {
        const Run* table = Find(std::string("BM_Crc16Table/") + size);
        const Run* bitwise = Find(std::string("BM_Crc16Bitwise/") + size);
        if (!table || !bitwise)
            continue;
        const double bytes = Counter(*table, "bytes_per_call");
        const double tableRate = bytes / SecondsPerIteration(*table) / kMega;
        const double bitwiseRate = bytes / SecondsPerIteration(*bitwise) / kMega;
        Row(std::string("CRC-16/MODBUS over ") + size + " B, table / bitwise",
            Format("%.0f / %.0f MB/s (%.1fx)", tableRate, bitwiseRate, tableRate / bitwiseRate));
    }

    for (const char* fill : {"8", "1000", "4096"}) {
        const Run* window = Find(std::string("BM_ReceivePathWindow/") + fill);
        const Run* plain = Find(std::string("BM_ReceivePathPlain/") + fill);
        if (!window || !plain)
            continue;
        const auto nsPerByte = [this](const Run& run) {
            return SecondsPerIteration(run) * 1e9 / Counter(run, "bytes_per_batch");
        };
        const double ns = nsPerByte(*window);
        Row(std::string("Receive path at ") + fill + " B buffered, window / plain",
            Format("%.1f / %.1f ns per byte", ns, nsPerByte(*plain)),
            ns < 100 ? "target < 100 ns: met" : "target < 100 ns: MISSED");
    }

    for (const char* engine : {"Program", "Firmware"}) {
        for (const char* log : {"0", "1"}) {
            const Run* run = Find(std::string("BM_AckToNextBlock/") + engine + "/debugLog:" + log);
            if (!run)
                continue;
            const double mean = SecondsPerIteration(*run) * 1e6;
            const double worst = Counter(*run, "max_us");
            Row(std::string("Ack to next block, ") + engine + (log[0] == '1' ? ", debug log" : ""),
                Format("%.1f us mean, %.1f p99, %.0f max (CPU %.0f)", mean, Counter(*run, "p99_us"), worst,
                       Counter(*run, "max_cpu_us")),
                Counter(*run, "p99_us") < 200 ? "target < 200 us: met" : "target < 200 us: MISSED");
        }
    }

    if (const Run* load = Find("BM_FirmwareLoad"))
        Row("Load + verify 2,776,750 B firmware", Format("%.1f ms", SecondsPerIteration(*load) * 1e3));
    if (const Run* rss = Find("BM_FirmwareLoadPeakRss")) {
        Row("  peak RSS of a process loading it",
            Format("%.1f MiB (%.1f MiB for the load, image %.1f MiB)",
                   Counter(*rss, "peak_rss_kib") / kKibPerMib, Counter(*rss, "load_peak_kib") / kKibPerMib,
                   Counter(*rss, "image_kib") / kKibPerMib));
    }

    for (const char* count : {"4", "8"}) {
        const Run* run = Find(std::string("Station/Program/") + count);
        if (!run)
            continue;
        const double ratio = Counter(*run, "ratio");
        Row(std::string("Station: 20000 B program at 9600 to ") + count + " devices",
            Format("%.1f s vs %.1f s alone: ratio %.3f; CPU %.2f s per device", Counter(*run, "all_s"),
                   Counter(*run, "alone_s"), ratio, Counter(*run, "device_cpu_s")),
            ratio <= 1.15 ? "target <= 1.15: met" : "target <= 1.15: MISSED");
        Row("  threads / open files: station, each device",
            Format("%.0f / %.0f, %.0f / %.0f", Counter(*run, "station_threads"),
                   Counter(*run, "station_files"), Counter(*run, "device_threads"),
                   Counter(*run, "device_files")));
    }
    if (const Run* run = Find("Station/Firmware115200/4")) {
        Row("Station: 20000 B firmware at 115200, CPU per device",
            Format("%.2f s (station process %.2f s)", Counter(*run, "device_cpu_s"),
                   Counter(*run, "station_cpu_s")));
    }

    // Each transfer with the default reader and with --low-latency, and the target each must reach.
    struct Transfer {
        const char* name;
        const char* what;
        double target;
    };
    const Transfer transfers[] = {
        {"EndToEnd/Program/9600/0", "program at 9600", 0.88},
        {"EndToEnd/Program/9600/1", "program at 9600, --low-latency", 0.97},
        {"EndToEnd/Firmware/115200/0", "firmware at 115200", 0},
        {"EndToEnd/Firmware/115200/1", "firmware at 115200, --low-latency", 0.95},
    };
    for (const Transfer& transfer : transfers) {
        const Run* run = Find(transfer.name);
        if (!run)
            continue;
        const double ratio = Counter(*run, "ratio");
        std::string verdict;
        if (transfer.target > 0) {
            verdict =
                Format("target >= %.2f: ", transfer.target) + (ratio >= transfer.target ? "met" : "MISSED");
        }
        Row(std::string("EndToEnd: 200000 B ") + transfer.what,
            Format("%.1f s; wire %.1f s + device %.1f s: ratio %.3f", Counter(*run, "measured_s"),
                   Counter(*run, "wire_floor_s"), Counter(*run, "device_s"), ratio),
            verdict);
        Row("  per block (steady)",
            Format("%.2f ms; wire %.2f + device %.2f ms: ratio %.3f", Counter(*run, "block_ms"),
                   Counter(*run, "block_wire_ms"), Counter(*run, "block_device_ms"),
                   Counter(*run, "block_ratio")),
            Format("wire alone: ratio %.3f", Counter(*run, "wire_ratio")));
    }

    for (const bool lowLatency : {false, true}) {
        const Run* cycle = Find(lowLatency ? "BlockCycle/115200/1" : "BlockCycle/115200/0");
        if (!cycle)
            continue;
        Row(std::string("Block cycle at 115200, in-process") + (lowLatency ? ", low latency" : ""),
            Format("%.2f ms per block", Counter(*cycle, "cycle_ms")));
        Row("  wire: 59 + 8 bytes", Format("%.2f ms", Counter(*cycle, "wire_ms")));
        Row("  device, beyond the wire", Format("%.2f ms", Counter(*cycle, "device_ms")));
        Row("  reader: ack on the line -> last byte at window",
            Format("%.2f ms", Counter(*cycle, "reader_ms")),
            lowLatency ? "woken by the first byte" : "the 10 ms pause after each read, then the 1 ms gap");
        Row("  ours: last byte -> next frame", Format("%.3f ms", Counter(*cycle, "ours_ms")));
        Row("  the write and the line to the device", Format("%.3f ms", Counter(*cycle, "to_device_ms")));
    }
    std::fflush(stdout);
}
