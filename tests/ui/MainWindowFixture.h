// The main window under test: the real Dialog_Update, created offscreen, driven by clicks, with a
// device played by the simulator on a pty registered as a COM port.
#pragma once

#include <gtest/gtest.h>

#include <QComboBox>
#include <QFileDialog>
#include <QPushButton>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "framework/CWnd.h"
#include "framework/ConsoleDiagnostics.h"
#include "tests/support/FaultyCommApi.h"
#include "tests/support/GuiTestUtil.h"
#include "tests/support/PatternBytes.h"
#include "tests/support/TempRegistry.h"
#include "tools/sim/SimulatorThread.h"
#include "ui/Dialog_Update.h"
#include "ui/resource.h"

// The simulator's own loop on its own thread, as `orvane-cli simulate` runs it.
class SimulatedDevice {
public:
    explicit SimulatedDevice(SimulatorOptions options);
    ~SimulatedDevice();
    int Port() const { return m_port; }
    // Stops the device and returns the payload of its last transfer.
    std::vector<uint8_t> StopAndTakePayload();
    // Stops the device and returns its record of the session.
    SimReport StopAndReport();
    // While it runs: the payload of its last completed transfer, from the file it saves after each
    // one (options.saveFile); the device writes it before it acknowledges the transfer's last block.
    std::vector<uint8_t> SavedPayload() const;
    bool Running() const { return m_device.Running(); }

private:
    std::string m_saveFile;
    SimulatorThread m_device;
    int m_port = 0;
};

// The window's typed events, one text each: "test answered 型号-7", "update failed <status> <model>",
// "lost 5", "progress 25/25 100%".
class RecordedEvents : public Dialog_UpdateObserver {
public:
    void OnConnectionTestFinished(TestOutcome outcome, const CString& model) override;
    void OnUpdateFinished(UpdateOutcome outcome, const CString& status, const CString& model) override;
    void OnLineLost(DWORD code) override;
    void OnProgress(int32_t percent, uint32_t block, uint32_t count) override;

    std::vector<std::string> finished;  // every event but progress
    std::string lastProgress;
};

class MainWindowTest : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    QWidget* Control(int id) { return gui_test::FindControl(m_window, id); }
    void ClickControl(int id);
    bool Enabled(int id);
    QString Text(int id);

    CString LogText();
    std::vector<CString> LogLines();
    bool LogHas(const CString& line);
    bool WaitForLog(const CString& line, std::chrono::milliseconds timeout = gui_test::kDefaultTimeout);
    // The log lines from index `from` on.
    std::vector<CString> LogLinesFrom(size_t from);
    // Whether a window timer of this period (at timer scale 1) is running; the dialog's three
    // timers have different periods.
    bool TimerRunning(std::chrono::milliseconds period);

    void StartDevice(SimulatorOptions options = {});
    // Opens COM<port> through the chooser, as a user would.
    void OpenPort(int port);
    // Opens `path` through the file dialog.
    void OpenFile(const std::string& path);
    std::string WriteFile(const std::string& name, const std::vector<uint8_t>& bytes);
    std::string WriteFirmware(const std::string& name, const std::vector<uint8_t>& payload,
                              const std::string& model);

    ConsoleSink m_previousSink;
    TempRegistry m_registry;
    std::unique_ptr<SimulatedDevice> m_device;
    // Passes every call to the pty unless a test sets one of its hooks.
    FaultyCommApi m_comm;
    Dialog_Update m_dialog{nullptr, m_comm};
    QWidget* m_window = nullptr;
    RecordedEvents m_events;
};
