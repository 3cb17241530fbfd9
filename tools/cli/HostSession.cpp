#include "tools/cli/HostSession.h"

#include <algorithm>
#include <cstdio>
#include <ctime>

#include "framework/ConsoleDiagnostics.h"
#include "framework/ConsoleText.h"
#include "framework/HeadlessApp.h"
#include "framework/InterruptRequest.h"
#include "framework/ModalAutomation.h"
#include "framework/TextCodec.h"
#include "serial/PortDiscovery.h"
#include "tools/cli/Arguments.h"
#include "tools/cli/Json.h"
#include "tools/cli/PortArgument.h"
#include "tools/i18n/Messages.h"
#include "ui/Dialog_OpenSerial.h"
#include "ui/resource.h"

namespace {

using namespace std::chrono_literals;

// The connection test ends by itself within 3 s; this only guards against a window that never
// reports back.
constexpr std::chrono::milliseconds kTestGuard = 10s;
constexpr std::chrono::milliseconds kPollSlice = 50ms;
// A loop asks a fixture whether a unit is there at most once a second; a unit that leaves two of
// these polls in a row unanswered has been taken out.
constexpr std::chrono::milliseconds kUnitPollInterval = 1000ms;
constexpr int kUnansweredPollsForGone = 2;
constexpr uint32_t kBlockBytes = 50;

const char* LevelName(LOG_LEVEL level) {
    switch (level) {
        case LOG_DEBUG:
            return "debug";
        case LOG_WARNING:
            return "warning";
        case LOG_ERROR:
            return "error";
        default:
            return "info";
    }
}

}  // namespace

HostSession::HostSession(const HostOptions& options, CommApi& commApi)
    : m_options(options),
      m_dialog(nullptr, commApi),
      // The bar is redrawn in place between log lines on stdout: only when both reach the terminal,
      // never into a pipe or a file (`| tee` would keep every copy).
      m_progress(options.json,
                 !options.json && IsTerminal(ConsoleStream::Error) && IsTerminal(ConsoleStream::Output),
                 [](const std::string& line) {
                     ConsolePrintf(ConsoleStream::Output, "%s\n", line.c_str());
                     std::fflush(stdout);
                 }) {
    m_dialog.m_observer = this;
    // The serial layer's diagnostics go to stderr only when asked for; a lost line reaches us as an
    // event from the window, not through this text.
    SetConsoleSink([this](ConsoleStream, const std::string& gbk) {
        if (m_options.trace)
            ConsolePrintf(ConsoleStream::Error, "%s\n", AnsiToWide(gbk).ToUtf8().c_str());
    });
    m_started = std::chrono::steady_clock::now();
    m_startedAt = std::time(nullptr);
    m_runId = StationRecord::NewRunId();
}

HostSession::~HostSession() {
    AfxSetModalAnswers({});
    m_dialog.DestroyWindow();
    m_dialog.m_observer = nullptr;
}

HostSession::ConsoleSinkRestorer::~ConsoleSinkRestorer() {
    SetConsoleSink(nullptr);
}

void HostSession::Say(const std::string& line) {
    m_progress.Interrupt();
    if (m_options.json) {
        ConsolePrintf(ConsoleStream::Output, "%s\n",
                      JsonObject().Event("message").Add("text", line).Text().c_str());
    } else {
        ConsolePrintf(ConsoleStream::Error, "%s\n", line.c_str());
    }
    std::fflush(stdout);
    std::fflush(stderr);
}

void HostSession::OnLogLine(LOG_LEVEL level, const CString& text, bool shown) {
    // The host's own lines mark what it sends; the device's silence counts from the last of them,
    // since it has nothing to say while the host itself waits (the second before the model query).
    m_lastActivity = std::chrono::steady_clock::now();
    // Between units a loop polls once a second; those lines would bury the updates' own, and an
    // error of a poll is no unit's reason.
    if (m_quiet)
        return;
    // An engine that gives up logs why first and "stopped" after; the first error is the reason.
    if (level == LOG_ERROR && m_firstError.empty())
        m_firstError = text.ToUtf8();
    if (!shown)
        return;
    m_lastLine = text.ToUtf8();
    // The engine logs its own completion while it handles the last acknowledgement, before the
    // window reports that block: the bar catches up first, so that it stands above the line.
    if (const BaseUpdate* update = m_dialog.CurrentUpdate(); update && update->m_blocksDone > m_blocksDone) {
        m_blocksDone = update->m_blocksDone;
        m_progress.Update(m_blocksDone);
    }
    m_progress.Interrupt();
    if (m_options.json) {
        ConsolePrintf(
            ConsoleStream::Output, "%s\n",
            JsonObject().Event("log").Add("level", LevelName(level)).Add("text", m_lastLine).Text().c_str());
    } else {
        ConsolePrintf(ConsoleStream::Output, "%s\n", (CString(LogLinePrefix(level)) + text).ToUtf8().c_str());
    }
    std::fflush(stdout);
}

void HostSession::OnByteReceived(uint8_t) {
    m_lastActivity = std::chrono::steady_clock::now();
}

void HostSession::OnConnectionTestFinished(TestOutcome outcome, const CString& model) {
    m_testOutcome = outcome;
    if (outcome == TestOutcome::Answered && !model.IsEmpty()) {
        m_model = model.ToUtf8();
        m_modelSeen = true;
    }
}

void HostSession::OnUpdateFinished(UpdateOutcome outcome, const CString& statusMessage,
                                   const CString& deviceModel) {
    m_updateOutcome = outcome;
    m_statusMessage = statusMessage.ToUtf8();
    if (!deviceModel.IsEmpty()) {
        m_model = deviceModel.ToUtf8();
        m_modelSeen = true;
    }
}

void HostSession::OnLineLost(DWORD systemErrorCode) {
    m_lineLost = systemErrorCode;
}

void HostSession::OnProgress(int32_t percent, uint32_t block, uint32_t count) {
    m_percent = percent;
    m_blocksDone = block;
    m_totalBlocks = count;
    // At once, not at the next turn of the loop: the last block's bar comes before "更新完成！".
    m_progress.Update(m_blocksDone);
}

void HostSession::Click(int controlId, UINT notification) {
    const WPARAM wParam =
        static_cast<WPARAM>(static_cast<WORD>(controlId)) | (static_cast<WPARAM>(notification) << 16);
    m_dialog.SendMessage(WM_COMMAND, wParam, 0);
}

bool HostSession::AppendRecord(int exitCode, const std::string& status, const std::string& reason,
                               const std::string& reasonCode) {
    if (!m_record.IsOpen())
        return true;
    StationRecord::Entry entry;
    entry.startedAt = m_startedAt;
    entry.port = m_port != 0 ? "COM" + std::to_string(m_port) : m_options.ports.front();
    entry.device = m_device;
    entry.model = m_model;
    entry.kind = m_kind;
    entry.file = &m_file;
    entry.highSpeed = m_options.highSpeed;
    entry.result = status;
    entry.exitCode = exitCode;
    entry.reason = reason;
    entry.reasonCode = reasonCode;
    entry.blocks = m_blocksDone;
    entry.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - m_started).count();
    entry.endedAt = std::time(nullptr);
    entry.runId = m_runId;
    entry.unit = m_unit;
    entry.tags = &m_options.tags;
    std::string error;
    if (m_record.Append(entry, error))
        return true;
    if (m_options.json) {
        ConsolePrintf(ConsoleStream::Output, "%s\n",
                      JsonObject().Event("record-error").Add("message", error).Text().c_str());
    } else {
        ConsolePrintf(ConsoleStream::Error, "%s\n", error.c_str());
    }
    return false;
}

int HostSession::Finish(int exitCode, const std::string& status, const std::string& message,
                        const std::string& reasonCode) {
    m_progress.End();
    if (!message.empty() && !m_options.json)
        ConsolePrintf(ConsoleStream::Error, "%s\n", message.c_str());
    // Without a message of its own, the reason is the first error logged, else the log's last line.
    const std::string reason = !message.empty()                               ? message
                               : exitCode != kExitOk && !m_firstError.empty() ? m_firstError
                                                                              : m_lastLine;
    // The record comes before the result: a run whose line was lost has not done its job, and a
    // process ended right after its result still leaves its line.
    const std::string code = exitCode == kExitOk ? std::string() : !reasonCode.empty() ? reasonCode : status;
    if (!AppendRecord(exitCode, status, exitCode == kExitOk ? std::string() : reason, code) &&
        (exitCode == kExitOk || exitCode == kExitTimeout))
        exitCode = kExitFailed;
    if (m_options.json) {
        JsonObject result;
        result.Event("result").Add("exit", static_cast<int64_t>(exitCode)).Add("status", status);
        result.Add("message", reason).Add("reason_code", code);
        if (m_modelSeen)
            result.Add("model", m_model);
        const uint32_t sent = std::min(m_blocksDone * kBlockBytes, m_fileSize);
        const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - m_started;
        result.Add("bytes", static_cast<int64_t>(sent)).Add("blocks", static_cast<int64_t>(m_blocksDone));
        result.Add("device", m_device).Add("seconds", elapsed.count());
        if (m_unit != 0)
            result.Add("unit", static_cast<int64_t>(m_unit));
        ConsolePrintf(ConsoleStream::Output, "%s\n", result.Text().c_str());
    }
    std::fflush(stdout);
    std::fflush(stderr);
    return exitCode;
}

int HostSession::FinishInterrupted() {
    const int code = InterruptRequest::Pending();
    const std::string message = m_kind != HostOptions::Kind::Test && m_totalBlocks != 0
                                    ? FormatText(Tr("stopped by %s after %u of %u blocks"),
                                                 InterruptName(code), m_blocksDone, m_totalBlocks)
                                    : FormatText(Tr("stopped by %s"), InterruptName(code));
    return Finish(code, "interrupted", message);
}

bool HostSession::CreateMainWindow() {
    if (!m_dialog.Create())
        return false;
    // Debug lines follow --debug rather than a LOG.ini beside the program.
    m_dialog.m_debugLogEnabled = m_options.debug;
    m_dialog.SetLowLatencySerial(m_options.lowLatency);
    CString address;
    address.Format(L"%d", m_options.address);
    m_dialog.m_editAddress.SetWindowText(address);
    return true;
}

int HostSession::OpenPort() {
    const PortChoice choice = ResolvePortArgument(m_options.ports.front());
    if (choice.number == 0)
        return Finish(kExitUsage, "usage", choice.error, "bad-port");
    m_port = choice.number;
    m_device = choice.device;

    bool offered = false;
    if (OpenChosenPort(offered))
        return kExitOk;
    const std::string why = ExplainOpenFailure(m_port);
    // Nothing was sent either way: a port that is missing or held is not available (exit 2).
    if (!offered) {
        // The line the serial layer prints when the port will not open, so that a missing port reads the
        // same as a held one, whatever the ports listing knew.
        const std::string name = "COM" + std::to_string(m_port);
        return Finish(
            kExitUsage, "no-port",
            "无法打开串口 " + name + ": " +
                (why.empty() ? FormatText(Tr("%s is not among the ports present"), name.c_str()) : why),
            "port-missing");
    }
    return Finish(kExitUsage, "open-failed", why, "port-unavailable");
}

bool HostSession::OpenChosenPort(bool& offered) {
    offered = false;
    ModalAnswers answers;
    answers.dialog = [this, &offered](CDialogEx& dialog) {
        auto* chooser = dynamic_cast<Dialog_OpenSerial*>(&dialog);
        if (!chooser)
            return;
        CString wanted;
        wanted.Format(L"COM%d", m_port);
        for (int i = 0; i < chooser->m_comboPorts.GetCount(); ++i) {
            CString item;
            chooser->m_comboPorts.GetLBText(i, item);
            if (item == wanted) {
                offered = true;
                chooser->m_comboPorts.SetCurSel(i);
                break;
            }
        }
        const WPARAM wParam =
            static_cast<WPARAM>(offered ? IDOK : IDCANCEL) | (static_cast<WPARAM>(BN_CLICKED) << 16);
        dialog.SendMessage(WM_COMMAND, wParam, 0);
    };
    answers.messageBox = [](const CString&) {};  // the same text reaches the log
    AfxSetModalAnswers(std::move(answers));
    Click(IDC_BTN_PORT, BN_CLICKED);
    // The test button is usable exactly when the port is open and nothing runs.
    return m_dialog.m_btnTest.IsWindowEnabled();
}

int HostSession::RunTest() {
    m_kind = HostOptions::Kind::Test;
    if (std::string error; !m_record.Open(m_options.record, error))
        return Finish(kExitUsage, "record-error", error, "record-unwritable");
    return AfxRunWithoutDisplay([this] {
        if (!CreateMainWindow())
            return Finish(kExitFailed, "failed", Tr("the main window could not be created"), "internal");
        if (const int rc = OpenPort(); rc != kExitOk)
            return rc;
        if (InterruptRequest::Pending())
            return FinishInterrupted();
        Click(IDC_BTN_TEST, BN_CLICKED);
        // The test ends by itself within seconds and has no stop of its own; an interrupt only cuts
        // the wait short.
        AfxPumpMessagesUntil([this] { return m_testOutcome.has_value() || InterruptRequest::Pending(); },
                             kTestGuard);
        if (!m_testOutcome && InterruptRequest::Pending())
            return FinishInterrupted();
        if (!m_testOutcome)
            return Finish(kExitTimeout, "timeout", Tr("the connection test did not end"), "test-hung");
        switch (*m_testOutcome) {
            case TestOutcome::TimedOut:
                return Finish(kExitTimeout, "timeout", {}, "no-answer");
            case TestOutcome::NotSent:
                return Finish(kExitFailed, "failed", {}, "not-sent");
            case TestOutcome::Answered:
                break;
        }
        if (!m_options.json && !m_options.debug && m_modelSeen)
            ConsolePrintf(ConsoleStream::Output, "设备型号: %s\n", m_model.c_str());
        return Finish(kExitOk, "answered");
    });
}

int HostSession::RunUpdate(HostOptions::Kind kind) {
    m_kind = kind;
    if (!InspectUpdateFile(kind, m_options.file, m_options.force, m_file))
        return Finish(kExitUsage, "file-error", m_file.error, m_file.errorCode);
    m_fileSize = m_file.payloadBytes;
    m_totalBlocks = m_file.blocks;
    if (std::string error; !m_record.Open(m_options.record, error))
        return Finish(kExitUsage, "record-error", error, "record-unwritable");
    return AfxRunWithoutDisplay([this] {
        if (!CreateMainWindow())
            return Finish(kExitFailed, "failed", Tr("the main window could not be created"), "internal");
        if (const int rc = OpenPort(); rc != kExitOk)
            return rc;
        if (InterruptRequest::Pending())
            return FinishInterrupted();

        if (const int rc = LoadFileIntoWindow(); rc != kExitOk)
            return rc;
        return UpdateUnit();
    });
}

int HostSession::LoadFileIntoWindow() {
    const bool firmware = m_kind == HostOptions::Kind::Firmware;
    // Through standby, as a technician would: a port opened afresh has no engine chosen yet.
    Click(IDC_RADIO_STANDBY, BN_CLICKED);
    Click(firmware ? IDC_RADIO_FIRMWARE : IDC_RADIO_PROGRAM, BN_CLICKED);
    if (firmware) {
        m_dialog.m_comboBaud.SetCurSel(m_options.highSpeed ? 1 : 0);
        Click(IDC_COMBO_BAUD, CBN_SELCHANGE);
    }

    ModalAnswers answers = AfxGetModalAnswers();
    const CString path = CString::FromUtf8(m_file.path);
    answers.openFile = [path](CString& chosen) {
        chosen = path;
        return true;
    };
    AfxSetModalAnswers(std::move(answers));
    Click(IDC_BTN_OPEN_FILE, BN_CLICKED);
    // Start is usable exactly when a file is loaded; it was checked above, so only a file that
    // changed in between lands here.
    if (!m_dialog.m_btnStart.IsWindowEnabled())
        return Finish(kExitUsage, "file-error", {}, "file-changed");
    return kExitOk;
}

int HostSession::UpdateUnit() {
    m_lastActivity = std::chrono::steady_clock::now();
    m_progress.Begin(m_totalBlocks, m_fileSize);
    Click(IDC_BTN_START, BN_CLICKED);

    bool timedOut = false;
    while (!m_updateOutcome) {
        AfxPumpMessagesUntil([this] { return m_updateOutcome || m_lineLost; }, kPollSlice);
        // A block the bar skipped to spare the terminal shows once the device pauses.
        m_progress.Update(m_blocksDone);
        if (InterruptRequest::Pending() && !m_updateOutcome) {
            // As the window's Stop button does: the engine stops, the line goes back to 9600.
            Click(IDC_BTN_STOP, BN_CLICKED);
            return FinishInterrupted();
        }
        // The window ends the update as failed itself when the line goes; the loss is the reason.
        if (m_lineLost && m_updateOutcome != UpdateOutcome::Completed) {
            Click(IDC_BTN_STOP, BN_CLICKED);
            return Finish(
                kExitFailed, "line-lost",
                FormatText(Tr("the serial line failed (system error code %lu): cable pulled or device gone"),
                           static_cast<unsigned long>(*m_lineLost)));
        }
        if (!m_updateOutcome && std::chrono::steady_clock::now() - m_lastActivity > m_options.timeout) {
            timedOut = true;
            Click(IDC_BTN_STOP, BN_CLICKED);
        }
    }
    if (timedOut) {
        return Finish(kExitTimeout, "timeout",
                      FormatText(Tr("the device sent nothing for %lld s; the update was stopped"),
                                 static_cast<long long>(m_options.timeout.count())),
                      "device-silent");
    }
    switch (*m_updateOutcome) {
        case UpdateOutcome::Completed:
            return Finish(kExitOk, "completed");
        case UpdateOutcome::Stopped:
            return Finish(kExitFailed, "stopped");
        case UpdateOutcome::Failed:
            break;
    }
    return Finish(kExitFailed, "failed", {}, "update-failed");
}

// ---------------------------------------------------------------------------------------------
// The loop: wait for a unit, update it, wait until it is taken out, and again.

void HostSession::SayUnit(const char* state, const std::string& detail) {
    JsonObject event;
    event.Event("unit").Add("state", state);
    if (m_unit != 0)
        event.Add("unit", static_cast<int64_t>(m_unit));
    if (!detail.empty())
        event.Add("detail", detail);
    ConsolePrintf(ConsoleStream::Output, "%s\n", event.Text().c_str());
    std::fflush(stdout);
}

void HostSession::ResetUnit() {
    m_lastLine.clear();
    m_firstError.clear();
    m_model.clear();
    m_modelSeen = false;
    m_testOutcome.reset();
    m_updateOutcome.reset();
    m_statusMessage.clear();
    m_blocksDone = 0;
    m_percent = 0;
    m_started = std::chrono::steady_clock::now();
    m_startedAt = std::time(nullptr);
}

bool HostSession::PumpUntil(std::chrono::steady_clock::time_point until) {
    const auto left = until - std::chrono::steady_clock::now();
    if (left > std::chrono::steady_clock::duration::zero()) {
        AfxPumpMessagesUntil([] { return InterruptRequest::Pending() != 0; },
                             std::chrono::ceil<std::chrono::milliseconds>(left));
    }
    return InterruptRequest::Pending() == 0;
}

bool HostSession::PortPresent() const {
    // Read afresh each time: an adapter or a device with its own USB port comes and goes.
    const std::vector<int> ports = EnumerateComPorts();
    return std::find(ports.begin(), ports.end(), m_port) != ports.end();
}

bool HostSession::OpenLoopPort() {
    m_quiet = true;
    bool offered = false;
    m_loopPortOpen = OpenChosenPort(offered);
    m_quiet = false;
    if (m_loopPortOpen) {
        m_device = ResolvePortArgument("COM" + std::to_string(m_port)).device;
        m_lineLost.reset();
        m_portProblem.clear();
        return true;
    }
    const std::string why = ExplainOpenFailure(m_port);
    const std::string problem = why.empty() ? FormatText(Tr("COM%d could not be opened"), m_port) : why;
    if (problem != m_portProblem) {
        m_portProblem = problem;
        SayUnit("waiting", problem);
    }
    return false;
}

void HostSession::CloseLoopPort() {
    if (!m_loopPortOpen)
        return;
    // A lost line was closed by the window itself; the button would now open the chooser instead.
    if (!m_lineLost) {
        m_quiet = true;
        Click(IDC_BTN_PORT, BN_CLICKED);  // closes it, as the same button does in the window
        m_quiet = false;
    }
    m_loopPortOpen = false;
}

HostSession::PollResult HostSession::Poll(std::chrono::steady_clock::time_point until) {
    m_testOutcome.reset();
    m_quiet = true;
    Click(IDC_BTN_TEST, BN_CLICKED);
    AfxPumpMessagesUntil(
        [this] {
            return m_testOutcome == TestOutcome::Answered || m_lineLost || InterruptRequest::Pending();
        },
        std::chrono::ceil<std::chrono::milliseconds>(
            std::max(until - std::chrono::steady_clock::now(), std::chrono::steady_clock::duration::zero())));
    m_quiet = false;
    if (m_lineLost || m_testOutcome == TestOutcome::NotSent)
        return PollResult::LineLost;
    return m_testOutcome == TestOutcome::Answered ? PollResult::Answered : PollResult::Unanswered;
}

bool HostSession::WaitForUnit() {
    for (;;) {
        const auto next = std::chrono::steady_clock::now() + kUnitPollInterval;
        if (InterruptRequest::Pending())
            return false;
        if (!m_loopPortOpen) {
            if (!PortPresent()) {
                m_portWasAbsent = true;
            } else if (OpenLoopPort() && m_portWasAbsent) {
                // A device that brings its own USB port has arrived when its port appears.
                m_portWasAbsent = false;
                return true;
            }
        }
        if (m_loopPortOpen) {
            const PollResult result = Poll(next);
            if (result == PollResult::Answered)
                return true;
            if (result == PollResult::LineLost) {
                CloseLoopPort();
                m_portWasAbsent = true;
            }
        }
        if (!PumpUntil(next))
            return false;
    }
}

bool HostSession::WaitUntilGone() {
    int unanswered = 0;
    for (;;) {
        const auto next = std::chrono::steady_clock::now() + kUnitPollInterval;
        if (InterruptRequest::Pending())
            return false;
        if (!m_loopPortOpen || m_lineLost || !PortPresent()) {
            CloseLoopPort();
            m_portWasAbsent = true;
            return true;
        }
        switch (Poll(next)) {
            case PollResult::Answered:
                unanswered = 0;
                break;
            case PollResult::Unanswered:
                if (++unanswered >= kUnansweredPollsForGone)
                    return true;
                break;
            case PollResult::LineLost:
                CloseLoopPort();
                m_portWasAbsent = true;
                return true;
        }
        if (!PumpUntil(next))
            return false;
    }
}

int HostSession::RunLoop(HostOptions::Kind kind) {
    m_kind = kind;
    if (!InspectUpdateFile(kind, m_options.file, m_options.force, m_file))
        return Finish(kExitUsage, "file-error", m_file.error, m_file.errorCode);
    m_fileSize = m_file.payloadBytes;
    m_totalBlocks = m_file.blocks;
    const PortChoice choice = ResolvePortArgument(m_options.ports.front());
    if (choice.number == 0)
        return Finish(kExitUsage, "usage", choice.error, "bad-port");
    m_port = choice.number;
    m_device = choice.device;
    return AfxRunWithoutDisplay([this] {
        if (!CreateMainWindow())
            return Finish(kExitFailed, "failed", Tr("the main window could not be created"), "internal");
        for (;;) {
            m_unit = 0;
            ResetUnit();  // what the arrival's poll learns (the model) belongs to the new unit
            SayUnit("waiting");
            if (!WaitForUnit())
                break;
            if (!m_dialog.m_btnStart.IsWindowEnabled() && LoadFileIntoWindow() != kExitOk) {
                // The file changed under the loop; no later unit would fare better.
                CloseLoopPort();
                return kExitUsage;
            }
            m_started = std::chrono::steady_clock::now();
            m_startedAt = std::time(nullptr);
            m_unit = ++m_unitsSeen;
            SayUnit("updating");
            UpdateUnit();
            if (InterruptRequest::Pending())
                break;
            SayUnit("remove");
            if (!WaitUntilGone())
                break;
        }
        CloseLoopPort();
        return InterruptRequest::Pending();
    });
}
