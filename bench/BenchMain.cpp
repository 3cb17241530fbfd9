// orvane_bench: the performance figures of the receive path, the checksum, the block turnaround, the
// firmware load and whole transfers. Run by 'make bench'; BENCH_QUICK=1 leaves out the end-to-end
// transfers, which take minutes.
#include <benchmark/benchmark.h>

#include <QApplication>
#include <cstdlib>
#include <cstring>

#include "bench/BenchSupport.h"
#include "bench/EndToEndBench.h"
#include "bench/FirmwareLoadBench.h"
#include "bench/StationBench.h"
#include "bench/SummaryReporter.h"
#include "framework/ConsoleDiagnostics.h"
#include "tests/support/TempRegistry.h"

namespace {

bool QuickRun() {
    const char* quick = std::getenv("BENCH_QUICK");
    return quick && *quick && std::strcmp(quick, "0") != 0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--firmware-load-rss") == 0)
        return RunFirmwareLoadRss(argv[2]);

    // A private port registry and runtime directory for this process and every process it starts:
    // nothing here may see or touch the machine's own serial ports.
    TempRegistry registry;
    SetBenchDirectory(registry.Root());
    ::setenv("QT_QPA_PLATFORM", "offscreen", 1);
    // The serial layer's per-byte lines stay off the output, as in orvane-cli without --trace.
    SetConsoleSink([](ConsoleStream, const std::string&) {});

    int qtArgc = 1;
    char* qtArgv[] = {argv[0], nullptr};
    QApplication app(qtArgc, qtArgv);

    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    if (!QuickRun()) {
        RegisterEndToEndBenchmarks();
        RegisterStationBenchmarks();
    }
    SummaryReporter reporter;
    benchmark::RunSpecifiedBenchmarks(&reporter);
    benchmark::Shutdown();
    SetConsoleSink(nullptr);
    return reporter.Failed() ? 1 : 0;
}
