// The main window: state and controls, commands and timers, the message log and the receive path.
#include "ui/Dialog_Update.h"

#include <algorithm>
#include <chrono>

#include "framework/CFileDialog.h"
#include "framework/CStdioFile.h"
#include "framework/IconResource.h"
#include "framework/ModulePath.h"
#include "framework/Sleep.h"
#include "framework/TextCodec.h"
#include "framework/WideToInt.h"
#include "ui/Dialog_OpenSerial.h"
#include "ui/Resources.h"
#include "ui/resource.h"

namespace {

using namespace std::chrono_literals;

constexpr std::chrono::milliseconds kFirmwareWaitPeriod = 1000ms;
constexpr std::chrono::milliseconds kProgressPeriod = 200ms;
constexpr std::chrono::milliseconds kTestTimeoutPeriod = 3000ms;
// The connection test lets the device wake up after the trigger frame, then settle before the query.
constexpr std::chrono::milliseconds kTestTriggerPause = 100ms;
constexpr std::chrono::milliseconds kTestQueryPause = 50ms;

constexpr int32_t kLogTrimThreshold = 300;
constexpr uint32_t kDefaultBaudRate = 9600;

constexpr const wchar_t* kCrLf = L"\r\n";
constexpr const wchar_t* kFirmwareFilter = L"固件文件 (*.trs)|*.trs|所有文件 (*.*)|*.*||";
constexpr const wchar_t* kProgramFilter = L"程序文件 (*.tr3)|*.tr3|所有文件 (*.*)|*.*||";

UINT Millis(std::chrono::milliseconds period) {
    return static_cast<UINT>(period.count());
}

const wchar_t* ModeName(int mode) {
    switch (mode) {
        case MODE_STANDBY:
            return L"预备模式";
        case MODE_FIRMWARE:
            return L"固件更新模式";
        case MODE_PROGRAM:
            return L"程序更新模式";
        default:
            return L"";
    }
}

}  // namespace

const wchar_t* LogLinePrefix(LOG_LEVEL level) {
    switch (level) {
        case LOG_DEBUG:
            return L"DEBUG：";
        case LOG_WARNING:
            return L"警告：";
        case LOG_ERROR:
            return L"错误：";
        default:
            return L"";
    }
}

IMPLEMENT_DYNAMIC(Dialog_Update, CDialogEx)

BEGIN_MESSAGE_MAP(Dialog_Update, CDialogEx)
ON_BN_CLICKED(IDC_BTN_PORT, &Dialog_Update::OnBnClickedOpenPort)
ON_BN_CLICKED(IDC_BTN_TEST, &Dialog_Update::OnBnClickedTest)
ON_BN_CLICKED(IDC_BTN_OPEN_FILE, &Dialog_Update::OnBnClickedOpenFile)
ON_BN_CLICKED(IDC_BTN_START, &Dialog_Update::OnBnClickedStart)
ON_BN_CLICKED(IDC_BTN_STOP, &Dialog_Update::OnBnClickedStop)
ON_BN_CLICKED(IDC_RADIO_STANDBY, &Dialog_Update::OnBnClickedStandby)
ON_BN_CLICKED(IDC_RADIO_FIRMWARE, &Dialog_Update::OnBnClickedFirmwareMode)
ON_BN_CLICKED(IDC_RADIO_PROGRAM, &Dialog_Update::OnBnClickedProgramMode)
ON_CBN_SELCHANGE(IDC_COMBO_BAUD, &Dialog_Update::OnCbnSelchangeBaud)
ON_EN_CHANGE(IDC_EDIT_ADDRESS, &Dialog_Update::OnEnChangeAddress)
ON_WM_TIMER()
ON_MESSAGE(WM_SERIAL_BYTE, &Dialog_Update::OnSerialByte)
ON_MESSAGE(WM_SERIAL_LINE_LOST, &Dialog_Update::OnSerialLineLost)
END_MESSAGE_MAP()

Dialog_Update::Dialog_Update(CWnd* pParent, CommApi& commApi)
    : CDialogEx(IDD_ORVANE_DIALOG, pParent), m_serial(commApi) {
    RegisterDialogResources();
    m_hIcon = AfxLoadIcon(IDR_MAINFRAME);
}

Dialog_Update::~Dialog_Update() {
    if (m_portOpen)
        m_serial.Close();
}

void Dialog_Update::DoDataExchange(CDataExchange* pDX) {
    CDialogEx::DoDataExchange(pDX);
    DDX_Control(pDX, IDC_BTN_PORT, m_btnPort);
    DDX_Control(pDX, IDC_STATIC_PORT_STATE, m_staticPortState);
    DDX_Control(pDX, IDC_EDIT_ADDRESS, m_editAddress);
    DDX_Control(pDX, IDC_RADIO_STANDBY, m_radioStandby);
    DDX_Control(pDX, IDC_RADIO_FIRMWARE, m_radioFirmware);
    DDX_Control(pDX, IDC_RADIO_PROGRAM, m_radioProgram);
    DDX_Control(pDX, IDC_STATIC_MODE, m_staticMode);
    DDX_Control(pDX, IDC_BTN_TEST, m_btnTest);
    DDX_Control(pDX, IDC_BTN_OPEN_FILE, m_btnOpenFile);
    DDX_Control(pDX, IDC_BTN_START, m_btnStart);
    DDX_Control(pDX, IDC_BTN_STOP, m_btnStop);
    DDX_Control(pDX, IDC_STATIC_PROGRESS, m_staticProgress);
    DDX_Control(pDX, IDC_PROGRESS, m_progress);
    DDX_Control(pDX, IDC_STATIC_STATE, m_staticState);
    DDX_Control(pDX, IDC_COMBO_BAUD, m_comboBaud);
    DDX_Control(pDX, IDC_EDIT_LOG, m_editLog);
}

BOOL Dialog_Update::OnInitDialog() {
    CDialogEx::OnInitDialog();
    SetIcon(m_hIcon, TRUE);
    SetIcon(m_hIcon, FALSE);
    SetWindowText(L"Orvane V1.00");
    m_comboBaud.AddString(L"9600 (默认)");
    m_comboBaud.AddString(L"115200");
    m_comboBaud.SetCurSel(0);
    m_editAddress.SetWindowText(L"1");
    m_radioStandby.SetCheck(1);
    SwitchWorkMode(MODE_STANDBY);
    SetTimer(TIMER_PROGRESS, Millis(kProgressPeriod), nullptr);
    UpdateControlStates();
    LoadLogSettings();
    AppendLog(LOG_INFO, L"程序已启动，请打开串口");
    return TRUE;
}

BOOL Dialog_Update::PreTranslateMessage(MSG* pMsg) {
    // Enter would trigger the dialog's default button and close the window.
    if (pMsg->message == WM_KEYDOWN && pMsg->wParam == VK_RETURN)
        return TRUE;
    return CDialogEx::PreTranslateMessage(pMsg);
}

LogCallback Dialog_Update::MakeLogCallback() {
    return [this](LOG_LEVEL level, const CString& text) { AppendLog(level, text); };
}

void Dialog_Update::UpdateControlStates() {
    const bool p = m_portOpen != 0;
    const bool u = m_updating != 0;
    const bool t = m_testing != 0;
    const int m = m_workMode;
    const bool e = m_currentUpdate != nullptr;

    m_btnPort.SetWindowText(p ? L"关闭串口" : L"打开串口");
    m_btnPort.EnableWindow(!(p && u));
    m_staticPortState.SetWindowText(p ? L"串口已打开" : L"串口未打开");
    m_editAddress.EnableWindow(!(p && u));
    m_radioStandby.EnableWindow(p && !u);
    m_radioFirmware.EnableWindow(p && !u);
    m_radioProgram.EnableWindow(p && !u);
    m_staticMode.SetWindowText(ModeName(m));
    m_btnTest.SetWindowText(p && !u && t ? L"测试中..." : L"测试连接");
    m_btnTest.EnableWindow(p && !u && !t);
    m_btnOpenFile.EnableWindow(p && !u && m != MODE_STANDBY);
    m_btnStart.EnableWindow(p && !u && m != MODE_STANDBY && e);
    m_btnStop.EnableWindow(p && u);
    m_comboBaud.EnableWindow(m == MODE_FIRMWARE && !u);
    // Outside firmware mode the combo shows the default without touching the stored choice.
    if (m != MODE_FIRMWARE && m_comboBaud.GetCurSel() != 0)
        m_comboBaud.SetCurSel(0);
}

void Dialog_Update::ClearTestState() {
    KillTimer(TIMER_TEST_TIMEOUT);
    m_testing = 0;
    m_rxBuffer.clear();
    if (m_btnTest.GetSafeHwnd()) {
        m_btnTest.SetWindowText(L"测试连接");
        m_btnTest.EnableWindow(TRUE);
    }
    AppendLog(LOG_DEBUG, L"测试状态已清理");
}

void Dialog_Update::ResetProgressDisplay() {
    m_progress.SetPos(0);
    m_staticProgress.SetWindowText(L"更新进度: 0%");
    m_staticState.SetWindowText(L"等待开始");
}

void Dialog_Update::SwitchWorkMode(int mode) {
    if (m_updating) {
        AppendLog(LOG_WARNING, L"更新进行中，不能切换模式");
        return;
    }
    if (mode == m_workMode)
        return;
    ClearTestState();
    m_workMode = mode;
    m_rxBuffer.clear();
    if (mode == MODE_FIRMWARE) {
        m_currentUpdate = &m_firmwareUpdate;
        m_firmwareUpdate.m_highSpeed = m_baudIndex != 0;
        m_firmwareUpdate.m_logCallback = MakeLogCallback();
    } else if (mode == MODE_PROGRAM) {
        m_currentUpdate = &m_programUpdate;
        m_programUpdate.m_logCallback = MakeLogCallback();
    } else {
        m_currentUpdate = nullptr;
    }
    m_updating = 0;
    ResetProgressDisplay();
    if (m_waitTimerActive) {
        KillTimer(TIMER_FIRMWARE_WAIT);
        m_waitTimerActive = 0;
    }
    CString line;
    line.Format(L"切换到%s", ModeName(mode));
    AppendLog(LOG_INFO, line);
    UpdateControlStates();
}

void Dialog_Update::OnBnClickedStandby() {
    SwitchWorkMode(MODE_STANDBY);
}

void Dialog_Update::OnBnClickedFirmwareMode() {
    SwitchWorkMode(MODE_FIRMWARE);
}

void Dialog_Update::OnBnClickedProgramMode() {
    SwitchWorkMode(MODE_PROGRAM);
}

void Dialog_Update::OnCbnSelchangeBaud() {
    m_baudIndex = std::max(0, m_comboBaud.GetCurSel());
    m_firmwareUpdate.m_highSpeed = m_baudIndex != 0;
}

void Dialog_Update::OnEnChangeAddress() {
    CString text;
    m_editAddress.GetWindowText(text);
    const uint32_t value = static_cast<uint32_t>(WideToInt(text.GetString()));
    if (value <= 255) {
        m_addressInput = static_cast<uint8_t>(value);
        m_protocol.address = m_addressInput;
    }
}

// ---------------------------------------------------------------------------------------------
// Commands

bool Dialog_Update::CheckPortUsable(LOG_LEVEL notOpenLevel) {
    if (!m_portOpen) {
        AppendLog(notOpenLevel, L"请先打开串口");
        return false;
    }
    if (!m_serial.IsOpen()) {
        AppendLog(LOG_WARNING, L"错误：串口已断开，请重新打开串口");
        return false;
    }
    return true;
}

void Dialog_Update::ClosePort() {
    ClearTestState();
    m_serial.Close();
    m_portOpen = 0;
    m_testing = 0;
    m_updating = 0;
    m_currentUpdate = nullptr;
    m_rxBuffer.clear();
    ResetProgressDisplay();
    KillTimer(TIMER_TEST_TIMEOUT);
    if (m_waitTimerActive) {
        KillTimer(TIMER_FIRMWARE_WAIT);
        m_waitTimerActive = 0;
    }
}

void Dialog_Update::OnBnClickedOpenPort() {
    if (m_portOpen) {
        ClosePort();
        AppendLog(LOG_INFO, L"串口已关闭");
        UpdateControlStates();
        return;
    }

    Dialog_OpenSerial chooser;
    if (chooser.DoModal() != IDOK)
        return;
    const int port = chooser.m_selectedPort;
    if (port <= 0) {
        AfxMessageBox(L"请选择有效的串口", MB_OK);
        return;
    }
    if (m_serial.Open(this, port)) {
        m_portOpen = 1;
        m_protocol.address = m_addressInput;
        CString line;
        line.Format(L"串口已打开: COM%d", port);
        AppendLog(LOG_INFO, line);
        UpdateControlStates();
    } else {
        CString line;
        line.Format(L"打开 COM%d 失败", port);
        AfxMessageBox(line, MB_OK);
        AppendLog(LOG_ERROR, line);
    }
}

void Dialog_Update::OnBnClickedTest() {
    if (!CheckPortUsable(LOG_WARNING))
        return;
    ClearTestState();
    if (m_updating) {
        AppendLog(LOG_WARNING, L"更新进行中，不能测试");
        return;
    }
    uint8_t trigger[TRIGGER_FRAME_LENGTH];
    BuildTriggerFrame(trigger);
    AppendLog(LOG_DEBUG, L"发送触发帧");
    if (!m_serial.IsOpen() || !m_serial.Write(trigger, TRIGGER_FRAME_LENGTH)) {
        AppendLog(LOG_ERROR, L"发送触发帧失败");
        if (m_observer)
            m_observer->OnConnectionTestFinished(TestOutcome::NotSent, CString());
        return;
    }
    Sleep(Millis(kTestTriggerPause));
    m_rxBuffer.clear();
    m_testing = 1;
    UpdateControlStates();

    uint8_t query[MODEL_QUERY_FRAME_LENGTH];
    BuildModelQueryFrame(m_protocol.address, MODEL_QUERY_LENGTH_LOW_SPEED, query);
    AppendLog(LOG_INFO, L"发送设备查询");
    CString dump;
    dump.Format(L"发送报文: %s", FormatHexBytes(query, MODEL_QUERY_FRAME_LENGTH));
    AppendLog(LOG_DEBUG, dump);
    Sleep(Millis(kTestQueryPause));
    if (m_serial.IsOpen() && m_serial.Write(query, MODEL_QUERY_FRAME_LENGTH)) {
        AppendLog(LOG_INFO, L"等待设备回复...");
        SetTimer(TIMER_TEST_TIMEOUT, Millis(kTestTimeoutPeriod), nullptr);
        return;
    }
    AppendLog(LOG_ERROR, L"发送设备查询失败");
    ClearTestState();
    UpdateControlStates();
    if (m_observer)
        m_observer->OnConnectionTestFinished(TestOutcome::NotSent, CString());
}

void Dialog_Update::OnBnClickedOpenFile() {
    if (!CheckPortUsable(LOG_INFO))
        return;
    const wchar_t* filter = nullptr;
    if (m_workMode == MODE_FIRMWARE)
        filter = kFirmwareFilter;
    else if (m_workMode == MODE_PROGRAM)
        filter = kProgramFilter;
    else
        return;

    CFileDialog dialog(TRUE, nullptr, nullptr, OFN_HIDEREADONLY, filter, this);
    if (dialog.DoModal() != IDOK)
        return;
    const CString path = dialog.GetPathName();

    BaseUpdate* engine = nullptr;
    int32_t loaded = 0;
    if (m_workMode == MODE_FIRMWARE) {
        m_firmwareUpdate.SetProtocol(&m_protocol);
        loaded = m_firmwareUpdate.LoadFile(path);
        engine = &m_firmwareUpdate;
    } else {
        loaded = m_programUpdate.LoadFile(path);
        engine = &m_programUpdate;
    }
    if (!loaded) {
        AppendLog(LOG_WARNING, L"文件加载失败");
        m_currentUpdate = nullptr;
        UpdateControlStates();
        return;
    }
    m_currentUpdate = engine;
    AppendLog(LOG_INFO, m_workMode == MODE_FIRMWARE ? L"固件文件加载成功" : L"程序文件加载成功");
    CString line;
    line.Format(L"  文件名: %s", engine->m_filePath);
    AppendLog(LOG_INFO, line);
    line.Format(L"  文件大小: %u 字节", engine->m_fileSize);
    AppendLog(LOG_DEBUG, line);
    line.Format(L"  总块数: %u", engine->m_totalBlocks);
    AppendLog(LOG_DEBUG, line);
    UpdateControlStates();
}

void Dialog_Update::OnBnClickedStart() {
    if (!CheckPortUsable(LOG_WARNING))
        return;
    if (!m_currentUpdate) {
        AppendLog(LOG_WARNING, L"请先打开文件");
        return;
    }
    if (m_currentUpdate->IsRunning()) {
        AppendLog(LOG_WARNING, L"更新正在进行中");
        return;
    }
    m_serial.SetBaudRate(kDefaultBaudRate);
    if (m_workMode == MODE_FIRMWARE) {
        m_firmwareUpdate.m_highSpeed = m_baudIndex != 0;
        AppendLog(LOG_INFO, m_baudIndex != 0 ? L"波特率: 115200" : L"波特率: 9600");
    }
    m_updating = 1;
    // Whatever arrived before this run (a stray byte, a late reply) must not prefix its first frame.
    m_rxBuffer.clear();
    m_currentUpdate->SetProtocol(&m_protocol);
    m_currentUpdate->SetSerialPort(&m_serial);
    m_currentUpdate->Start();
    if (m_currentUpdate->IsRunning()) {
        CString line;
        line.Format(L"开始%s更新", m_workMode == MODE_FIRMWARE ? L"固件" : L"程序");
        AppendLog(LOG_INFO, line);
        UpdateControlStates();
        if (m_workMode == MODE_FIRMWARE) {
            m_waitTimerActive = 1;
            SetTimer(TIMER_FIRMWARE_WAIT, Millis(kFirmwareWaitPeriod), nullptr);
            AppendLog(LOG_INFO, L"等待...");
        }
        return;
    }
    AppendLog(LOG_WARNING, m_currentUpdate->GetStatusMessage());
    m_updating = 0;
    UpdateControlStates();
    NotifyUpdateFinished(UpdateOutcome::Failed, m_currentUpdate->GetStatusMessage(),
                         m_currentUpdate == &m_firmwareUpdate);
}

void Dialog_Update::NotifyUpdateFinished(UpdateOutcome outcome, const CString& statusMessage, bool firmware) {
    if (m_observer)
        m_observer->OnUpdateFinished(outcome, statusMessage,
                                     firmware ? m_firmwareUpdate.m_deviceModel : CString());
}

void Dialog_Update::OnBnClickedStop() {
    if (!m_currentUpdate || !m_currentUpdate->IsRunning())
        return;
    m_currentUpdate->Stop();
    AppendLog(LOG_WARNING, L"更新中断，设备需重启");
    m_updating = 0;
    if (m_waitTimerActive) {
        KillTimer(TIMER_FIRMWARE_WAIT);
        m_waitTimerActive = 0;
    }
    m_serial.SetBaudRate(kDefaultBaudRate);
    UpdateControlStates();
    NotifyUpdateFinished(UpdateOutcome::Stopped, m_currentUpdate->GetStatusMessage(),
                         m_currentUpdate == &m_firmwareUpdate);
}

void Dialog_Update::OnTimer(UINT_PTR nIDEvent) {
    if (nIDEvent == TIMER_PROGRESS) {
        if (m_updating && m_currentUpdate) {
            const int32_t percent = m_currentUpdate->GetProgress();
            m_progress.SetPos(percent);
            CString text;
            text.Format(L"更新进度: %u%%", static_cast<uint32_t>(percent));
            m_staticProgress.SetWindowText(text);
            m_staticState.SetWindowText(m_currentUpdate->GetStateText());
        }
    } else if (nIDEvent == TIMER_FIRMWARE_WAIT) {
        KillTimer(TIMER_FIRMWARE_WAIT);
        m_waitTimerActive = 0;
        if (m_firmwareUpdate.m_state == FW_WAIT_TRIGGER && m_firmwareUpdate.m_running &&
            !m_firmwareUpdate.m_stopped) {
            // A device that restarts after the trigger frame may have sent a stray byte meanwhile.
            m_rxBuffer.clear();
            m_firmwareUpdate.m_state = FW_SEND_MODEL_QUERY;
            m_firmwareUpdate.ProcessState();
            // The query may fail to go out (line gone) or the switch to 115200 may be refused; the
            // engine has then stopped, and no reply will ever come to end the update for us.
            if (m_firmwareUpdate.IsStopped() && m_updating && m_currentUpdate == &m_firmwareUpdate)
                EndFailedUpdate();
        }
    } else if (nIDEvent == TIMER_TEST_TIMEOUT) {
        KillTimer(TIMER_TEST_TIMEOUT);
        if (m_testing) {
            m_testing = 0;
            AppendLog(LOG_WARNING, L"连接测试超时，未收到设备回复");
            UpdateControlStates();
            if (m_observer)
                m_observer->OnConnectionTestFinished(TestOutcome::TimedOut, CString());
        }
    }
    CDialogEx::OnTimer(nIDEvent);
}

// ---------------------------------------------------------------------------------------------
// Message log

void Dialog_Update::AppendLog(LOG_LEVEL level, const CString& text) {
    // Engines may still log from their destructors after the window is gone.
    if (!m_editLog.GetSafeHwnd())
        return;

    if (m_logLineCount > kLogTrimThreshold) {
        CString all;
        m_editLog.GetWindowText(all);
        const int32_t half = m_logLineCount / 2;
        int position = 0;
        int32_t found = 0;
        while (found < half) {
            const int next = all.Find(kCrLf, position);
            if (next < 0)
                break;
            position = next + 2;
            ++found;
        }
        if (found < half) {
            m_editLog.SetWindowText(L"");
            m_logLineCount = 0;
        } else {
            CString rest = all.Mid(position);
            if (rest.Left(2) == kCrLf)
                rest = rest.Mid(2);
            m_editLog.SetWindowText(rest);
            m_logLineCount = m_editLog.GetLineCount();
        }
    }

    const int length = m_editLog.GetWindowTextLength();
    m_editLog.SetSel(length, length);

    CString line;
    if (length > 0)
        line += kCrLf;
    line += LogLinePrefix(level);
    const bool shown = level != LOG_DEBUG || m_debugLogEnabled;
    if (m_observer)
        m_observer->OnLogLine(level, text, shown);
    if (!shown)
        return;
    line += text;
    m_editLog.ReplaceSel(line);
    m_editLog.LineScroll(m_editLog.GetLineCount());
    ++m_logLineCount;
}

void Dialog_Update::LoadLogSettings() {
    CString path;
    if (!GetModuleFilePath(path))
        return;
    // The executable's directory, cut after its last separator (either kind, whatever the platform).
    const int cut = std::max(path.ReverseFind(L'\\'), path.ReverseFind(L'/'));
    if (cut < 0)
        return;
    const CString settings = path.Left(cut + 1) + L"LOG.ini";

    CStdioFile file;
    if (!file.Open(settings, CFile::modeRead | CFile::typeText | CFile::shareDenyNone))
        return;
    m_debugLogEnabled = true;
    CString line;
    try {
        while (file.ReadString(line))
            line.Trim();
    } catch (CException* e) {
        e->Delete();
    }
    file.Close();
}

// ---------------------------------------------------------------------------------------------
// Receive path

LRESULT Dialog_Update::OnSerialByte(WPARAM wParam, LPARAM) {
    if (m_observer)
        m_observer->OnByteReceived(static_cast<uint8_t>(wParam & 0xFF));
    ProcessReceivedByte(static_cast<uint8_t>(wParam & 0xFF));
    return 0;
}

// The reader has ended on a read failure: a pulled adapter, a device gone. Nothing more can come in,
// so whatever waits for the device ends as failed now, and the port is closed so that it can be
// opened again once the device is back.
LRESULT Dialog_Update::OnSerialLineLost(WPARAM wParam, LPARAM) {
    const DWORD code = static_cast<DWORD>(wParam);
    if (m_observer)
        m_observer->OnLineLost(code);
    if (!m_portOpen)
        return 0;
    CString line;
    line.Format(L"串口连接已断开，错误码：%u", code);
    AppendLog(LOG_ERROR, line);
    const bool testing = m_testing != 0;
    BaseUpdate* update = m_updating ? m_currentUpdate : nullptr;
    CString status;
    if (update) {
        update->Stop();
        status = update->GetStatusMessage();
        AppendLog(LOG_ERROR, status);
    }
    const bool firmware = update == &m_firmwareUpdate;
    ClosePort();
    AppendLog(LOG_INFO, L"串口已关闭");
    UpdateControlStates();
    if (testing && m_observer)
        m_observer->OnConnectionTestFinished(TestOutcome::NotSent, CString());
    if (update)
        NotifyUpdateFinished(UpdateOutcome::Failed, status, firmware);
    return 0;
}

void Dialog_Update::ProcessReceivedByte(uint8_t byte) {
    m_rxBuffer.push_back(byte);
    // The candidate frame always runs from the first buffered byte to the one just received.
    if (const uint16_t frameLength = m_rxBuffer.CompleteFrameLength(); frameLength != 0) {
        CString dump;
        dump.Format(L"接收帧数据：%s", FormatHexBytes(m_rxBuffer.data(), frameLength));
        AppendLog(LOG_DEBUG, dump);
        DeviceFrame frame;
        ParseDeviceFrame(m_rxBuffer.data(), frameLength, frame);
        if (frame.valid) {
            HandleDeviceFrame(frame);
        } else {
            AppendLog(LOG_ERROR, L"[调试] ⚠️ 帧解析失败（CRC错误或格式不匹配）");
        }
        m_rxBuffer.erase_front(frameLength);
        return;
    }
    // Without this a single stray byte ahead of a reply would hide every later frame until the
    // buffer overflowed.
    m_rxBuffer.DropStrayBytes();
    if (m_rxBuffer.size() > RX_DISCARD_LIMIT)
        m_rxBuffer.clear();
}

void Dialog_Update::HandleDeviceFrame(const DeviceFrame& frame) {
    if (frame.functionCode == FUNC_MODEL && m_testing) {
        KillTimer(TIMER_TEST_TIMEOUT);
        m_testing = 0;
        CString model;
        if (frame.dataLength > 0 && !frame.data.empty()) {
            AppendLog(LOG_INFO, L"收到设备回应报文");
            model = AnsiToWide(frame.data.data(), frame.data.size());
            CString line;
            line.Format(L"设备型号: %s", model);
            AppendLog(LOG_DEBUG, line);
        } else {
            AppendLog(LOG_WARNING, L"收到设备查询回复 (空数据)");
        }
        UpdateControlStates();
        if (m_observer)
            m_observer->OnConnectionTestFinished(TestOutcome::Answered, model);
        return;
    }
    if (!m_currentUpdate || !m_currentUpdate->IsRunning())
        return;
    m_currentUpdate->HandleFrame(frame);
    if (m_observer) {
        m_observer->OnProgress(m_currentUpdate->GetProgress(), m_currentUpdate->m_blocksDone,
                               m_currentUpdate->m_totalBlocks);
    }
    if (m_currentUpdate->IsCompleted()) {
        m_progress.SetPos(100);
        m_staticProgress.SetWindowText(L"更新进度: 100%");
        m_staticState.SetWindowText(L"更新完成");
        m_updating = 0;
        AppendLog(LOG_INFO, L"更新完成！");
        const CString status = m_currentUpdate->GetStatusMessage();
        const bool firmware = m_currentUpdate == &m_firmwareUpdate;
        m_currentUpdate = nullptr;
        UpdateControlStates();
        NotifyUpdateFinished(UpdateOutcome::Completed, status, firmware);
    } else if (m_currentUpdate->IsStopped()) {
        m_updating = 0;
        const CString status = m_currentUpdate->GetStatusMessage();
        const bool firmware = m_currentUpdate == &m_firmwareUpdate;
        AppendLog(LOG_ERROR, status);
        m_currentUpdate = nullptr;
        UpdateControlStates();
        NotifyUpdateFinished(UpdateOutcome::Failed, status, firmware);
    }
}

void Dialog_Update::EndFailedUpdate() {
    m_updating = 0;
    const CString status = m_currentUpdate->GetStatusMessage();
    const bool firmware = m_currentUpdate == &m_firmwareUpdate;
    AppendLog(LOG_ERROR, status);
    m_currentUpdate = nullptr;
    // A failed switch can leave the line at either rate; the next test must find it at 9600.
    m_serial.SetBaudRate(kDefaultBaudRate);
    UpdateControlStates();
    NotifyUpdateFinished(UpdateOutcome::Failed, status, firmware);
}
