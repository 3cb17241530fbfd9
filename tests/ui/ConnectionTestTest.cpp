// The connection test from the window: trigger frame, model query, and the three ways it ends.
#include "framework/CWnd.h"
#include "tests/support/Dialog_UpdateTestAccess.h"
#include "tests/ui/MainWindowFixture.h"

namespace {

using namespace gui_test;

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

}  // namespace
