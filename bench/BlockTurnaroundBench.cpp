// The host's own share of every block: from the last byte of a block acknowledgement being handed to
// the window (ProcessReceivedByte) until the next data block has been written to the serial line.
// The window, its port, engines and log are the real ones; the line is a pty whose other end this
// benchmark reads, so the device answers instantly and only our processing is timed.
//
// Each engine is measured with the log as a technician normally has it (debug lines off) and with
// LOG.ini's debug lines on, which puts three more lines per block into the log control.
#include <benchmark/benchmark.h>

#include <time.h>

#include <algorithm>

#include "bench/BenchSupport.h"
#include "framework/HeadlessApp.h"
#include "tests/support/Dialog_UpdateTestAccess.h"
#include "tools/sim/PtyDevice.h"
#include "tools/sim/SimReplies.h"
#include "ui/resource.h"

namespace {

using namespace std::chrono_literals;

constexpr uint8_t kAddress = 1;
constexpr uint32_t kPayloadBytes = 200000;  // the largest program: 4000 blocks between restarts
constexpr std::chrono::milliseconds kTriggerWaitLimit = 5s;
const std::string kModel = "ORV-SIM";

enum class Engine { Program, Firmware };

// One update kept running against the pty: acknowledgements are fed to the window byte by byte,
// the frames it writes are read back and checked.
class TurnaroundRig {
public:
    TurnaroundRig(Engine engine, bool debugLog) : m_engine(engine) {
        std::string error;
        if (!m_pty.Open(error))
            throw std::runtime_error(error);
        m_port = PortRegistry::Default().Register(m_pty.SlavePath());
        if (m_port == 0 || !m_window.Created() || !m_window.OpenPort(m_port))
            throw std::runtime_error("the window could not open the pty's port");
        Dialog_Update& dialog = m_window.Dialog();
        dialog.m_debugLogEnabled = debugLog;
        const std::vector<uint8_t> payload = PatternBytes(kPayloadBytes, 5);
        if (engine == Engine::Program) {
            m_window.Click(IDC_RADIO_PROGRAM);
            if (!m_window.OpenFile(WriteBenchFile("turnaround.tr3", payload)))
                throw std::runtime_error("the program file was refused");
        } else {
            m_window.Click(IDC_RADIO_FIRMWARE);
            // The block path does not depend on the rate; staying at 9600 keeps the pty's output
            // queue out of the rate change's drain wait.
            m_window.SelectHighSpeed(false);
            if (!m_window.OpenFile(WriteFirmwareImage("turnaround.trs", payload, kModel)))
                throw std::runtime_error("the firmware image was refused");
        }
        m_blocks = Selected().m_totalBlocks;
    }

    ~TurnaroundRig() {
        if (m_port != 0)
            PortRegistry::Default().Unregister(m_port);
    }

    // Starts a run and brings it to the point where block 0 is out and its acknowledgement awaited.
    void Begin() {
        Dialog_Update& dialog = m_window.Dialog();
        if (Inside(dialog).m_updating)
            m_window.Click(IDC_BTN_STOP);
        Drain();
        m_window.Click(IDC_BTN_START);
        if (!Inside(dialog).m_updating)
            throw std::runtime_error("the update did not start");
        if (m_engine == Engine::Firmware) {
            FirmwareUpdate& fw = Inside(dialog).m_firmwareUpdate;
            // The window's own timer moves the engine on after the trigger frame.
            AfxPumpMessagesUntil([&] { return fw.m_state == FW_WAIT_MODEL; }, kTriggerWaitLimit);
            Feed(SimReplies::ModelReply(kAddress, kModel));
            Feed(SimReplies::StatusReply(kAddress, 0));
            Feed(SimReplies::BlockAck(kAddress, FIRMWARE_BLOCK_BASE, static_cast<uint16_t>(m_blocks)));
            if (fw.m_state != FW_WAIT_BLOCK_ACK)
                throw std::runtime_error("the firmware engine did not reach its first block");
        }
        Drain();
    }

    // The block whose acknowledgement the engine waits for.
    uint32_t Awaited() {
        return m_engine == Engine::Program ? Program().m_blockIndex : Firmware().m_blockIndex;
    }
    // The last block's acknowledgement would end the run instead of sending a block.
    bool NeedsRestart() { return !Inside(m_window.Dialog()).m_updating || Awaited() + 1 >= m_blocks; }

    std::vector<uint8_t> AckFor(uint32_t index) const {
        const uint32_t number = m_engine == Engine::Program ? index : FIRMWARE_BLOCK_BASE + 1 + index;
        return SimReplies::BlockAck(kAddress, static_cast<uint16_t>(number), static_cast<uint16_t>(m_blocks));
    }

    void Feed(const std::vector<uint8_t>& bytes) {
        for (uint8_t b : bytes)
            m_window.Dialog().ProcessReceivedByte(b);
    }

    // True when exactly one full data block frame for block `index` is waiting on the line.
    bool NextBlockWritten(uint32_t index) {
        const std::vector<uint8_t> frame = Drain();
        const uint32_t number = m_engine == Engine::Program ? index : FIRMWARE_BLOCK_BASE + 1 + index;
        return frame.size() == MAX_FRAME_LENGTH && frame[1] == FUNC_BLOCK &&
               ((frame[2] << 8) | frame[3]) == static_cast<int>(number & 0xFFFF);
    }

    Dialog_Update& Dialog() { return m_window.Dialog(); }

private:
    BaseUpdate& Selected() {
        return m_engine == Engine::Program ? static_cast<BaseUpdate&>(Program())
                                           : static_cast<BaseUpdate&>(Firmware());
    }
    ProgramUpdate& Program() { return Inside(m_window.Dialog()).m_programUpdate; }
    FirmwareUpdate& Firmware() { return Inside(m_window.Dialog()).m_firmwareUpdate; }

    // Everything written so far: the window writes whole frames synchronously, so it is all there.
    std::vector<uint8_t> Drain() {
        std::vector<uint8_t> bytes;
        uint8_t buffer[4096];
        std::string error;
        for (;;) {
            const long n = m_pty.Read(buffer, sizeof(buffer), error);
            if (n <= 0)
                break;
            bytes.insert(bytes.end(), buffer, buffer + n);
        }
        return bytes;
    }

    Engine m_engine;
    PtyDevice m_pty;
    int m_port = 0;
    HeadlessWindow m_window;
    uint32_t m_blocks = 0;
};

double Percentile(std::vector<double> values, double fraction) {
    if (values.empty())
        return 0;
    std::sort(values.begin(), values.end());
    const size_t at =
        std::min(values.size() - 1, static_cast<size_t>(fraction * static_cast<double>(values.size())));
    return values[at];
}

double ThreadCpuMicros() {
    timespec now{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e6 + static_cast<double>(now.tv_nsec) / 1e3;
}

void BM_AckToNextBlock(benchmark::State& state, Engine engine) {
    const bool debugLog = state.range(0) != 0;
    std::unique_ptr<TurnaroundRig> rig;
    try {
        rig = std::make_unique<TurnaroundRig>(engine, debugLog);
        rig->Begin();
    } catch (const std::exception& e) {
        state.SkipWithError(e.what());
        return;
    }
    std::vector<double> micros;
    micros.reserve(static_cast<size_t>(state.max_iterations));
    // The thread's own CPU time alongside: on a busy machine a long sample with little CPU time in
    // it was spent waiting for a core, not working.
    double mostCpuMicros = 0;
    for (auto _ : state) {
        if (rig->NeedsRestart())
            rig->Begin();
        const uint32_t index = rig->Awaited();
        const std::vector<uint8_t> ack = rig->AckFor(index);
        rig->Feed({ack.begin(), ack.end() - 1});
        const double cpuStart = ThreadCpuMicros();
        const auto start = BenchClock::now();
        rig->Dialog().ProcessReceivedByte(ack.back());
        const auto elapsed = BenchClock::now() - start;
        mostCpuMicros = std::max(mostCpuMicros, ThreadCpuMicros() - cpuStart);
        state.SetIterationTime(std::chrono::duration<double>(elapsed).count());
        micros.push_back(std::chrono::duration<double, std::micro>(elapsed).count());
        if (!rig->NextBlockWritten(index + 1)) {
            state.SkipWithError("the acknowledgement did not bring out the next block");
            return;
        }
    }
    state.counters["p50_us"] = Percentile(micros, 0.50);
    state.counters["p99_us"] = Percentile(micros, 0.99);
    state.counters["max_us"] = Percentile(micros, 1.0);
    state.counters["max_cpu_us"] = mostCpuMicros;
}

}  // namespace

BENCHMARK_CAPTURE(BM_AckToNextBlock, Program, Engine::Program)
    ->ArgName("debugLog")
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);
BENCHMARK_CAPTURE(BM_AckToNextBlock, Firmware, Engine::Firmware)
    ->ArgName("debugLog")
    ->Arg(0)
    ->Arg(1)
    ->UseManualTime()
    ->Unit(benchmark::kMicrosecond);
