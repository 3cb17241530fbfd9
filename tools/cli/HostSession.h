// HostSession: the main window run without a display. The command-line tool drives the very same
// dialog, commands, receive path and engines a technician uses, by sending the window the clicks a
// person would make, and prints what the window's log shows.
#pragma once

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>

#include "tools/cli/HostOptions.h"
#include "tools/cli/ProgressReporter.h"
#include "ui/Dialog_Update.h"

class HostSession : public Dialog_UpdateObserver {
public:
    explicit HostSession(const HostOptions& options);
    ~HostSession() override;

    // Each returns the process exit code.
    int RunTest();
    int RunUpdate(HostOptions::Kind kind);

    void OnLogLine(LOG_LEVEL level, const CString& text, bool shown) override;
    void OnByteReceived(uint8_t byte) override;

private:
    bool CreateMainWindow();
    // Opens the port through the chooser; on failure prints why and returns the exit code.
    int OpenPort();
    void Click(int controlId, UINT notification = 0);
    int Finish(int exitCode, const std::string& status, const std::string& message = {});
    void Say(const std::string& line);

    HostOptions m_options;
    Dialog_Update m_dialog;
    ProgressReporter m_progress;
    int m_port = 0;
    std::string m_device;
    std::string m_lastLine;
    std::string m_model;
    bool m_modelSeen = false;
    bool m_answered = false;
    bool m_testTimedOut = false;
    // Set from the serial reader thread when a read fails.
    std::atomic<bool> m_lineLost{false};
    std::mutex m_lineLostMutex;
    std::string m_lineLostText;
    std::chrono::steady_clock::time_point m_lastActivity;
};
