// A small dialog for the window layer's tests: one control of each kind, a message map that records
// every notification, timer and posted message, and a switch to swallow Enter.
#pragma once

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "framework/CDialogEx.h"
#include "framework/DialogTemplate.h"

constexpr UINT IDD_TEST_DIALOG = 9001;
constexpr int IDC_TEST_BUTTON = 2001;
constexpr int IDC_TEST_EDIT = 2002;
constexpr int IDC_TEST_COMBO = 2003;
constexpr int IDC_TEST_RADIO_A = 2004;
constexpr int IDC_TEST_RADIO_B = 2005;
constexpr int IDC_TEST_LOG = 2006;
constexpr int IDC_TEST_STATIC = 2007;
constexpr int IDC_TEST_PROGRESS = 2008;
constexpr int IDC_TEST_UNBOUND = 2009;  // a button no wrapper is bound to

constexpr UINT WM_TEST_POSTED = WM_USER + 50;

struct Notification {
    WORD code;
    int id;
    friend bool operator==(const Notification&, const Notification&) = default;
};

class TestDialog : public CDialogEx {
public:
    TestDialog();

    BOOL OnInitDialog() override;
    void DoDataExchange(CDataExchange* dx) override;
    BOOL PreTranslateMessage(MSG* msg) override;

    afx_msg void OnClickedButton() { m_events.push_back({BN_CLICKED, IDC_TEST_BUTTON}); }
    afx_msg void OnClickedRadioA() { m_events.push_back({BN_CLICKED, IDC_TEST_RADIO_A}); }
    afx_msg void OnClickedRadioB() { m_events.push_back({BN_CLICKED, IDC_TEST_RADIO_B}); }
    afx_msg void OnClickedUnbound() { m_events.push_back({BN_CLICKED, IDC_TEST_UNBOUND}); }
    afx_msg void OnChangeEdit() { m_events.push_back({EN_CHANGE, IDC_TEST_EDIT}); }
    afx_msg void OnSelchangeCombo() { m_events.push_back({CBN_SELCHANGE, IDC_TEST_COMBO}); }
    afx_msg void OnTimer(UINT_PTR id);
    afx_msg LRESULT OnTestPosted(WPARAM wParam, LPARAM lParam);

    CButton m_button;
    CEdit m_edit;
    CComboBox m_combo;
    CButton m_radioA;
    CButton m_radioB;
    CEdit m_log;
    CStatic m_static;
    CProgressCtrl m_progress;

    std::vector<Notification> m_events;
    std::vector<UINT_PTR> m_timers;
    std::vector<WPARAM> m_posted;
    std::vector<WPARAM> m_keys;  // every key PreTranslateMessage saw
    bool m_swallowEnter = false;
    bool m_boundBeforeInit = false;
    std::vector<UINT_PTR> m_oneShotTimers;  // killed by their own first tick

    DECLARE_MESSAGE_MAP()
};

// The registered test template.
const DialogTemplate& TestDialogTemplate();

class QWidget;

// A shown test dialog, created without a modal loop; destroyed after each test.
class TestDialogFixture : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;
    QWidget* Control(int id) const;

    TestDialog m_dialog;
    QWidget* m_widget = nullptr;
};
