// Station/Program/N: a 20,000-byte program sent at 9600 to N paced simulated devices at once by
// one 'orvane-cli program --ports ...' run, against the same program sent to one device alone. The
// ratio of the two times is the cost of running devices side by side (target <= 1.15). Every
// device's payload must arrive byte-identical. While the run is under way the host processes are
// sampled from /proc for threads and open descriptors; the CPU time of each device's process comes
// from the run's own JSON results (wait4), the station process's own from getrusage.
//
// Station/Firmware115200/N: a firmware update of the same size at 115200 to N devices, for the CPU
// time one device's process takes.
#include "bench/StationBench.h"

#include <benchmark/benchmark.h>
#include <signal.h>
#include <sys/resource.h>

#include <QJsonDocument>
#include <QJsonObject>
#include <fstream>
#include <optional>

#include "bench/BenchSupport.h"
#include "tests/cli/CliProcess.h"

namespace {

using namespace std::chrono_literals;

constexpr uint32_t kStationBytes = 20000;
constexpr std::chrono::milliseconds kReadyLimit = 10s;
constexpr std::chrono::milliseconds kRunLimit = 5min;
constexpr std::chrono::milliseconds kExitLimit = 10s;
constexpr double kRatioTarget = 1.15;
const std::string kModel = "ORV-SIM";

double Seconds(BenchClock::duration d) {
    return std::chrono::duration<double>(d).count();
}

double ChildrenCpuSeconds() {
    rusage usage{};
    ::getrusage(RUSAGE_CHILDREN, &usage);
    return static_cast<double>(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           static_cast<double>(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The orvane-cli processes running `command` now: threads and open descriptors of the station
// process (the one given --ports) and the most of any device process.
struct ProcessSample {
    long stationThreads = 0, stationFiles = 0, deviceThreads = 0, deviceFiles = 0, devices = 0;
};

ProcessSample SampleHosts(const std::string& command) {
    ProcessSample sample;
    namespace fs = std::filesystem;
    std::error_code ec;
    for (const fs::directory_entry& entry : fs::directory_iterator("/proc", ec)) {
        std::ifstream in(entry.path() / "cmdline");
        std::string cmdline((std::istreambuf_iterator<char>(in)), {});
        std::vector<std::string> args;
        for (size_t start = 0; start < cmdline.size();) {
            const size_t end = cmdline.find('\0', start);
            args.push_back(cmdline.substr(start, end - start));
            start = end == std::string::npos ? cmdline.size() : end + 1;
        }
        if (args.size() < 2 || args[0] != ORVANE_CLI || args[1] != command)
            continue;
        long threads = 0;
        std::ifstream status(entry.path() / "status");
        for (std::string line; std::getline(status, line);) {
            if (line.rfind("Threads:", 0) == 0)
                threads = std::strtol(line.c_str() + 8, nullptr, 10);
        }
        long files = 0;
        for ([[maybe_unused]] const auto& fd : fs::directory_iterator(entry.path() / "fd", ec))
            ++files;
        if (std::find(args.begin(), args.end(), "--ports") != args.end()) {
            sample.stationThreads = threads;
            sample.stationFiles = files;
        } else {
            ++sample.devices;
            sample.deviceThreads = std::max(sample.deviceThreads, threads);
            sample.deviceFiles = std::max(sample.deviceFiles, files);
        }
    }
    return sample;
}

struct StationRunResult {
    std::string error;
    double seconds = 0;
    double stationCpu = 0;    // the station process alone
    double devicesCpu = 0;    // all device processes together
    double maxDeviceCpu = 0;  // the busiest device process
    ProcessSample sample;
};

// Starts `count` paced devices and runs `command` on all of them at once (one device: the plain
// single-port command), checking every device's payload.
StationRunResult RunStation(int count, const std::string& command, const std::string& file,
                            const std::vector<uint8_t>& payload, const std::vector<std::string>& extra) {
    StationRunResult result;
    std::vector<std::string> simulate = {"simulate", "--count", std::to_string(count), "--pace"};
    std::vector<std::string> saved;
    for (int k = 1; k <= count; ++k) {
        saved.push_back((BenchDirectory() / ("station-" + std::to_string(k) + ".bin")).string());
        std::filesystem::remove(saved.back());
        simulate.insert(simulate.end(), {"--device", std::to_string(k) + ":--save=" + saved.back()});
    }
    CliProcess devices(simulate);
    std::vector<std::string> ports;
    for (int k = 0; k < count; ++k) {
        const std::optional<std::string> line = devices.NextLine(kReadyLimit);
        if (!line || line->rfind("READY COM", 0) != 0) {
            result.error = "the simulated devices did not start: " + devices.Err();
            return result;
        }
        ports.push_back(line->substr(6, line->find(' ', 6) - 6));
    }
    std::vector<std::string> args = {command, file, "--json", "--timeout", "10"};
    if (count == 1)
        args.insert(args.end(), {"--port", ports[0]});
    else
        args.insert(args.end(), {"--ports", ports.front() + "-" + ports.back()});
    args.insert(args.end(), extra.begin(), extra.end());

    const double cpuBefore = ChildrenCpuSeconds();
    const auto start = BenchClock::now();
    CliProcess host(args);
    bool sampled = false;
    int completed = 0;
    while (const std::optional<std::string> line = host.NextLine(kRunLimit)) {
        const QJsonObject object = QJsonDocument::fromJson(QByteArray::fromStdString(*line)).object();
        // Mid-transfer every process is up and has its line open.
        if (!sampled && object["type"] == "progress" && object["percent"].toInt() >= 30) {
            result.sample = SampleHosts(command);
            sampled = true;
        }
        if (object["type"] == "result" && object["status"] == "completed") {
            ++completed;
            const double cpu = object["cpu_ms"].toDouble() / 1000;
            result.devicesCpu += cpu;
            result.maxDeviceCpu = std::max(result.maxDeviceCpu, cpu);
        }
    }
    const int exitCode = host.Wait(kExitLimit);
    result.seconds = Seconds(BenchClock::now() - start);
    const double hostCpu = ChildrenCpuSeconds() - cpuBefore;
    // Alone, the host process is the device's process; in a station it is the parent of them.
    if (count == 1) {
        result.devicesCpu = result.maxDeviceCpu = hostCpu;
    } else {
        // The two clocks tick differently (the children's figures are their own, the total is the
        // kernel's sum at reaping), so a station process that did next to nothing may come out a
        // hair below zero.
        result.stationCpu = std::max(0.0, hostCpu - result.devicesCpu);
    }
    devices.Signal(SIGTERM);
    devices.Wait(kExitLimit);
    if (exitCode != 0 || completed != count) {
        result.error = "orvane-cli " + command + " did not complete on every device (exit " +
                       std::to_string(exitCode) + ", " + std::to_string(completed) + " completed)";
        return result;
    }
    for (const std::string& path : saved) {
        if (ReadBenchFile(path) != payload) {
            result.error = "a device received something other than the file: " + path;
            return result;
        }
    }
    return result;
}

void BM_StationProgram(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    const std::vector<uint8_t> payload = PatternBytes(kStationBytes, 31);
    const std::string file = WriteBenchFile("station.tr3", payload);
    for (auto _ : state) {
        const StationRunResult alone = RunStation(1, "program", file, payload, {});
        const StationRunResult all = RunStation(count, "program", file, payload, {});
        for (const StationRunResult* run : {&alone, &all}) {
            if (!run->error.empty()) {
                state.SkipWithError(run->error.c_str());
                return;
            }
        }
        state.SetIterationTime(all.seconds);
        state.counters["devices"] = count;
        state.counters["alone_s"] = alone.seconds;
        state.counters["all_s"] = all.seconds;
        state.counters["ratio"] = all.seconds / alone.seconds;
        state.counters["ratio_target"] = kRatioTarget;
        state.counters["station_cpu_s"] = all.stationCpu;
        state.counters["device_cpu_s"] = all.devicesCpu / count;
        state.counters["alone_cpu_s"] = alone.devicesCpu;
        state.counters["station_threads"] = static_cast<double>(all.sample.stationThreads);
        state.counters["station_files"] = static_cast<double>(all.sample.stationFiles);
        state.counters["device_threads"] = static_cast<double>(all.sample.deviceThreads);
        state.counters["device_files"] = static_cast<double>(all.sample.deviceFiles);
        state.counters["processes_seen"] = static_cast<double>(all.sample.devices);
    }
}

void BM_StationFirmware(benchmark::State& state) {
    const int count = static_cast<int>(state.range(0));
    const std::vector<uint8_t> payload = PatternBytes(kStationBytes, 32);
    const std::string file = WriteFirmwareImage("station.trs", payload, kModel);
    for (auto _ : state) {
        const StationRunResult all = RunStation(count, "firmware", file, payload, {"--baud", "115200"});
        if (!all.error.empty()) {
            state.SkipWithError(all.error.c_str());
            return;
        }
        state.SetIterationTime(all.seconds);
        state.counters["devices"] = count;
        state.counters["all_s"] = all.seconds;
        state.counters["device_cpu_s"] = all.devicesCpu / count;
        state.counters["max_device_cpu_s"] = all.maxDeviceCpu;
        state.counters["station_cpu_s"] = all.stationCpu;
    }
}

}  // namespace

void RegisterStationBenchmarks() {
    for (const int count : {4, 8}) {
        benchmark::RegisterBenchmark("Station/Program", BM_StationProgram)
            ->Arg(count)
            ->Iterations(1)
            ->UseManualTime()
            ->Unit(benchmark::kSecond);
    }
    benchmark::RegisterBenchmark("Station/Firmware115200", BM_StationFirmware)
        ->Arg(4)
        ->Iterations(1)
        ->UseManualTime()
        ->Unit(benchmark::kSecond);
}
