// The application object and the entry point: InitInstance runs the main dialog modally and the
// program ends when it returns FALSE, with no main window left behind.
#include <gtest/gtest.h>

#include <QTest>

#include "framework/CWinApp.h"
#include "tests/framework/TestDialog.h"
#include "tests/support/GuiTestUtil.h"

namespace {

class DialogApp : public CWinApp {
public:
    BOOL InitInstance() override {
        CWinApp::InitInstance();
        ++m_initCalls;
        TestDialog dialog;
        m_pMainWnd = &dialog;
        gui_test::AnswerNextModal([this](QWidget* modal) {
            m_mainDuringRun = AfxGetMainWnd();
            QTest::keyClick(modal, Qt::Key_Escape);
        });
        m_result = dialog.DoModal();
        m_mainAfterRun = m_pMainWnd;
        return FALSE;
    }

    int m_initCalls = 0;
    INT_PTR m_result = 0;
    CWnd* m_mainDuringRun = nullptr;
    CWnd* m_mainAfterRun = reinterpret_cast<CWnd*>(1);
};

TEST(WinAppTest, EntryPointRunsTheMainDialogAndEndsWithIt) {
    DialogApp app;
    EXPECT_EQ(AfxGetApp(), &app);
    char name[] = "orvane";
    char* argv[] = {name, nullptr};
    EXPECT_EQ(AfxWinMain(1, argv), 0);
    EXPECT_EQ(app.m_initCalls, 1);
    EXPECT_EQ(app.m_result, IDCANCEL);
    EXPECT_NE(app.m_mainDuringRun, nullptr);
    EXPECT_EQ(app.m_mainAfterRun, nullptr);  // the window went with the modal loop
    EXPECT_EQ(app.m_pMainWnd, nullptr);
}

}  // namespace
