// CDialogEx's toolkit-neutral part: the message map and the default handlers a dialog inherits.
// Building the window, the modal loop and ending it live in the backend files.
#include "framework/CDialogEx.h"

IMPLEMENT_DYNAMIC(CDialogEx, CWnd)

BEGIN_MESSAGE_MAP(CDialogEx, CWnd)
ON_COMMAND(IDOK, &CDialogEx::OnOK)
ON_COMMAND(IDCANCEL, &CDialogEx::OnCancel)
END_MESSAGE_MAP()

CDialogEx::CDialogEx(UINT templateId, CWnd* parent) : m_nIDHelp(templateId), m_pParentWnd(parent) {}

CDialogEx::~CDialogEx() {
    DestroyWindow();
}

BOOL CDialogEx::OnInitDialog() {
    return TRUE;
}

void CDialogEx::DoDataExchange(CDataExchange*) {}

BOOL CDialogEx::PreTranslateMessage(MSG* msg) {
    return CWnd::PreTranslateMessage(msg);
}

void CDialogEx::OnOK() {
    EndDialog(IDOK);
}

void CDialogEx::OnCancel() {
    EndDialog(IDCANCEL);
}

void CDialogEx::OnTimer(UINT_PTR idEvent) {
    CWnd::OnTimer(idEvent);
}
