// CDataExchange and DDX_Control: binding a dialog's control wrappers to the controls its template
// created, during DoDataExchange.
#pragma once

#include "framework/CWnd.h"

class CDataExchange {
public:
    CDataExchange(CWnd* dialog, BOOL saveAndValidate)
        : m_pDlgWnd(dialog), m_bSaveAndValidate(saveAndValidate) {}

    CWnd* m_pDlgWnd;
    BOOL m_bSaveAndValidate;
};

// Binds `control` to the dialog's control `id`. A wrapper that is already bound stays as it is; an ID
// the template lacks leaves the wrapper without a window (its operations then do nothing).
void DDX_Control(CDataExchange* dx, int id, CWnd& control);
