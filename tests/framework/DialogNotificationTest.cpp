// Which actions make a control notify its dialog: a user's clicks, typing and choices do, changes
// made from code mostly do not (SetWindowText on an edit is the exception), and disabled controls
// never do.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QComboBox>
#include <QLineEdit>
#include <QTest>
#include <functional>

#include "tests/framework/TestDialog.h"
#include "tests/support/GuiTestUtil.h"

namespace {

class NotificationTest : public TestDialogFixture {
protected:
    void FillCombo() {
        for (const wchar_t* item : {L"一", L"二", L"三"})
            m_dialog.m_combo.AddString(item);
        m_dialog.m_combo.SetCurSel(0);
    }
};

struct NotificationCase {
    const char* name;
    std::function<void(TestDialog& dialog, QWidget* root)> act;
    std::vector<Notification> expected;
};

QWidget* Find(QWidget* root, int id) {
    return gui_test::FindControl(root, id);
}

const NotificationCase kCases[] = {
    {"click on a push button",
     [](TestDialog&, QWidget* root) { gui_test::Click(Find(root, IDC_TEST_BUTTON)); },
     {{BN_CLICKED, IDC_TEST_BUTTON}}},
    {"click on a disabled push button",
     [](TestDialog& dialog, QWidget* root) {
         dialog.m_button.EnableWindow(FALSE);
         gui_test::Click(Find(root, IDC_TEST_BUTTON));
     },
     {}},
    {"click on a button no wrapper is bound to",
     [](TestDialog&, QWidget* root) { gui_test::Click(Find(root, IDC_TEST_UNBOUND)); },
     {{BN_CLICKED, IDC_TEST_UNBOUND}}},
    {"SetWindowText on an edit",
     [](TestDialog& dialog, QWidget*) { dialog.m_edit.SetWindowText(L"12"); },
     {{EN_CHANGE, IDC_TEST_EDIT}}},
    {"typing digits",
     [](TestDialog&, QWidget* root) { QTest::keyClicks(Find(root, IDC_TEST_EDIT), "12"); },
     {{EN_CHANGE, IDC_TEST_EDIT}, {EN_CHANGE, IDC_TEST_EDIT}}},
    {"typing letters into a digits-only edit",
     [](TestDialog& dialog, QWidget* root) {
         QTest::keyClicks(Find(root, IDC_TEST_EDIT), "ab");
         EXPECT_EQ(dialog.m_edit.GetWindowTextLength(), 0);
     },
     {}},
    {"typing into a disabled edit",
     [](TestDialog& dialog, QWidget* root) {
         dialog.m_edit.EnableWindow(FALSE);
         QTest::keyClicks(Find(root, IDC_TEST_EDIT), "12");
     },
     {}},
    {"SetCurSel", [](TestDialog& dialog, QWidget*) { dialog.m_combo.SetCurSel(2); }, {}},
    {"user moves the selection with the keyboard",
     [](TestDialog& dialog, QWidget* root) {
         QTest::keyClick(Find(root, IDC_TEST_COMBO), Qt::Key_Down);
         EXPECT_EQ(dialog.m_combo.GetCurSel(), 1);
     },
     {{CBN_SELCHANGE, IDC_TEST_COMBO}}},
    {"user picks from the open list",
     [](TestDialog& dialog, QWidget* root) {
         auto* combo = qobject_cast<QComboBox*>(Find(root, IDC_TEST_COMBO));
         combo->showPopup();
         QAbstractItemView* view = combo->view();
         ASSERT_TRUE(QTest::qWaitForWindowExposed(view->window()));
         const QRect item = view->visualRect(view->model()->index(2, 0));
         QTest::mouseClick(view->viewport(), Qt::LeftButton, Qt::NoModifier, item.center());
         ASSERT_TRUE(gui_test::WaitFor([view] { return !view->isVisible(); }));
         EXPECT_EQ(dialog.m_combo.GetCurSel(), 2);
     },
     {{CBN_SELCHANGE, IDC_TEST_COMBO}}},
    {"keyboard on a disabled combo box",
     [](TestDialog& dialog, QWidget* root) {
         dialog.m_combo.EnableWindow(FALSE);
         QTest::keyClick(Find(root, IDC_TEST_COMBO), Qt::Key_Down);
         EXPECT_EQ(dialog.m_combo.GetCurSel(), 0);
     },
     {}},
    {"SetCheck on a radio button",
     [](TestDialog& dialog, QWidget*) {
         dialog.m_radioA.SetCheck(BST_CHECKED);
         EXPECT_EQ(dialog.m_radioA.GetCheck(), BST_CHECKED);
     },
     {}},
    {"click on the radio button already checked",
     [](TestDialog& dialog, QWidget* root) {
         dialog.m_radioA.SetCheck(BST_CHECKED);
         gui_test::Click(Find(root, IDC_TEST_RADIO_A));
         EXPECT_EQ(dialog.m_radioA.GetCheck(), BST_CHECKED);
     },
     {{BN_CLICKED, IDC_TEST_RADIO_A}}},
    {"click on the other radio button of the group",
     [](TestDialog& dialog, QWidget* root) {
         dialog.m_radioA.SetCheck(BST_CHECKED);
         gui_test::Click(Find(root, IDC_TEST_RADIO_B));
         EXPECT_EQ(dialog.m_radioA.GetCheck(), BST_UNCHECKED);
         EXPECT_EQ(dialog.m_radioB.GetCheck(), BST_CHECKED);
     },
     {{BN_CLICKED, IDC_TEST_RADIO_B}}},
    {"click on a disabled radio button",
     [](TestDialog& dialog, QWidget* root) {
         dialog.m_radioB.EnableWindow(FALSE);
         gui_test::Click(Find(root, IDC_TEST_RADIO_B));
         EXPECT_EQ(dialog.m_radioB.GetCheck(), BST_UNCHECKED);
     },
     {}},
};

TEST_F(NotificationTest, EachActionNotifiesExactlyAsWindowsWould) {
    for (const NotificationCase& c : kCases) {
        SCOPED_TRACE(c.name);
        TearDown();
        m_dialog.m_events.clear();
        SetUp();
        FillCombo();
        c.act(m_dialog, m_widget);
        EXPECT_EQ(m_dialog.m_events, c.expected);
    }
}

TEST_F(NotificationTest, RadioButtonsCanBeUncheckedFromCode) {
    m_dialog.m_radioA.SetCheck(BST_CHECKED);
    m_dialog.m_radioA.SetCheck(BST_UNCHECKED);
    EXPECT_EQ(m_dialog.m_radioA.GetCheck(), BST_UNCHECKED);
    m_dialog.m_radioB.SetCheck(BST_CHECKED);
    EXPECT_EQ(m_dialog.m_radioA.GetCheck(), BST_UNCHECKED);
}

TEST_F(NotificationTest, ComboBoxKeepsItemsInOrderWithTheirData) {
    EXPECT_EQ(m_dialog.m_combo.GetCurSel(), CB_ERR);  // adding items selects nothing
    for (const wchar_t* item : {L"COM2", L"COM10", L"COM1"}) {
        const int index = m_dialog.m_combo.AddString(item);
        EXPECT_EQ(m_dialog.m_combo.SetItemData(index, 100 + index), TRUE);
    }
    EXPECT_EQ(m_dialog.m_combo.GetCurSel(), CB_ERR);
    ASSERT_EQ(m_dialog.m_combo.GetCount(), 3);
    CString text;
    m_dialog.m_combo.GetLBText(1, text);
    EXPECT_EQ(text, L"COM10");
    EXPECT_EQ(m_dialog.m_combo.GetItemData(2), 102u);
    EXPECT_EQ(m_dialog.m_combo.GetItemData(3), static_cast<DWORD_PTR>(CB_ERR));
    EXPECT_EQ(m_dialog.m_combo.SetCurSel(3), CB_ERR);
    EXPECT_EQ(m_dialog.m_combo.SetCurSel(1), 1);
    m_dialog.m_combo.GetWindowText(text);
    EXPECT_EQ(text, L"COM10");
    m_dialog.m_combo.ResetContent();
    EXPECT_EQ(m_dialog.m_combo.GetCount(), 0);
    EXPECT_EQ(m_dialog.m_combo.GetCurSel(), CB_ERR);
    EXPECT_EQ(m_dialog.m_combo.GetItemData(0), static_cast<DWORD_PTR>(CB_ERR));
}

TEST_F(NotificationTest, ProgressPositionIsClampedIntoTheRange) {
    EXPECT_EQ(m_dialog.m_progress.SetPos(40), 0);
    EXPECT_EQ(m_dialog.m_progress.SetPos(150), 40);
    EXPECT_EQ(m_dialog.m_progress.GetPos(), 100);
    m_dialog.m_progress.SetPos(-5);
    EXPECT_EQ(m_dialog.m_progress.GetPos(), 0);
}

}  // namespace
