// The modal loop: how the user ends it (buttons, Enter, Escape, the close box), what
// PreTranslateMessage can swallow, and that the window is gone when DoModal returns.
#include <gtest/gtest.h>

#include <QTest>
#include <algorithm>
#include <functional>

#include "tests/framework/TestDialog.h"
#include "tests/support/GuiTestUtil.h"

namespace {

struct ModalCase {
    const char* name;
    bool swallowEnter;
    std::function<void(TestDialog& dialog, QWidget* modal)> answer;
    INT_PTR expected;
};

QWidget* Find(QWidget* root, int id) {
    return gui_test::FindControl(root, id);
}

const ModalCase kCases[] = {
    {"OK button", false, [](TestDialog&, QWidget* modal) { gui_test::Click(Find(modal, IDOK)); }, IDOK},
    {"Cancel button", false, [](TestDialog&, QWidget* modal) { gui_test::Click(Find(modal, IDCANCEL)); },
     IDCANCEL},
    {"Escape", false, [](TestDialog&, QWidget* modal) { QTest::keyClick(modal, Qt::Key_Escape); }, IDCANCEL},
    {"Escape in an edit", false,
     [](TestDialog&, QWidget* modal) { QTest::keyClick(Find(modal, IDC_TEST_EDIT), Qt::Key_Escape); },
     IDCANCEL},
    {"close box", false, [](TestDialog&, QWidget* modal) { modal->close(); }, IDCANCEL},
    {"Enter in an edit presses the default button", false,
     [](TestDialog&, QWidget* modal) { QTest::keyClick(Find(modal, IDC_TEST_EDIT), Qt::Key_Return); }, IDOK},
    {"Enter on a push button presses that button", false,
     [](TestDialog&, QWidget* modal) { QTest::keyClick(Find(modal, IDCANCEL), Qt::Key_Return); }, IDCANCEL},
    {"Enter swallowed by PreTranslateMessage", true,
     [](TestDialog& dialog, QWidget* modal) {
         QTest::keyClick(Find(modal, IDC_TEST_EDIT), Qt::Key_Return);
         QTest::keyClick(modal, Qt::Key_Enter);
         EXPECT_TRUE(modal->isVisible());
         EXPECT_EQ(std::count(dialog.m_keys.begin(), dialog.m_keys.end(), VK_RETURN), 2);
         gui_test::Click(Find(modal, IDCANCEL));
     },
     IDCANCEL},
    {"EndDialog from code", false, [](TestDialog& dialog, QWidget*) { dialog.EndDialog(42); }, 42},
};

TEST(DialogModalTest, EndsWithTheResultOfTheUsersAction) {
    for (const ModalCase& c : kCases) {
        SCOPED_TRACE(c.name);
        TestDialog dialog;
        dialog.m_swallowEnter = c.swallowEnter;
        HWND during = nullptr;
        bool initialisedBound = false;
        gui_test::AnswerNextModal([&](QWidget* modal) {
            during = dialog.GetSafeHwnd();
            initialisedBound = dialog.m_boundBeforeInit;
            EXPECT_EQ(gui_test::WidgetOf(dialog), modal);
            c.answer(dialog, modal);
        });
        EXPECT_EQ(dialog.DoModal(), c.expected);
        ASSERT_NE(during, nullptr);
        EXPECT_TRUE(initialisedBound);  // DoDataExchange ran before OnInitDialog
        EXPECT_FALSE(IsWindow(during));
        EXPECT_EQ(dialog.GetSafeHwnd(), nullptr);
        EXPECT_EQ(dialog.m_button.GetSafeHwnd(), nullptr);
    }
}

TEST(DialogModalTest, MissingTemplateFailsWithoutAWindow) {
    CDialogEx dialog(4242);
    EXPECT_EQ(dialog.DoModal(), -1);
    EXPECT_FALSE(dialog.Create());
    EXPECT_EQ(dialog.GetSafeHwnd(), nullptr);
}

TEST(DialogModalTest, TimersAndPostedMessagesRunWhileAnotherModalIsOpen) {
    TestDialog outer;
    ASSERT_TRUE(outer.Create());
    TestDialog inner;
    gui_test::AnswerNextModal([&](QWidget* modal) {
        outer.SetTimer(1, 10);
        outer.PostMessage(WM_TEST_POSTED, 77, 0);
        EXPECT_TRUE(gui_test::WaitFor([&] { return !outer.m_timers.empty() && !outer.m_posted.empty(); }));
        gui_test::Click(Find(modal, IDCANCEL));
    });
    EXPECT_EQ(inner.DoModal(), IDCANCEL);
    EXPECT_EQ(outer.m_posted, std::vector<WPARAM>{77});
}

}  // namespace
