// Wrappers outlive windows and windows outlive wrappers: whichever goes first, nothing crashes and
// operations on the side that is left do nothing.
#include <gtest/gtest.h>

#include <QPointer>
#include <QTest>
#include <QWidget>

#include "framework/CWinApp.h"
#include "framework/IconResource.h"
#include "tests/framework/TestDialog.h"
#include "tests/support/GuiTestUtil.h"

namespace {

// Every operation the dialogs use, on wrappers that have no window; each must be harmless and
// report "nothing".
void ExpectWindowlessWrappersAreHarmless(TestDialog& dialog) {
    CString text = L"stale";
    dialog.m_button.SetWindowText(L"x");
    dialog.m_button.GetWindowText(text);
    EXPECT_TRUE(text.IsEmpty());
    EXPECT_EQ(dialog.m_static.GetWindowTextLength(), 0);
    EXPECT_FALSE(dialog.m_button.EnableWindow(TRUE));
    EXPECT_FALSE(dialog.m_button.IsWindowEnabled());
    dialog.m_radioA.SetCheck(BST_CHECKED);
    EXPECT_EQ(dialog.m_radioA.GetCheck(), BST_UNCHECKED);

    dialog.m_log.SetWindowText(L"line");
    dialog.m_log.SetSel(-1, -1);
    dialog.m_log.ReplaceSel(L"\r\nmore");
    EXPECT_EQ(dialog.m_log.GetWindowTextLength(), 0);
    EXPECT_EQ(dialog.m_log.GetLineCount(), 1);
    EXPECT_FALSE(dialog.m_log.LineScroll(dialog.m_log.GetLineCount()));

    EXPECT_EQ(dialog.m_combo.AddString(L"COM1"), CB_ERR);
    EXPECT_EQ(dialog.m_combo.SetCurSel(0), CB_ERR);
    EXPECT_EQ(dialog.m_combo.GetCurSel(), CB_ERR);
    EXPECT_EQ(dialog.m_combo.GetCount(), 0);
    EXPECT_EQ(dialog.m_combo.SetItemData(0, 1), CB_ERR);
    dialog.m_combo.ResetContent();
    EXPECT_EQ(dialog.m_progress.SetPos(50), 0);
    EXPECT_EQ(dialog.m_progress.GetPos(), 0);

    EXPECT_EQ(dialog.GetDlgItem(IDC_TEST_BUTTON), nullptr);
    EXPECT_EQ(dialog.SetTimer(1, 10), 0u);
    EXPECT_FALSE(dialog.KillTimer(1));
    EXPECT_EQ(dialog.SetIcon(AfxGetApp()->LoadIcon(128), TRUE), nullptr);
    EXPECT_EQ(dialog.SendMessage(WM_TEST_POSTED, 1, 2), 0);
    EXPECT_FALSE(dialog.DestroyWindow());
    EXPECT_TRUE(dialog.m_events.empty());
    EXPECT_TRUE(dialog.m_posted.empty());
}

TEST(WindowLifetimeTest, WrappersBeforeTheWindowExistsDoNothing) {
    TestDialog dialog;
    ExpectWindowlessWrappersAreHarmless(dialog);
}

TEST(WindowLifetimeTest, WrappersAfterTheWindowIsDestroyedDoNothing) {
    TestDialog dialog;
    ASSERT_TRUE(dialog.Create());
    const HWND log = dialog.m_log.GetSafeHwnd();
    ASSERT_TRUE(IsWindow(log));
    ASSERT_TRUE(dialog.DestroyWindow());
    EXPECT_FALSE(IsWindow(log));
    EXPECT_EQ(dialog.m_log.GetSafeHwnd(), nullptr);
    ExpectWindowlessWrappersAreHarmless(dialog);
}

class SelfDestroyingDialog : public TestDialog {
public:
    afx_msg void OnClickedDestroy() { DestroyWindow(); }
    DECLARE_MESSAGE_MAP()
};

BEGIN_MESSAGE_MAP(SelfDestroyingDialog, TestDialog)
ON_BN_CLICKED(IDC_TEST_BUTTON, &SelfDestroyingDialog::OnClickedDestroy)
END_MESSAGE_MAP()

TEST(WindowLifetimeTest, HandlerMayDestroyItsOwnWindow) {
    SelfDestroyingDialog dialog;
    ASSERT_TRUE(dialog.Create());
    QPointer<QWidget> widget = gui_test::WidgetOf(dialog);
    widget->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(widget));
    const HWND hwnd = dialog.GetSafeHwnd();
    gui_test::Click(gui_test::FindControl(widget, IDC_TEST_BUTTON));
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_EQ(dialog.m_button.GetSafeHwnd(), nullptr);
    EXPECT_TRUE(gui_test::WaitFor([&] { return widget.isNull(); }));
}

TEST(WindowLifetimeTest, DestroyingTheDialogObjectDestroysItsWindow) {
    HWND hwnd = nullptr;
    QPointer<QWidget> widget;
    {
        TestDialog dialog;
        ASSERT_TRUE(dialog.Create());
        hwnd = dialog.GetSafeHwnd();
        widget = gui_test::WidgetOf(dialog);
    }
    EXPECT_FALSE(IsWindow(hwnd));
    EXPECT_TRUE(widget.isNull());
}

TEST(WindowLifetimeTest, ControlsOutliveAWrapperThatWentFirst) {
    TestDialog dialog;
    ASSERT_TRUE(dialog.Create());
    CWnd* unbound = dialog.GetDlgItem(IDC_TEST_UNBOUND);
    ASSERT_NE(unbound, nullptr);
    const HWND control = unbound->GetSafeHwnd();
    {
        CButton local;
        ASSERT_TRUE(local.Attach(control));
        EXPECT_EQ(dialog.GetDlgItem(IDC_TEST_UNBOUND), &local);
    }
    EXPECT_TRUE(IsWindow(control));
    CWnd* again = dialog.GetDlgItem(IDC_TEST_UNBOUND);
    ASSERT_NE(again, nullptr);
    CString text;
    again->GetWindowText(text);
    EXPECT_EQ(text, L"未绑定");
    EXPECT_EQ(dialog.GetDlgItem(IDC_TEST_BUTTON), &dialog.m_button);
    EXPECT_EQ(dialog.GetDlgItem(4711), nullptr);
    dialog.DestroyWindow();
    EXPECT_EQ(dialog.GetDlgItem(IDC_TEST_UNBOUND), nullptr);
}

TEST(WindowLifetimeTest, MainWindowPointerIsClearedWithTheWindow) {
    TestDialog dialog;
    ASSERT_TRUE(dialog.Create());
    AfxGetApp()->m_pMainWnd = &dialog;
    EXPECT_EQ(AfxGetMainWnd(), &dialog);
    dialog.DestroyWindow();
    EXPECT_EQ(AfxGetApp()->m_pMainWnd, nullptr);
}

}  // namespace
