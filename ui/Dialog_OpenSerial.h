// Dialog_OpenSerial: the port chooser. Lists the COM ports present when it opens and hands the
// chosen number back to the main window.
#pragma once

#include "framework/CDialogEx.h"

class Dialog_OpenSerial : public CDialogEx {
    DECLARE_DYNAMIC(Dialog_OpenSerial)

public:
    explicit Dialog_OpenSerial(CWnd* pParent = nullptr);

    CComboBox m_comboPorts;
    int m_selectedPort = -1;

protected:
    void DoDataExchange(CDataExchange* pDX) override;
    BOOL OnInitDialog() override;
    void OnOK() override;
    void OnCancel() override;
    DECLARE_MESSAGE_MAP()
};
