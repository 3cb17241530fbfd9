// Whole updates from clicks: the simulated device receives exactly what the file holds.
#include <QProgressBar>
#include <QTest>

#include "tests/support/Dialog_UpdateTestAccess.h"
#include "tests/support/TestTime.h"
#include "tests/ui/MainWindowFixture.h"

namespace {

using namespace gui_test;
using namespace std::chrono_literals;

class UpdateFlowTest : public MainWindowTest {
protected:
    void Ready(SimulatorOptions options = {}) {
        StartDevice(std::move(options));
        OpenPort(m_device->Port());
        m_dialog.m_debugLogEnabled = true;
    }
    int Progress() { return FindControlAs<QProgressBar>(m_window, IDC_PROGRESS)->value(); }
};

TEST_F(UpdateFlowTest, ProgramUpdateEndToEnd) {
    Ready();
    const auto program = PatternBytes(1234, 3);
    ClickControl(IDC_RADIO_PROGRAM);
    OpenFile(WriteFile("app.tr3", program));
    EXPECT_TRUE(LogHas(L"程序文件加载成功"));
    EXPECT_TRUE(LogHas(L"DEBUG：  总块数: 25"));
    EXPECT_TRUE(LogHas(L"DEBUG：  文件大小: 1234 字节"));
    ClickControl(IDC_BTN_START);
    EXPECT_TRUE(LogHas(L"开始程序更新"));
    EXPECT_FALSE(LogHas(L"等待..."));
    EXPECT_TRUE(Enabled(IDC_BTN_STOP));
    EXPECT_FALSE(Enabled(IDC_BTN_PORT));
    EXPECT_FALSE(Enabled(IDC_BTN_TEST));
    EXPECT_FALSE(Enabled(IDC_RADIO_STANDBY));
    ASSERT_TRUE(WaitForLog(L"更新完成！", 20s));
    EXPECT_EQ(Progress(), 100);
    EXPECT_EQ(Text(IDC_STATIC_PROGRESS), QString("更新进度: 100%"));
    EXPECT_EQ(Text(IDC_STATIC_STATE), QString("更新完成"));
    EXPECT_EQ(Inside(m_dialog).m_currentUpdate, nullptr);
    EXPECT_FALSE(Enabled(IDC_BTN_START));  // the engine must be selected again
    EXPECT_EQ(m_device->StopAndTakePayload(), program);
    EXPECT_EQ(m_events.finished, std::vector<std::string>{"update completed 程序更新完成！ "});
    EXPECT_EQ(m_events.lastProgress, "25/25 100%");
}

struct FirmwareCase {
    const char* name;
    bool highSpeed;
};

class FirmwareFlowTest : public UpdateFlowTest, public ::testing::WithParamInterface<FirmwareCase> {};

TEST_P(FirmwareFlowTest, FirmwareUpdateEndToEnd) {
    SimulatorOptions options;
    options.modelGbk = "ORV-7";
    options.switchDelay = 100ms;
    Ready(options);
    const auto payload = PatternBytes(2345, 9);
    ClickControl(IDC_RADIO_FIRMWARE);
    if (GetParam().highSpeed) {
        auto* baud = FindControlAs<QComboBox>(m_window, IDC_COMBO_BAUD);
        baud->setFocus();
        QTest::keyClick(baud, Qt::Key_Down);
        ASSERT_EQ(Inside(m_dialog).m_baudIndex, 1);
    }
    OpenFile(WriteFirmware("fw.trs", payload, "ORV-7"));
    ASSERT_TRUE(LogHas(L"固件文件加载成功"));
    ClickControl(IDC_BTN_START);
    EXPECT_TRUE(LogHas(GetParam().highSpeed ? L"波特率: 115200" : L"波特率: 9600"));
    EXPECT_TRUE(LogHas(L"开始固件更新"));
    EXPECT_TRUE(LogHas(L"等待..."));
    ASSERT_TRUE(WaitForLog(L"更新完成！", 30s));
    EXPECT_TRUE(LogHas(L"固件更新完成！"));
    EXPECT_EQ(LogHas(L"切换到115200成功"), GetParam().highSpeed);
    EXPECT_EQ(LogHas(L"恢复波特率到9600"), GetParam().highSpeed);
    EXPECT_EQ(Progress(), 100);
    const SimReport report = m_device->StopAndReport();
    EXPECT_EQ(report.payload, payload);
    // The host lets the query leave the line before it changes its own rate.
    EXPECT_EQ(report.hostSwitchGap.has_value(), GetParam().highSpeed);
    if (report.hostSwitchGap) {
        EXPECT_GE(*report.hostSwitchGap, 50ms);
        EXPECT_LT(*report.hostSwitchGap, test_time::Limit(1000ms));
    }
}

INSTANTIATE_TEST_SUITE_P(Rates, FirmwareFlowTest,
                         ::testing::Values(FirmwareCase{"At9600", false}, FirmwareCase{"At115200", true}),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(UpdateFlowTest, ChipModelMismatchStopsBeforeAnyData) {
    SimulatorOptions options;
    options.modelGbk = "orv-7";
    Ready(options);
    ClickControl(IDC_RADIO_FIRMWARE);
    OpenFile(WriteFirmware("fw.trs", PatternBytes(500), "ORV-7"));
    ClickControl(IDC_BTN_START);
    ASSERT_TRUE(WaitForLog(L"错误：错误！！！设备芯片型号与固件对应芯片型号不符，不能进行固件更新！"));
    ASSERT_TRUE(WaitForLog(L"错误：更新已停止"));
    EXPECT_FALSE(Inside(m_dialog).m_updating);
    EXPECT_TRUE(m_device->StopAndTakePayload().empty());
    // The outcome names what the device said it is, for the station record.
    EXPECT_EQ(m_events.finished, std::vector<std::string>{"update failed 更新已停止 orv-7"});
}

TEST_F(UpdateFlowTest, StopMidRun) {
    SimulatorOptions options;
    options.ackDelay = 20ms;
    Ready(options);
    ClickControl(IDC_RADIO_PROGRAM);
    OpenFile(WriteFile("big.tr3", PatternBytes(50000)));
    ClickControl(IDC_BTN_START);
    ASSERT_TRUE(WaitFor([&] { return Inside(m_dialog).m_programUpdate.m_blocksDone >= 3; }));
    ClickControl(IDC_BTN_STOP);
    EXPECT_TRUE(LogHas(L"错误：程序更新已停止"));
    EXPECT_TRUE(LogHas(L"警告：更新中断，设备需重启"));
    EXPECT_FALSE(Inside(m_dialog).m_updating);
    EXPECT_EQ(m_events.finished, std::vector<std::string>{"update stopped 程序更新已停止 "});
    EXPECT_TRUE(Enabled(IDC_BTN_START));  // the same engine can be started again
    EXPECT_FALSE(Enabled(IDC_BTN_STOP));
    // The displays keep the last poll's values until a mode switch.
    ClickControl(IDC_RADIO_FIRMWARE);
    EXPECT_EQ(Text(IDC_STATIC_PROGRESS), QString("更新进度: 0%"));
    EXPECT_EQ(Text(IDC_STATIC_STATE), QString("等待开始"));
}

// Start and Stop log their lines in this order, and the whole window follows the updating state.
TEST_F(UpdateFlowTest, StartAndStopLogInOrderAndSetTheUpdatingRow) {
    Ready();
    m_dialog.m_debugLogEnabled = false;
    ClickControl(IDC_RADIO_FIRMWARE);
    m_dialog.m_comboBaud.SetCurSel(1);
    m_dialog.SendMessage(WM_COMMAND, IDC_COMBO_BAUD | (CBN_SELCHANGE << 16), 0);
    OpenFile(WriteFirmware("fw.trs", PatternBytes(300), "ORV-7"));
    auto expectRow = [this](bool updating) {
        for (int id : {IDC_BTN_PORT, IDC_EDIT_ADDRESS, IDC_RADIO_STANDBY, IDC_RADIO_FIRMWARE,
                       IDC_RADIO_PROGRAM, IDC_BTN_TEST, IDC_BTN_OPEN_FILE, IDC_BTN_START, IDC_COMBO_BAUD}) {
            EXPECT_EQ(Enabled(id), !updating) << "control " << id;
        }
        EXPECT_EQ(Enabled(IDC_BTN_STOP), updating);
        EXPECT_EQ(Text(IDC_BTN_PORT), QString("关闭串口"));
        EXPECT_EQ(Text(IDC_BTN_TEST), QString("测试连接"));
    };

    size_t from = LogLines().size();
    ClickControl(IDC_BTN_START);
    // The engine's own lines come between the baud rate and the dialog's start line.
    EXPECT_EQ(LogLinesFrom(from), (std::vector<CString>{L"波特率: 115200", L"发送触发帧", L"等待...",
                                                        L"开始固件更新", L"等待..."}));
    expectRow(true);
    EXPECT_TRUE(TimerRunning(1000ms));

    from = LogLines().size();
    ClickControl(IDC_BTN_STOP);
    EXPECT_EQ(LogLinesFrom(from), (std::vector<CString>{L"错误：更新已停止", L"警告：更新中断，设备需重启"}));
    expectRow(false);
    EXPECT_FALSE(TimerRunning(1000ms));
}

TEST_F(UpdateFlowTest, StartWithoutAFileIsRefusedByTheEngine) {
    Ready();
    ClickControl(IDC_RADIO_PROGRAM);
    ClickControl(IDC_BTN_START);
    EXPECT_TRUE(LogHas(L"警告：请先加载程序文件"));
    EXPECT_FALSE(Inside(m_dialog).m_updating);
    EXPECT_EQ(m_events.finished, std::vector<std::string>{"update failed 请先加载程序文件 "});
    EXPECT_TRUE(Enabled(IDC_BTN_START));
}

// A line that goes away mid-transfer (a pulled adapter) is logged at once with the system's error
// code; the update ends as failed and the port is closed, so that it can be opened again.
TEST_F(UpdateFlowTest, LostLineEndsTheUpdateAndClosesThePort) {
    SimulatorOptions options;
    options.hangupAt = 3;
    Ready(options);
    ClickControl(IDC_RADIO_PROGRAM);
    OpenFile(WriteFile("app.tr3", PatternBytes(1000)));
    ClickControl(IDC_BTN_START);
    ASSERT_TRUE(WaitFor([&] { return m_events.finished.size() >= 2; }, 10s));
    ASSERT_EQ(m_events.finished[0].rfind("lost ", 0), 0u) << m_events.finished[0];
    EXPECT_NE(m_events.finished[0], "lost 0");
    EXPECT_EQ(m_events.finished[1].rfind("update failed ", 0), 0u) << m_events.finished[1];
    const CString code = CString::FromUtf8(m_events.finished[0].substr(5));
    EXPECT_TRUE(LogHas(L"错误：串口连接已断开，错误码：" + code));
    EXPECT_FALSE(Inside(m_dialog).m_updating);
    EXPECT_FALSE(Inside(m_dialog).m_serial.IsOpen());
    EXPECT_EQ(Text(IDC_STATIC_PORT_STATE), QString("串口未打开"));
    EXPECT_EQ(Text(IDC_BTN_PORT), QString("打开串口"));
    EXPECT_TRUE(Enabled(IDC_BTN_PORT));
    EXPECT_FALSE(Enabled(IDC_BTN_STOP));
}

TEST_F(UpdateFlowTest, RejectedFileDeselectsTheEngine) {
    Ready();
    ClickControl(IDC_RADIO_PROGRAM);
    OpenFile(WriteFile("empty.tr3", {}));
    EXPECT_TRUE(LogHas(L"警告：文件加载失败"));
    EXPECT_EQ(Inside(m_dialog).m_currentUpdate, nullptr);
    EXPECT_FALSE(Enabled(IDC_BTN_START));
    ClickControl(IDC_RADIO_FIRMWARE);
    OpenFile(WriteFile("bad.trs", PatternBytes(400)));
    EXPECT_TRUE(LogHas(L"错误：固件校验错误，加载固件文件失败"));
    EXPECT_FALSE(Enabled(IDC_BTN_START));
}

TEST_F(UpdateFlowTest, StrayByteMidUpdateIsSkipped) {
    SimulatorOptions options;
    options.strayByte = true;
    Ready(options);
    const auto program = PatternBytes(420, 5);
    ClickControl(IDC_RADIO_PROGRAM);
    OpenFile(WriteFile("app.tr3", program));
    ClickControl(IDC_BTN_START);
    ASSERT_TRUE(WaitForLog(L"更新完成！", 20s));
    EXPECT_EQ(m_device->StopAndTakePayload(), program);
}

// The step the one-second timer runs can fail: the model query cannot be written (line gone) or the
// line refuses 115200. The window must leave the updating state by itself, back at 9600.
struct TimedStepFault {
    const char* name;
    bool highSpeed;
    bool failQuery;
    const wchar_t* reason;
    std::vector<DWORD> ratesFromStart;  // every rate the line was asked for from Start on
};

void PrintTo(const TimedStepFault& fault, std::ostream* out) {
    *out << fault.name;
}

class TimedStepFaultTest : public UpdateFlowTest, public ::testing::WithParamInterface<TimedStepFault> {};

TEST_P(TimedStepFaultTest, FailureInTheTimedStepEndsTheUpdate) {
    const TimedStepFault& c = GetParam();
    Ready();
    ClickControl(IDC_RADIO_FIRMWARE);
    if (c.highSpeed) {
        m_dialog.m_comboBaud.SetCurSel(1);
        m_dialog.SendMessage(WM_COMMAND, IDC_COMBO_BAUD | (CBN_SELCHANGE << 16), 0);
    }
    OpenFile(WriteFirmware("fw.trs", PatternBytes(300), "ORV-7"));
    std::vector<DWORD> rates;
    m_comm.beforeSetState = [&rates, &c](CommHandle, const CommState& state) {
        rates.push_back(state.BaudRate);
        return !(c.highSpeed && state.BaudRate == 115200);
    };
    m_comm.beforeWrite = [&c](CommHandle, const uint8_t* data, DWORD size) {
        const bool query = size == MODEL_QUERY_FRAME_LENGTH && data[1] == FUNC_MODEL;
        return !(c.failQuery && query);
    };
    AfxSetTimerScale(0.05);
    ClickControl(IDC_BTN_START);
    const bool ended = WaitFor([&] { return !Inside(m_dialog).m_updating; });
    AfxSetTimerScale(1.0);
    m_comm.beforeSetState = nullptr;
    m_comm.beforeWrite = nullptr;
    ASSERT_TRUE(ended);
    EXPECT_EQ(LogLines().back(), CString(c.reason));
    EXPECT_EQ(Inside(m_dialog).m_currentUpdate, nullptr);
    EXPECT_EQ(rates, c.ratesFromStart);
    // Idle again: the port, the modes and the test are usable; Stop has nothing to stop.
    EXPECT_TRUE(Enabled(IDC_BTN_PORT));
    EXPECT_TRUE(Enabled(IDC_RADIO_PROGRAM));
    EXPECT_TRUE(Enabled(IDC_BTN_TEST));
    EXPECT_FALSE(Enabled(IDC_BTN_STOP));
    EXPECT_FALSE(Enabled(IDC_BTN_START));
}

INSTANTIATE_TEST_SUITE_P(
    Causes, TimedStepFaultTest,
    ::testing::Values(
        TimedStepFault{"QueryNotWritten", false, true, L"错误：发送读取MCU型号失败", {9600, 9600}},
        TimedStepFault{"HighSpeedRefused", true, false, L"错误：切换到115200失败", {9600, 115200, 9600}}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
