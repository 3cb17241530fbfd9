// The connection test from the window: trigger frame, model query, and the three ways it ends.
#include <QProgressBar>

#include "framework/CWnd.h"
#include "protocol/Protocol.h"
#include "tests/support/Dialog_UpdateTestAccess.h"
#include "tests/ui/MainWindowFixture.h"

namespace {

using namespace gui_test;
using namespace std::chrono_literals;

class ConnectionTest : public MainWindowTest {
protected:
    void OpenWithDevice(SimulatorOptions options = {}) {
        StartDevice(std::move(options));
        OpenPort(m_device->Port());
        m_dialog.m_debugLogEnabled = true;
    }
};

TEST_F(ConnectionTest, DeviceAnswersWithItsModel) {
    SimulatorOptions options;
    options.modelGbk = "\xD0\xCD\xBA\xC5-7";  // "型号-7" in GBK
    OpenWithDevice(options);
    ClickControl(IDC_BTN_TEST);
    EXPECT_TRUE(LogHas(L"DEBUG：发送触发帧"));
    EXPECT_TRUE(LogHas(L"发送设备查询"));
    EXPECT_TRUE(LogHas(L"DEBUG：发送报文: 01 69 00 65 00 00 4D DC "));
    EXPECT_TRUE(LogHas(L"等待设备回复..."));
    ASSERT_TRUE(WaitForLog(L"收到设备回应报文"));
    EXPECT_TRUE(LogHas(L"DEBUG：设备型号: 型号-7"));
    EXPECT_EQ(m_events.finished, std::vector<std::string>{"test answered 型号-7"});
    EXPECT_FALSE(Inside(m_dialog).m_testing);
    EXPECT_EQ(Text(IDC_BTN_TEST), QString("测试连接"));
    EXPECT_TRUE(Enabled(IDC_BTN_TEST));
}

TEST_F(ConnectionTest, QueryCarriesTheAddressTyped) {
    OpenWithDevice();
    m_dialog.m_editAddress.SetWindowText(L"7");
    ClickControl(IDC_BTN_TEST);
    EXPECT_TRUE(LogHas(L"DEBUG：发送报文: 07 69 00 65 00 00 4D BA "));
    ASSERT_TRUE(WaitForLog(L"收到设备回应报文"));
}

TEST_F(ConnectionTest, EmptyModelReply) {
    SimulatorOptions options;
    options.modelGbk.clear();
    OpenWithDevice(options);
    ClickControl(IDC_BTN_TEST);
    ASSERT_TRUE(WaitForLog(L"警告：收到设备查询回复 (空数据)"));
    EXPECT_EQ(m_events.finished, std::vector<std::string>{"test answered "});
    EXPECT_FALSE(Inside(m_dialog).m_testing);
}

TEST_F(ConnectionTest, SilentDeviceTimesOut) {
    SimulatorOptions options;
    options.silent = true;
    OpenWithDevice(options);
    AfxSetTimerScale(0.02);  // the 3000 ms time-out becomes 60 ms
    ClickControl(IDC_BTN_TEST);
    EXPECT_EQ(Text(IDC_BTN_TEST), QString("测试中..."));
    EXPECT_FALSE(Enabled(IDC_BTN_TEST));
    const bool timedOut = WaitForLog(L"警告：连接测试超时，未收到设备回复");
    AfxSetTimerScale(1.0);
    ASSERT_TRUE(timedOut);
    EXPECT_EQ(m_events.finished, std::vector<std::string>{"test timed-out "});
    EXPECT_EQ(Text(IDC_BTN_TEST), QString("测试连接"));
    EXPECT_TRUE(Enabled(IDC_BTN_TEST));
}

TEST_F(ConnectionTest, ModeSwitchCancelsTheTestSilently) {
    SimulatorOptions options;
    options.silent = true;
    OpenWithDevice(options);
    ClickControl(IDC_BTN_TEST);
    ASSERT_TRUE(Inside(m_dialog).m_testing);
    ClickControl(IDC_RADIO_PROGRAM);
    EXPECT_FALSE(Inside(m_dialog).m_testing);
    EXPECT_TRUE(LogHas(L"DEBUG：测试状态已清理"));
    EXPECT_TRUE(Enabled(IDC_BTN_TEST));
    for (const CString& line : LogLines())
        EXPECT_EQ(line.Find(L"超时"), -1);
}

TEST_F(ConnectionTest, StrayByteAheadOfTheReplyIsSkipped) {
    SimulatorOptions options;
    options.strayByte = true;
    OpenWithDevice(options);
    ClickControl(IDC_BTN_TEST);
    ASSERT_TRUE(WaitForLog(L"收到设备回应报文"));
}

TEST_F(ConnectionTest, CommandsNeedAnOpenPort) {
    ClickControl(IDC_BTN_TEST);  // disabled: nothing happens
    EXPECT_EQ(LogLines().size(), 1u);
    // Driven directly, the commands give their warnings.
    m_dialog.SendMessage(WM_COMMAND, IDC_BTN_TEST | (BN_CLICKED << 16), 0);
    EXPECT_TRUE(LogHas(L"警告：请先打开串口"));
}

// A frame that cannot be written ends the test at once: no waiting, no time-out to come.
TEST_F(ConnectionTest, FailedWritesEndTheTestAtOnce) {
    SimulatorOptions options;
    options.silent = true;
    OpenWithDevice(options);
    struct Case {
        const char* name;
        uint32_t failingLength;
        std::vector<CString> lines;
    };
    const Case cases[] = {
        {"trigger",
         TRIGGER_FRAME_LENGTH,
         {L"DEBUG：测试状态已清理", L"DEBUG：发送触发帧", L"错误：发送触发帧失败"}},
        {"query",
         MODEL_QUERY_FRAME_LENGTH,
         {L"DEBUG：测试状态已清理", L"DEBUG：发送触发帧", L"发送设备查询",
          L"DEBUG：发送报文: 01 69 00 65 00 00 4D DC ", L"错误：发送设备查询失败", L"DEBUG：测试状态已清理"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        m_comm.beforeWrite = [&c](CommHandle, const uint8_t*, DWORD size) { return size != c.failingLength; };
        const size_t from = LogLines().size();
        ClickControl(IDC_BTN_TEST);
        EXPECT_EQ(LogLinesFrom(from), c.lines);
        EXPECT_FALSE(Inside(m_dialog).m_testing);
        EXPECT_FALSE(TimerRunning(3000ms));
        EXPECT_EQ(Text(IDC_BTN_TEST), QString("测试连接"));
        EXPECT_TRUE(Enabled(IDC_BTN_TEST));
    }
    m_comm.beforeWrite = nullptr;
}

// Start does not wait for a pending test; during the update a test is refused, and the refusal
// still clears the pending one.
TEST_F(ConnectionTest, TestAndUpdateMeet) {
    SimulatorOptions options;
    options.silent = true;
    OpenWithDevice(options);
    ClickControl(IDC_RADIO_PROGRAM);
    OpenFile(WriteFile("app.tr3", PatternBytes(500)));
    ClickControl(IDC_BTN_TEST);
    ASSERT_TRUE(Inside(m_dialog).m_testing);
    // The testing row: only the test button itself is held.
    EXPECT_EQ(Text(IDC_BTN_TEST), QString("测试中..."));
    for (int id : {IDC_BTN_PORT, IDC_EDIT_ADDRESS, IDC_RADIO_STANDBY, IDC_RADIO_FIRMWARE, IDC_RADIO_PROGRAM,
                   IDC_BTN_OPEN_FILE, IDC_BTN_START}) {
        EXPECT_TRUE(Enabled(id)) << "control " << id;
    }
    EXPECT_FALSE(Enabled(IDC_BTN_TEST));
    EXPECT_FALSE(Enabled(IDC_BTN_STOP));
    EXPECT_FALSE(Enabled(IDC_COMBO_BAUD));

    ClickControl(IDC_BTN_START);
    EXPECT_TRUE(Inside(m_dialog).m_updating);
    EXPECT_TRUE(Inside(m_dialog).m_testing);
    EXPECT_TRUE(TimerRunning(3000ms));
    EXPECT_EQ(Text(IDC_BTN_TEST), QString("测试连接"));  // the update's caption wins

    int writes = 0;
    m_comm.beforeWrite = [&writes](CommHandle, const uint8_t*, DWORD) { return ++writes, true; };
    m_dialog.SendMessage(WM_COMMAND, IDC_BTN_TEST | (BN_CLICKED << 16), 0);
    m_comm.beforeWrite = nullptr;
    EXPECT_EQ(LogLines().back(), CString(L"警告：更新进行中，不能测试"));
    EXPECT_EQ(writes, 0);
    EXPECT_FALSE(Inside(m_dialog).m_testing);
    EXPECT_FALSE(TimerRunning(3000ms));
    EXPECT_TRUE(Inside(m_dialog).m_updating);
    ClickControl(IDC_BTN_STOP);
}

// Closing the port ends a waiting test and puts the displays and the receive buffer back.
TEST_F(ConnectionTest, ClosingThePortResetsTheWindow) {
    SimulatorOptions options;
    options.silent = true;
    OpenWithDevice(options);
    ClickControl(IDC_RADIO_PROGRAM);
    // What a stopped update leaves on show.
    m_dialog.m_progress.SetPos(40);
    m_dialog.m_staticProgress.SetWindowText(L"更新进度: 40%");
    m_dialog.m_staticState.SetWindowText(L"发送数据块 10/25");
    ClickControl(IDC_BTN_TEST);
    ASSERT_TRUE(TimerRunning(3000ms));
    m_dialog.ProcessReceivedByte(0x01);  // the start of a reply
    m_dialog.ProcessReceivedByte(0x69);
    ASSERT_EQ(Inside(m_dialog).m_rxBuffer.size(), 2u);

    ClickControl(IDC_BTN_PORT);
    EXPECT_EQ(LogLines().back(), CString(L"串口已关闭"));
    EXPECT_FALSE(Inside(m_dialog).m_portOpen);
    EXPECT_FALSE(Inside(m_dialog).m_testing);
    EXPECT_FALSE(TimerRunning(3000ms));
    EXPECT_TRUE(Inside(m_dialog).m_rxBuffer.empty());
    EXPECT_EQ(FindControlAs<QProgressBar>(m_window, IDC_PROGRESS)->value(), 0);
    EXPECT_EQ(Text(IDC_STATIC_PROGRESS), QString("更新进度: 0%"));
    EXPECT_EQ(Text(IDC_STATIC_STATE), QString("等待开始"));
    EXPECT_EQ(Inside(m_dialog).m_currentUpdate, nullptr);
    EXPECT_EQ(Inside(m_dialog).m_workMode, MODE_PROGRAM);
}

}  // namespace
