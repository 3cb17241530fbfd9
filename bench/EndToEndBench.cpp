// Whole transfers against a device that takes the wire time of every byte, compared with what the
// protocol allows on the wire.
//
// EndToEnd/*/<rate>/<low latency>: orvane-cli program / firmware as a real process, with and without
// --low-latency, against the paced simulated device ('simulate --pace', run on a thread of this
// process so that its lines can be stamped as it writes them). The wire floor is blocks x (59 + 8)
// bytes x 10 bits / rate plus what every run must also do: the trigger frame and its pause, and for
// a firmware update the one-second wait, the model query at 9600, the 50 ms pause before the rate
// change and the status and verify exchanges. The device's own time beyond the wire is its reply
// time to every block (from reading the frame to writing the acknowledgement, less both on the
// wire: the simulator wakes for a reply on a whole millisecond, so about half of one late) and the
// simulator's 250 ms before it answers at 115200; it is reported, and counted as the device's: the
// ratio is (wire floor + device) / measured. The measured time runs from starting the host process
// to its exit; the steady per-block time comes from the host's own --json progress lines, stamped as
// they arrive.
//
// BlockCycle/115200/<low latency>: the same firmware update in-process, with every step of a block's round
// trip stamped: the host logging the frame just before writing it, the device reading it and writing its
// acknowledgement, the acknowledgement's last byte reaching the window, the next frame.
#include "bench/EndToEndBench.h"
#include "tests/support/Dialog_UpdateTestAccess.h"

#include <benchmark/benchmark.h>

#include <map>
#include <optional>

#include "bench/BenchSupport.h"
#include "framework/HeadlessApp.h"
#include "tests/cli/CliProcess.h"
#include "ui/resource.h"

namespace {

using namespace std::chrono_literals;

constexpr uint32_t kTransferBytes = 200000;
constexpr uint32_t kFullBlockRoundTrip = MAX_FRAME_LENGTH + BLOCK_ACK_LENGTH;  // 59 + 8 bytes
constexpr std::chrono::milliseconds kRunLimit = 15min;
constexpr std::chrono::milliseconds kExitLimit = 10s;
// Fixed waits of the host: after the program update's trigger, after the firmware update's
// trigger (the window's timer), and between the model query and the change to 115200.
constexpr std::chrono::milliseconds kProgramTriggerPause = 100ms;
constexpr std::chrono::milliseconds kFirmwareTriggerWait = 1000ms;
constexpr std::chrono::milliseconds kRateChangePause = 50ms;
constexpr uint32_t kModelReplyOverhead = 5;  // address, code, length byte, CRC
constexpr uint32_t kStatusReplyLength = 5;
constexpr uint32_t kBreakdownBlocks = 500;
const std::string kModel = "ORV-SIM";

double Seconds(BenchClock::duration d) {
    return std::chrono::duration<double>(d).count();
}

double BlockWireSeconds(uint32_t rate) {
    return kFullBlockRoundTrip * ByteSeconds(rate);
}

double ProgramFloorSeconds(uint32_t blocks) {
    return TRIGGER_FRAME_LENGTH * ByteSeconds(kLowRate) + Seconds(kProgramTriggerPause) +
           blocks * BlockWireSeconds(kLowRate);
}

double FirmwareFloorSeconds(uint32_t blocks, uint32_t rate) {
    const double atLow = (TRIGGER_FRAME_LENGTH + MODEL_QUERY_FRAME_LENGTH) * ByteSeconds(kLowRate);
    const uint32_t exchanges = static_cast<uint32_t>(kModelReplyOverhead + kModel.size()) +
                               STATUS_QUERY_FRAME_LENGTH + kStatusReplyLength + VERIFY_PARAMS_FRAME_LENGTH +
                               BLOCK_ACK_LENGTH;
    const double waits = Seconds(kFirmwareTriggerWait) + (rate == kLowRate ? 0 : Seconds(kRateChangePause));
    return atLow + waits + exchanges * ByteSeconds(rate) + blocks * BlockWireSeconds(rate);
}

// A number after "key": in one of orvane-cli's JSON lines.
std::optional<long> JsonNumber(const std::string& line, const std::string& key) {
    const size_t at = line.find("\"" + key + "\":");
    if (at == std::string::npos)
        return std::nullopt;
    return std::strtol(line.c_str() + at + key.size() + 3, nullptr, 10);
}

struct TransferRun {
    std::string error;
    double seconds = 0;        // starting the host process until it exits
    double steadySeconds = 0;  // from the first progress line with a block done to completion
    long steadyBlocks = 0;
    long blocks = 0;
    // The device's own time beyond the wire: its replies to the data blocks, and its wait before it
    // answers at the new rate.
    double blockDeviceSeconds = 0;
    long repliedBlocks = 0;
    double switchSeconds = 0;
    double DeviceSeconds() const { return blockDeviceSeconds + switchSeconds; }
};

// The device's time beyond the wire for every data block it acknowledged: from its line reading the
// frame to its line writing the acknowledgement, less both on the wire at `rate`.
void AddDeviceTime(const std::vector<InProcessDevice::Line>& lines, uint32_t rate, TransferRun& run) {
    std::optional<InProcessDevice::Line> frame;
    size_t frameBytes = 0;
    for (const InProcessDevice::Line& line : lines) {
        if (line.text.rfind("rx dataBlock: ", 0) == 0) {
            frame = line;
            frameBytes = ParseHex(line.text.substr(14)).size();
        } else if (frame && line.text.rfind("tx: ", 0) == 0) {
            const size_t replyBytes = ParseHex(line.text.substr(4)).size();
            run.blockDeviceSeconds += Seconds(line.at - frame->at) -
                                      static_cast<double>(frameBytes + replyBytes) * ByteSeconds(rate);
            ++run.repliedBlocks;
            frame.reset();
        }
    }
}

TransferRun RunTransfer(const std::string& command, const std::string& file,
                        const std::vector<uint8_t>& payload, uint32_t rate, bool lowLatency) {
    TransferRun run;
    const std::string saved = (BenchDirectory() / ("received-" + command + ".bin")).string();
    std::filesystem::remove(saved);
    SimulatorOptions options;
    options.pace = true;
    options.verbose = true;
    options.modelGbk = kModel;
    options.saveFile = saved;
    InProcessDevice device(options);

    std::vector<std::string> args = {command,  file,        "--port", "COM" + std::to_string(device.Port()),
                                     "--json", "--timeout", "10"};
    if (command == "firmware")
        args.insert(args.end(), {"--baud", std::to_string(rate)});
    if (lowLatency)
        args.push_back("--low-latency");
    std::optional<BenchClock::time_point> firstAt, lastAt;
    long firstBlocks = 0;
    bool completed = false;
    const auto start = BenchClock::now();
    CliProcess host(args);
    while (const std::optional<std::string> line = host.NextLine(kRunLimit)) {
        const auto now = BenchClock::now();
        if (line->find("\"type\":\"progress\"") != std::string::npos) {
            const long done = JsonNumber(*line, "blocks_done").value_or(0);
            run.blocks = JsonNumber(*line, "blocks_total").value_or(0);
            if (!firstAt && done >= 1) {
                firstAt = now;
                firstBlocks = done;
            }
            if (done == run.blocks)
                lastAt = now;
        } else if (line->find("\"type\":\"result\"") != std::string::npos) {
            completed = line->find("\"status\":\"completed\"") != std::string::npos;
        }
    }
    const int exitCode = host.Wait(kExitLimit);
    run.seconds = Seconds(BenchClock::now() - start);
    device.Stop();
    AddDeviceTime(device.Lines(), rate, run);
    if (rate != kLowRate)
        run.switchSeconds = Seconds(options.switchDelay);

    if (exitCode != 0 || !completed) {
        run.error = "orvane-cli " + command + " did not complete (exit " + std::to_string(exitCode) + ")";
    } else if (ReadBenchFile(saved) != payload) {
        run.error = "the device received something other than the file";
    } else if (!firstAt || !lastAt || run.blocks <= firstBlocks) {
        run.error = "the progress lines did not show the transfer";
    } else if (run.repliedBlocks != run.blocks) {
        run.error = "the device's lines did not show a reply to every block";
    } else {
        run.steadySeconds = Seconds(*lastAt - *firstAt);
        run.steadyBlocks = run.blocks - firstBlocks;
    }
    return run;
}

void Report(benchmark::State& state, const TransferRun& run, double floorSeconds, uint32_t rate) {
    state.SetIterationTime(run.seconds);
    const double perBlock = run.steadySeconds / static_cast<double>(run.steadyBlocks);
    const double devicePerBlock = run.blockDeviceSeconds / static_cast<double>(run.repliedBlocks);
    state.counters["blocks"] = static_cast<double>(run.blocks);
    state.counters["measured_s"] = run.seconds;
    state.counters["wire_floor_s"] = floorSeconds;
    state.counters["device_s"] = run.DeviceSeconds();
    state.counters["ratio"] = (floorSeconds + run.DeviceSeconds()) / run.seconds;
    state.counters["wire_ratio"] = floorSeconds / run.seconds;
    state.counters["block_ms"] = perBlock * 1e3;
    state.counters["block_wire_ms"] = BlockWireSeconds(rate) * 1e3;
    state.counters["block_device_ms"] = devicePerBlock * 1e3;
    state.counters["block_ratio"] = (BlockWireSeconds(rate) + devicePerBlock) / perBlock;
}

// Arguments: the rate, and 1 for --low-latency.
void BM_EndToEndProgram(benchmark::State& state) {
    const std::vector<uint8_t> payload = PatternBytes(kTransferBytes, 21);
    const std::string file = WriteBenchFile("transfer.tr3", payload);
    for (auto _ : state) {
        const TransferRun run = RunTransfer("program", file, payload, kLowRate, state.range(1) != 0);
        if (!run.error.empty()) {
            state.SkipWithError(run.error.c_str());
            return;
        }
        Report(state, run, ProgramFloorSeconds(BlockCount(kTransferBytes)), kLowRate);
    }
}

void BM_EndToEndFirmware(benchmark::State& state) {
    const uint32_t rate = static_cast<uint32_t>(state.range(0));
    const std::vector<uint8_t> payload = PatternBytes(kTransferBytes, 22);
    const std::string file = WriteFirmwareImage("transfer.trs", payload, kModel);
    for (auto _ : state) {
        const TransferRun run = RunTransfer("firmware", file, payload, rate, state.range(1) != 0);
        if (!run.error.empty()) {
            state.SkipWithError(run.error.c_str());
            return;
        }
        Report(state, run, FirmwareFloorSeconds(BlockCount(kTransferBytes), rate), rate);
    }
}

// Stamps what the window reports: every received byte as it is handed over, every frame as it is
// about to be written (with the last byte received before it).
class WindowStamps : public Dialog_UpdateObserver {
public:
    struct Send {
        BenchClock::time_point at;
        std::optional<BenchClock::time_point> lastByte;
        std::vector<uint8_t> frame;
    };

    void OnLogLine(LOG_LEVEL, const CString& text, bool) override {
        static const CString kSendPrefix = L"发送数据报文：";
        if (text.Find(kSendPrefix) != 0)
            return;
        m_sends.push_back(
            {BenchClock::now(), m_lastByte, ParseHex(text.Mid(kSendPrefix.GetLength()).ToUtf8())});
    }
    void OnByteReceived(uint8_t) override { m_lastByte = BenchClock::now(); }

    std::vector<Send> m_sends;

private:
    std::optional<BenchClock::time_point> m_lastByte;
};

uint16_t BlockNumberOf(const std::vector<uint8_t>& frame) {
    return static_cast<uint16_t>((frame[2] << 8) | frame[3]);
}

struct Mean {
    double sum = 0;
    long count = 0;
    void Add(BenchClock::duration d) {
        sum += std::chrono::duration<double, std::milli>(d).count();
        ++count;
    }
    double Value() const { return count ? sum / static_cast<double>(count) : 0; }
};

void BM_BlockCycle(benchmark::State& state) {
    const uint32_t rate = static_cast<uint32_t>(state.range(0));
    const std::vector<uint8_t> payload = PatternBytes(kBreakdownBlocks * BLOCK_SIZE, 23);
    const std::string file = WriteFirmwareImage("cycle.trs", payload, kModel);
    for (auto _ : state) {
        SimulatorOptions options;
        options.pace = true;
        options.verbose = true;
        options.modelGbk = kModel;
        InProcessDevice device(options);
        WindowStamps stamps;
        {
            HeadlessWindow window;
            Dialog_Update& dialog = window.Dialog();
            dialog.m_observer = &stamps;
            dialog.SetLowLatencySerial(state.range(1) != 0);
            if (!window.OpenPort(device.Port())) {
                state.SkipWithError("the window could not open the device's port");
                return;
            }
            window.Click(IDC_RADIO_FIRMWARE);
            window.SelectHighSpeed(rate != kLowRate);
            if (!window.OpenFile(file)) {
                state.SkipWithError("the firmware image was refused");
                return;
            }
            const auto start = BenchClock::now();
            window.Click(IDC_BTN_START);
            AfxPumpMessagesUntil([&] { return !Inside(dialog).m_updating; }, kRunLimit);
            state.SetIterationTime(Seconds(BenchClock::now() - start));
            const bool completed = Inside(dialog).m_firmwareUpdate.IsCompleted();
            dialog.m_observer = nullptr;
            if (!completed) {
                state.SkipWithError("the firmware update did not complete");
                return;
            }
        }
        device.Stop();

        // The device's side of each full block: when it read the frame, when it wrote the ack.
        std::map<uint16_t, BenchClock::time_point> deviceRead, deviceAck;
        for (const InProcessDevice::Line& line : device.Lines()) {
            if (line.text.rfind("rx dataBlock: ", 0) == 0) {
                const std::vector<uint8_t> frame = ParseHex(line.text.substr(14));
                if (frame.size() == MAX_FRAME_LENGTH)
                    deviceRead[BlockNumberOf(frame)] = line.at;
            } else if (line.text.rfind("tx: ", 0) == 0) {
                const std::vector<uint8_t> reply = ParseHex(line.text.substr(4));
                if (reply.size() == BLOCK_ACK_LENGTH && reply[1] == FUNC_BLOCK)
                    deviceAck[BlockNumberOf(reply)] = line.at;
            }
        }
        Mean cycle, toDevice, atDevice, reader, ours;
        const auto& sends = stamps.m_sends;
        for (size_t i = 0; i + 1 < sends.size(); ++i) {
            const auto& sent = sends[i];
            const auto& next = sends[i + 1];
            if (sent.frame.size() != MAX_FRAME_LENGTH || next.frame.size() != MAX_FRAME_LENGTH ||
                !next.lastByte)
                continue;
            const uint16_t number = BlockNumberOf(sent.frame);
            if (!deviceRead.count(number) || !deviceAck.count(number))
                continue;
            cycle.Add(next.at - sent.at);
            toDevice.Add(deviceRead[number] - sent.at);
            atDevice.Add(deviceAck[number] - deviceRead[number]);
            reader.Add(*next.lastByte - deviceAck[number]);
            ours.Add(next.at - *next.lastByte);
        }
        if (cycle.count < static_cast<long>(kBreakdownBlocks) / 2) {
            state.SkipWithError("too few blocks could be followed through the round trip");
            return;
        }
        const double wireMs = BlockWireSeconds(rate) * 1e3;
        state.counters["blocks_timed"] = static_cast<double>(cycle.count);
        state.counters["cycle_ms"] = cycle.Value();
        state.counters["wire_ms"] = wireMs;
        state.counters["to_device_ms"] = toDevice.Value();
        state.counters["device_ms"] = atDevice.Value() - wireMs;
        state.counters["reader_ms"] = reader.Value();
        state.counters["ours_ms"] = ours.Value();
    }
}

}  // namespace

void RegisterEndToEndBenchmarks() {
    benchmark::RegisterBenchmark("BlockCycle", BM_BlockCycle)
        ->Args({kHighRate, 0})
        ->Args({kHighRate, 1})
        ->Iterations(1)
        ->UseManualTime()
        ->Unit(benchmark::kSecond);
    // The default reader and --low-latency, one after the other.
    benchmark::RegisterBenchmark("EndToEnd/Program", BM_EndToEndProgram)
        ->Args({kLowRate, 0})
        ->Args({kLowRate, 1})
        ->Iterations(1)
        ->UseManualTime()
        ->Unit(benchmark::kSecond);
    benchmark::RegisterBenchmark("EndToEnd/Firmware", BM_EndToEndFirmware)
        ->Args({kHighRate, 0})
        ->Args({kHighRate, 1})
        ->Iterations(1)
        ->UseManualTime()
        ->Unit(benchmark::kSecond);
}
