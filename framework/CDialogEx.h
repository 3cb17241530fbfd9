// CDialogEx: a dialog built from a registered template. DoModal creates the window, binds the
// controls (DoDataExchange), runs OnInitDialog and then a modal loop until EndDialog; the window is
// destroyed before DoModal returns. Create builds the same window without a loop, for driving a
// dialog from code or tests; DestroyWindow ends it.
//
// Keys: Enter presses the focused push button or the default button (IDOK when the template names
// none); Escape and the close box send IDCANCEL. OnOK and OnCancel end the dialog unless overridden.
#pragma once

#include "framework/AfxMessageBox.h"
#include "framework/CButton.h"
#include "framework/CComboBox.h"
#include "framework/CDataExchange.h"
#include "framework/CEdit.h"
#include "framework/CProgressCtrl.h"
#include "framework/CStatic.h"
#include "framework/CWnd.h"

class CDialogEx : public CWnd {
    DECLARE_DYNAMIC(CDialogEx)

public:
    explicit CDialogEx(UINT templateId, CWnd* parent = nullptr);
    ~CDialogEx() override;

    // IDOK / IDCANCEL (or what EndDialog was given); -1 when the window cannot be created (template
    // not registered, no GUI application, or the dialog already has a window).
    virtual INT_PTR DoModal();
    // Creates the window (hidden unless the template has WS_VISIBLE) and initialises it.
    virtual BOOL Create(UINT templateId, CWnd* parent = nullptr);
    BOOL Create() { return Create(m_nIDHelp, m_pParentWnd); }
    void EndDialog(int result);

    virtual BOOL OnInitDialog();
    virtual void DoDataExchange(CDataExchange* dx);
    BOOL PreTranslateMessage(MSG* msg) override;
    virtual void OnOK();
    virtual void OnCancel();
    afx_msg void OnTimer(UINT_PTR idEvent);

    LRESULT WindowProc(UINT message, WPARAM wParam, LPARAM lParam) override;

    UINT m_nIDHelp;
    CWnd* m_pParentWnd;
    int m_nModalResult = -1;

protected:
    DECLARE_MESSAGE_MAP()

private:
    BOOL CreateDialogWindow(UINT templateId, CWnd* parent);
};
