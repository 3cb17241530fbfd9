// HostSession: the main window run without a display. The command-line tool drives the very same
// dialog, commands, receive path and engines a technician uses, by sending the window the clicks a
// person would make, prints what the window's log shows, and decides its outcome from the window's
// typed events alone.
#pragma once

#include <chrono>
#include <ctime>
#include <optional>
#include <string>

#include "tools/cli/HostOptions.h"
#include "tools/cli/ProgressReporter.h"
#include "tools/cli/StationRecord.h"
#include "tools/cli/UpdateFile.h"
#include "ui/Dialog_Update.h"

class HostSession : public Dialog_UpdateObserver {
public:
    // `commApi` carries the serial line's system calls (a test may pass one that fails on demand).
    explicit HostSession(const HostOptions& options, CommApi& commApi = SystemCommApi());
    ~HostSession() override;

    // Each returns the process exit code.
    int RunTest();
    int RunUpdate(HostOptions::Kind kind);
    // --loop-child: unit after unit on the one port, with --json events for the loop that started
    // this process, until an interrupt ends it (its code is returned).
    int RunLoop(HostOptions::Kind kind);

    void OnLogLine(LOG_LEVEL level, const CString& text, bool shown) override;
    void OnByteReceived(uint8_t byte) override;
    void OnConnectionTestFinished(TestOutcome outcome, const CString& model) override;
    void OnUpdateFinished(UpdateOutcome outcome, const CString& statusMessage,
                          const CString& deviceModel) override;
    void OnLineLost(DWORD systemErrorCode) override;
    void OnProgress(int32_t percent, uint32_t block, uint32_t count) override;

private:
    bool CreateMainWindow();
    // Opens the port through the chooser; on failure prints why and returns the exit code.
    int OpenPort();
    // The chooser's part of opening: true when the port is open; `offered` says whether it was listed.
    bool OpenChosenPort(bool& offered);
    // Selects the mode and loads the file into the window; kExitOk, or the run's end.
    int LoadFileIntoWindow();
    // One update, from Start to its result line.
    int UpdateUnit();

    // The loop's parts. A poll is the window's connection test, given until `until` to be answered.
    enum class PollResult { Answered, Unanswered, LineLost };
    PollResult Poll(std::chrono::steady_clock::time_point until);
    bool PortPresent() const;
    // Opens the port for the loop without ending the run when it cannot; false then.
    bool OpenLoopPort();
    void CloseLoopPort();
    // Each returns false when an interrupt came first.
    bool WaitForUnit();
    bool WaitUntilGone();
    bool PumpUntil(std::chrono::steady_clock::time_point until);
    void ResetUnit();
    void SayUnit(const char* state, const std::string& detail = {});
    void Click(int controlId, UINT notification = 0);
    // Ends the run: its record line, its JSON result. `reasonCode` names the reason for scripts in
    // the same words in every language; without one, the status does.
    int Finish(int exitCode, const std::string& status, const std::string& message = {},
               const std::string& reasonCode = {});
    // Ends a run an interrupt cut short (see InterruptRequest), after the window's Stop if it ran.
    int FinishInterrupted();
    void Say(const std::string& line);
    // False (after saying why) when the record line did not reach the file.
    bool AppendRecord(int exitCode, const std::string& status, const std::string& reason,
                      const std::string& reasonCode);

    // Restores the default console sink only after the window below is gone: its serial reader may
    // still report a byte while the port closes, and that line must not reach stdout raw.
    struct ConsoleSinkRestorer {
        ~ConsoleSinkRestorer();
    };

    HostOptions m_options;
    ConsoleSinkRestorer m_sinkRestorer;
    HostOptions::Kind m_kind = HostOptions::Kind::Test;
    StationRecord m_record;
    UpdateFileInfo m_file;
    Dialog_Update m_dialog;
    ProgressReporter m_progress;
    int m_port = 0;
    std::string m_device;
    std::string m_lastLine;
    std::string m_firstError;
    std::string m_model;
    bool m_modelSeen = false;
    std::optional<TestOutcome> m_testOutcome;
    std::optional<UpdateOutcome> m_updateOutcome;
    std::string m_statusMessage;
    std::optional<DWORD> m_lineLost;
    uint32_t m_fileSize = 0;
    uint32_t m_totalBlocks = 0;
    uint32_t m_blocksDone = 0;
    int32_t m_percent = 0;
    std::chrono::steady_clock::time_point m_started;
    std::time_t m_startedAt = 0;  // the record's time: when the run began
    std::chrono::steady_clock::time_point m_lastActivity;
    std::string m_runId;
    // The loop's state: the unit on the port (from 1), polls kept out of the output, the port.
    uint32_t m_unit = 0;
    uint32_t m_unitsSeen = 0;
    bool m_quiet = false;
    bool m_loopPortOpen = false;
    bool m_portWasAbsent = false;
    std::string m_portProblem;  // why the port would not open, said once until it changes
};
