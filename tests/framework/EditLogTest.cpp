// The multi-line edit as the message log uses it: CR LF text that reads back unchanged, appending
// through an empty selection at the end, line counts that include wrapped lines, and scrolling.
#include <gtest/gtest.h>

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTest>
#include <cwchar>
#include <string>

#include "tests/framework/TestDialog.h"
#include "tests/support/GuiTestUtil.h"

namespace {

using EditLogTest = TestDialogFixture;

CString Text(const CEdit& edit) {
    CString text;
    edit.GetWindowText(text);
    return text;
}

// Appends a line the way the main window's log does.
void AppendLine(CEdit& log, const wchar_t* line) {
    const int length = log.GetWindowTextLength();
    log.SetSel(length, length);
    CString text = length > 0 ? CString(L"\r\n") + line : CString(line);
    log.ReplaceSel(text);
}

TEST_F(EditLogTest, TextReadsBackExactlyAsSet) {
    const wchar_t* const texts[] = {L"",         L"a\r\nb",   L"a\r\nb\r\n",     L"\r\n\r\n",
                                    L"lone\nLF", L"lone\rCR", L"中文\r\n日志行", L"cr lf split \r\r\n\n"};
    for (const wchar_t* text : texts) {
        m_dialog.m_log.SetWindowText(text);
        EXPECT_EQ(Text(m_dialog.m_log), text);
        EXPECT_EQ(m_dialog.m_log.GetWindowTextLength(), static_cast<int>(std::wcslen(text)));
    }
}

TEST_F(EditLogTest, LinesSeparatedByCrLfCountOnceEach) {
    struct Case {
        const wchar_t* text;
        int lines;
    };
    const Case cases[] = {{L"", 1},
                          {L"one", 1},
                          {L"one\r\ntwo", 2},
                          {L"one\r\ntwo\r\n", 3},
                          {L"lone\nLF\rCR", 1},
                          {L"\r\n\r\n\r\n", 4}};
    for (const Case& c : cases) {
        m_dialog.m_log.SetWindowText(c.text);
        EXPECT_EQ(m_dialog.m_log.GetLineCount(), c.lines) << std::wstring(c.text).size();
    }
}

TEST_F(EditLogTest, AppendingAtTheEndKeepsEveryLine) {
    std::wstring expected;
    for (int i = 0; i < 20; ++i) {
        const std::wstring line = L"第" + std::to_wstring(i) + L"行";
        AppendLine(m_dialog.m_log, line.c_str());
        expected += (i > 0 ? L"\r\n" : L"") + line;
    }
    EXPECT_EQ(Text(m_dialog.m_log), expected.c_str());
    EXPECT_EQ(m_dialog.m_log.GetLineCount(), 20);
    int start = -1;
    int end = -1;
    m_dialog.m_log.GetSel(start, end);
    EXPECT_EQ(start, static_cast<int>(expected.size()));
    EXPECT_EQ(end, start);

    m_dialog.m_log.SetSel(0, 0);
    m_dialog.m_log.SetSel(-1, -1);
    m_dialog.m_log.ReplaceSel(L"!");
    EXPECT_EQ(Text(m_dialog.m_log), (expected + L"!").c_str());
}

TEST_F(EditLogTest, ReplacingInsideTheTextKeepsPositionsInCrLfUnits) {
    m_dialog.m_log.SetWindowText(L"abc\r\ndef");
    m_dialog.m_log.SetSel(6, 7);
    m_dialog.m_log.ReplaceSel(L"XY");
    EXPECT_EQ(Text(m_dialog.m_log), L"abc\r\ndXYf");

    // Splitting a CR LF pair leaves two lone characters and joins the lines.
    m_dialog.m_log.SetSel(4, 4);
    m_dialog.m_log.ReplaceSel(L"-");
    EXPECT_EQ(Text(m_dialog.m_log), L"abc\r-\ndXYf");
    EXPECT_EQ(m_dialog.m_log.GetLineCount(), 1);

    // Removing the character between them pairs them up again.
    m_dialog.m_log.SetSel(4, 5);
    m_dialog.m_log.ReplaceSel(L"");
    EXPECT_EQ(Text(m_dialog.m_log), L"abc\r\ndXYf");
    EXPECT_EQ(m_dialog.m_log.GetLineCount(), 2);
}

TEST_F(EditLogTest, LongLinesWrapAndCountAsSeveralLines) {
    const std::wstring longLine(200, L'串');
    m_dialog.m_log.SetWindowText(longLine.c_str());
    const int perLine = m_dialog.m_log.GetLineCount();
    EXPECT_GT(perLine, 1);
    m_dialog.m_log.SetWindowText((longLine + L"\r\n" + longLine + L"\r\nshort").c_str());
    EXPECT_EQ(m_dialog.m_log.GetLineCount(), 2 * perLine + 1);

    // A dialog that is never shown wraps at the same width, so a log driven without a display
    // counts the same.
    TestDialog hidden;
    ASSERT_TRUE(hidden.Create());
    hidden.m_log.SetWindowText(longLine.c_str());
    EXPECT_EQ(hidden.m_log.GetLineCount(), perLine);
}

TEST_F(EditLogTest, ScrollingByTheLineCountShowsTheLastLine) {
    for (int i = 0; i < 200; ++i)
        AppendLine(m_dialog.m_log, L"日志");
    auto* edit = qobject_cast<QPlainTextEdit*>(Control(IDC_TEST_LOG));
    ASSERT_NE(edit, nullptr);
    QScrollBar* bar = edit->verticalScrollBar();
    bar->setValue(0);
    ASSERT_GT(bar->maximum(), 0);
    EXPECT_TRUE(m_dialog.m_log.LineScroll(m_dialog.m_log.GetLineCount()));
    EXPECT_EQ(bar->value(), bar->maximum());
    EXPECT_TRUE(m_dialog.m_log.LineScroll(-3));
    EXPECT_EQ(bar->value(), bar->maximum() - 3);
}

TEST_F(EditLogTest, TheLogIsReadOnlyForTheUser) {
    m_dialog.m_log.SetWindowText(L"fixed");
    QTest::keyClicks(Control(IDC_TEST_LOG), "typed");
    EXPECT_EQ(Text(m_dialog.m_log), L"fixed");
}

}  // namespace
