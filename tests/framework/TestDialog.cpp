// The test dialog's template and message map.
#include "tests/framework/TestDialog.h"

#include <algorithm>

#include <QTest>
#include <QWidget>

#include "framework/DialogTemplate.h"
#include "tests/support/GuiTestUtil.h"

namespace {

constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;

const DialogItemTemplate kItems[] = {
    {IDC_TEST_BUTTON, L"BUTTON", L"按钮", 10, 10, 50, 14, kChild | BS_PUSHBUTTON | WS_TABSTOP, 0},
    {IDC_TEST_EDIT, L"EDIT", L"", 70, 10, 50, 14, kChild | ES_NUMBER | WS_BORDER | WS_TABSTOP, 0},
    {IDC_TEST_COMBO, L"COMBOBOX", L"", 130, 10, 60, 60, kChild | CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP,
     0},
    {IDC_TEST_RADIO_A, L"BUTTON", L"甲", 10, 30, 40, 12, kChild | BS_AUTORADIOBUTTON | WS_GROUP, 0},
    {IDC_TEST_RADIO_B, L"BUTTON", L"乙", 60, 30, 40, 12, kChild | BS_AUTORADIOBUTTON, 0},
    {IDC_TEST_STATIC, L"STATIC", L"静态", 110, 30, 60, 12, kChild | SS_LEFT | WS_GROUP, 0},
    {IDC_TEST_PROGRESS, L"msctls_progress32", L"", 10, 46, 100, 10, kChild | WS_BORDER, 0},
    // The same size as the main window's log, so wrapping behaves as it does there.
    {IDC_TEST_LOG, L"EDIT", L"", 200, 10, 199, 309,
     kChild | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL | WS_BORDER | WS_TABSTOP,
     WS_EX_CLIENTEDGE},
    {IDC_TEST_UNBOUND, L"BUTTON", L"未绑定", 10, 62, 50, 14, kChild | BS_PUSHBUTTON | WS_TABSTOP, 0},
    {IDOK, L"BUTTON", L"确定", 10, 300, 50, 14, kChild | BS_DEFPUSHBUTTON | WS_TABSTOP, 0},
    {IDCANCEL, L"BUTTON", L"取消", 70, 300, 50, 14, kChild | BS_PUSHBUTTON | WS_TABSTOP, 0},
};

const DialogTemplate kTemplate = {
    IDD_TEST_DIALOG,
    L"测试对话框",
    L"宋体",
    14,
    400,
    0,
    0,
    410,
    325,
    WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_SETFONT,
    0,
    kItems,
};

}  // namespace

const DialogTemplate& TestDialogTemplate() {
    return kTemplate;
}

BEGIN_MESSAGE_MAP(TestDialog, CDialogEx)
ON_BN_CLICKED(IDC_TEST_BUTTON, &TestDialog::OnClickedButton)
ON_BN_CLICKED(IDC_TEST_RADIO_A, &TestDialog::OnClickedRadioA)
ON_BN_CLICKED(IDC_TEST_RADIO_B, &TestDialog::OnClickedRadioB)
ON_BN_CLICKED(IDC_TEST_UNBOUND, &TestDialog::OnClickedUnbound)
ON_EN_CHANGE(IDC_TEST_EDIT, &TestDialog::OnChangeEdit)
ON_CBN_SELCHANGE(IDC_TEST_COMBO, &TestDialog::OnSelchangeCombo)
ON_WM_TIMER()
ON_MESSAGE(WM_TEST_POSTED, &TestDialog::OnTestPosted)
END_MESSAGE_MAP()

TestDialog::TestDialog() : CDialogEx(IDD_TEST_DIALOG) {
    AfxRegisterDialogTemplate(&kTemplate);
}

BOOL TestDialog::OnInitDialog() {
    CDialogEx::OnInitDialog();
    m_boundBeforeInit = m_button.GetSafeHwnd() != nullptr && m_log.GetSafeHwnd() != nullptr;
    return TRUE;
}

void TestDialog::DoDataExchange(CDataExchange* dx) {
    CDialogEx::DoDataExchange(dx);
    DDX_Control(dx, IDC_TEST_BUTTON, m_button);
    DDX_Control(dx, IDC_TEST_EDIT, m_edit);
    DDX_Control(dx, IDC_TEST_COMBO, m_combo);
    DDX_Control(dx, IDC_TEST_RADIO_A, m_radioA);
    DDX_Control(dx, IDC_TEST_RADIO_B, m_radioB);
    DDX_Control(dx, IDC_TEST_LOG, m_log);
    DDX_Control(dx, IDC_TEST_STATIC, m_static);
    DDX_Control(dx, IDC_TEST_PROGRESS, m_progress);
}

BOOL TestDialog::PreTranslateMessage(MSG* msg) {
    if (msg->message == WM_KEYDOWN)
        m_keys.push_back(msg->wParam);
    if (m_swallowEnter && msg->message == WM_KEYDOWN && msg->wParam == VK_RETURN)
        return TRUE;
    return CDialogEx::PreTranslateMessage(msg);
}

void TestDialog::OnTimer(UINT_PTR id) {
    m_timers.push_back(id);
    if (std::find(m_oneShotTimers.begin(), m_oneShotTimers.end(), id) != m_oneShotTimers.end())
        KillTimer(id);
    CDialogEx::OnTimer(id);
}

LRESULT TestDialog::OnTestPosted(WPARAM wParam, LPARAM lParam) {
    m_posted.push_back(wParam);
    return lParam;
}

void TestDialogFixture::SetUp() {
    ASSERT_TRUE(m_dialog.Create());
    m_widget = gui_test::WidgetOf(m_dialog);
    ASSERT_NE(m_widget, nullptr);
    m_widget->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(m_widget));
}

void TestDialogFixture::TearDown() {
    m_dialog.DestroyWindow();
}

QWidget* TestDialogFixture::Control(int id) const {
    return gui_test::FindControl(m_widget, id);
}
