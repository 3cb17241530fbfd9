// Dialog_Update: the main window. It owns the serial line, the device address record, both update
// engines and the receive buffer; its commands, timers and receive path drive everything else.
#pragma once

#include <cstdint>
#include <vector>

#include "framework/CDialogEx.h"
#include "framework/Log.h"
#include "protocol/Protocol.h"
#include "protocol/ReceiveBuffer.h"
#include "serial/SerialPort.h"
#include "update/BaseUpdate.h"
#include "update/FirmwareUpdate.h"
#include "update/ProgramUpdate.h"

enum WORK_MODE {
    MODE_STANDBY = 0,
    MODE_FIRMWARE = 1,
    MODE_PROGRAM = 2,
};

constexpr UINT_PTR TIMER_FIRMWARE_WAIT = 1;
constexpr UINT_PTR TIMER_PROGRESS = 2;
constexpr UINT_PTR TIMER_TEST_TIMEOUT = 3;

// Bytes that form no frame are kept until the buffer holds more than this, then all dropped.
constexpr size_t RX_DISCARD_LIMIT = 4096;

// The prefix the message log writes before a line of this level ("" for info and unknown levels).
const wchar_t* LogLinePrefix(LOG_LEVEL level);

// How a connection test ended: the device answered (the model may be empty when its reply
// carried no data), nothing came back in time, or the query could not be written (or the line was
// lost before the answer).
enum class TestOutcome { Answered, TimedOut, NotSent };
// How an update ended: every block acknowledged, stopped by the user, or given up by the engine or
// refused at the start (the engine's status message says why).
enum class UpdateOutcome { Completed, Stopped, Failed };

// Lets a host program follow the window without a person watching it. The command-line tool acts
// on these typed events only; it never reads the log's texts to decide an outcome. Every call is
// made on the window's thread. Without an observer none of them costs more than a null test.
class Dialog_UpdateObserver {
public:
    virtual ~Dialog_UpdateObserver() = default;
    // Every line the log receives; `shown` is false for debug lines the log suppresses.
    virtual void OnLogLine(LOG_LEVEL, const CString&, bool /*shown*/) {}
    virtual void OnByteReceived(uint8_t) {}
    virtual void OnConnectionTestFinished(TestOutcome, const CString& /*model*/) {}
    // `deviceModel` is what the device answered to the firmware update's model query, if it did.
    virtual void OnUpdateFinished(UpdateOutcome, const CString& /*statusMessage*/,
                                  const CString& /*deviceModel*/) {}
    // The serial reader could not read any more: the cable was pulled or the device went away.
    virtual void OnLineLost(DWORD /*systemErrorCode*/) {}
    // After each acknowledged block of a running update.
    virtual void OnProgress(int32_t /*percent*/, uint32_t /*block*/, uint32_t /*count*/) {}
};

class Dialog_Update : public CDialogEx {
    DECLARE_DYNAMIC(Dialog_Update)

public:
    // `commApi` carries the serial line's system calls; tests pass one that can fail on demand.
    explicit Dialog_Update(CWnd* pParent = nullptr, CommApi& commApi = SystemCommApi());
    ~Dialog_Update() override;

    void UpdateControlStates();
    void ClearTestState();
    // Closes the serial line and ends whatever ran on it, as the port button's close does.
    void ClosePort();
    void SwitchWorkMode(int mode);
    void AppendLog(LOG_LEVEL level, const CString& text);
    void LoadLogSettings();
    void ProcessReceivedByte(uint8_t byte);
    void HandleDeviceFrame(const DeviceFrame& frame);
    // The engine of the update under way, or null. An observer reads its progress when the engine
    // logs in the middle of handling a frame, before the window reports the frame's progress.
    const BaseUpdate* CurrentUpdate() const { return m_currentUpdate; }

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    BOOL PreTranslateMessage(MSG* pMsg) override;

    afx_msg void OnBnClickedOpenPort();
    afx_msg void OnBnClickedTest();
    afx_msg void OnBnClickedOpenFile();
    afx_msg void OnBnClickedStart();
    afx_msg void OnBnClickedStop();
    afx_msg void OnBnClickedStandby();
    afx_msg void OnBnClickedFirmwareMode();
    afx_msg void OnBnClickedProgramMode();
    afx_msg void OnCbnSelchangeBaud();
    afx_msg void OnEnChangeAddress();
    afx_msg void OnTimer(UINT_PTR nIDEvent);
    afx_msg LRESULT OnSerialByte(WPARAM wParam, LPARAM lParam);
    afx_msg LRESULT OnSerialLineLost(WPARAM wParam, LPARAM lParam);
    DECLARE_MESSAGE_MAP()

private:
    // The engine's log lines go to this dialog's log, synchronously on the caller's thread.
    LogCallback MakeLogCallback();
    // "请先打开串口" / the disconnected warning; false when the command must stop.
    bool CheckPortUsable(LOG_LEVEL notOpenLevel);
    void ResetProgressDisplay();
    // Leaves the updating state after the engine stopped outside the receive path.
    void EndFailedUpdate();
    void NotifyUpdateFinished(UpdateOutcome outcome, const CString& statusMessage, bool firmware);

public:
    // The controls, and what a host program sets before it drives the window.
    CButton m_btnPort;
    CStatic m_staticPortState;
    CEdit m_editAddress;
    CButton m_radioStandby;
    CButton m_radioFirmware;
    CButton m_radioProgram;
    CStatic m_staticMode;
    CButton m_btnTest;
    CButton m_btnOpenFile;
    CButton m_btnStart;
    CButton m_btnStop;
    CStatic m_staticProgress;
    CProgressCtrl m_progress;
    CStatic m_staticState;
    CComboBox m_comboBaud;
    CEdit m_editLog;
    bool m_debugLogEnabled = false;
    Dialog_UpdateObserver* m_observer = nullptr;

private:
    // Tests and benchmarks look at the state below through this, and nothing else does.
    friend class Dialog_UpdateTestAccess;

    HICON m_hIcon = nullptr;
    SerialPort m_serial;
    ProtocolConfig m_protocol;
    FirmwareUpdate m_firmwareUpdate;
    ProgramUpdate m_programUpdate;
    BaseUpdate* m_currentUpdate = nullptr;
    int32_t m_workMode = MODE_STANDBY;
    int32_t m_portOpen = 0;
    int32_t m_testing = 0;
    int32_t m_updating = 0;
    int32_t m_waitTimerActive = 0;
    uint8_t m_addressInput = 1;
    int32_t m_baudIndex = 0;
    ReceiveBuffer m_rxBuffer;
    int32_t m_logLineCount = 0;
};
