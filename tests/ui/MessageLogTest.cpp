// The message log: prefixes, CR LF separators, suppressed debug lines and the trim.
#include "tests/support/Dialog_UpdateTestAccess.h"
#include "tests/ui/MainWindowFixture.h"

namespace {

TEST_F(MainWindowTest, LinesGetTheirLevelPrefix) {
    m_dialog.m_debugLogEnabled = true;
    m_dialog.AppendLog(LOG_WARNING, L"请先打开文件");
    m_dialog.AppendLog(LOG_ERROR, L"发送触发帧失败");
    m_dialog.AppendLog(LOG_INFO, L"普通");
    m_dialog.AppendLog(LOG_DEBUG, L"细节");
    m_dialog.AppendLog(static_cast<LOG_LEVEL>(7), L"其他");
    EXPECT_EQ(LogText(),
              CString(L"程序已启动，请打开串口\r\n警告：请先打开文件\r\n错误：发送触发帧失败\r\n普通\r\n"
                      L"DEBUG：细节\r\n其他"));
}

TEST_F(MainWindowTest, DebugLinesAreSuppressedAndNotCounted) {
    ASSERT_FALSE(m_dialog.m_debugLogEnabled);  // no LOG.ini beside the test program
    const int before = Inside(m_dialog).m_logLineCount;
    for (int i = 0; i < 500; ++i)
        m_dialog.AppendLog(LOG_DEBUG, L"hidden");
    EXPECT_EQ(Inside(m_dialog).m_logLineCount, before);
    EXPECT_EQ(LogText().Find(L"DEBUG："), -1);
}

TEST_F(MainWindowTest, TrimKeepsTheNewerHalf) {
    m_dialog.m_editLog.SetWindowText(L"");
    Inside(m_dialog).m_logLineCount = 0;
    for (int i = 1; i <= 301; ++i) {
        CString line;
        line.Format(L"L%d", i);
        m_dialog.AppendLog(LOG_INFO, line);
    }
    EXPECT_EQ(Inside(m_dialog).m_logLineCount, 301);
    m_dialog.AppendLog(LOG_INFO, L"L302");
    const std::vector<CString> lines = LogLines();
    ASSERT_EQ(lines.size(), 152u);
    EXPECT_EQ(lines.front(), CString(L"L151"));
    EXPECT_EQ(lines.back(), CString(L"L302"));
    EXPECT_EQ(Inside(m_dialog).m_logLineCount, 152);
    // The next trim comes 150 lines later.
    for (int i = 303; i <= 451; ++i)
        m_dialog.AppendLog(LOG_INFO, L"x");
    EXPECT_EQ(Inside(m_dialog).m_logLineCount, 301);
    m_dialog.AppendLog(LOG_INFO, L"y");
    EXPECT_EQ(LogLines().size(), 152u);
}

TEST_F(MainWindowTest, TrimWithTooFewSeparatorsClearsTheLog) {
    // Long wrapped lines can make the count exceed the real number of lines.
    Inside(m_dialog).m_logLineCount = 301;
    m_dialog.AppendLog(LOG_INFO, L"after");
    EXPECT_EQ(LogText(), CString(L"after"));
    EXPECT_EQ(Inside(m_dialog).m_logLineCount, 1);
}

TEST_F(MainWindowTest, LoggingAfterTheWindowIsGoneIsHarmless) {
    m_dialog.DestroyWindow();
    m_dialog.AppendLog(LOG_ERROR, L"late");
    m_dialog.UpdateControlStates();
    m_dialog.ClearTestState();
    EXPECT_EQ(m_dialog.GetSafeHwnd(), nullptr);
}

}  // namespace
