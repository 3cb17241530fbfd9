// CDialogEx over the dialog manager: the window is built from the registered template laid down as
// an in-memory DLGTEMPLATEEX, modal with DialogBoxIndirectParamW and modeless with
// CreateDialogIndirectParamW. One dialog procedure routes every message through the message map.
#include "framework/CDialogEx.h"

#include <set>

#include "framework/CWinApp.h"
#include "framework/ModalAutomation.h"
#include "framework/win32/DialogTemplateBlob.h"
#include "framework/win32/MessagePump.h"
#include "framework/win32/WindowBindings.h"
#include "framework/win32/WorkAreaFit.h"

namespace {

struct Creation {
    CDialogEx* dialog;
    bool modal;
};

// Set by CDialogEx::WindowProc when the message map took the message, so the dialog procedure
// can tell the dialog manager whether to apply its defaults.
thread_local bool t_handled = false;
// Dialogs running in the dialog manager's modal loop; EndDialog means something else for the others.
std::set<HWND> g_modal;

HWND OwnerWindow(CWnd* parent, const CDialogEx* self) {
    // Without an explicit parent a dialog belongs to the application's main window.
    CWnd* owner = parent;
    if (owner == nullptr && AfxGetMainWnd() != self)
        owner = AfxGetMainWnd();
    return owner != nullptr ? owner->GetSafeHwnd() : nullptr;
}

// The template with the point size at which the window fits the work area of its monitor; the
// dialog units scale with the font, so the layout stays the template's.
DialogTemplate FittedTemplate(const DialogTemplate& dialogTemplate, HWND owner) {
    DialogTemplate fitted = dialogTemplate;
    fitted.pointSize = WorkAreaFit::PointSize(dialogTemplate, WorkAreaFit::WorkArea(owner));
    return fitted;
}

BOOL CALLBACK LiftTextLimit(HWND child, LPARAM) {
    wchar_t className[16] = {};
    ::GetClassNameW(child, className, 16);
    // A multi-line edit takes at most 32767 characters from EM_REPLACESEL unless told otherwise,
    // and a log of 300 long lines (frame dumps) is larger: appending would silently stop.
    if (::lstrcmpiW(className, L"EDIT") == 0 && (::GetWindowLongPtrW(child, GWL_STYLE) & ES_MULTILINE))
        ::SendMessageW(child, EM_SETLIMITTEXT, 0, 0);
    return TRUE;
}

INT_PTR InitDialog(HWND hwnd, const Creation& creation) {
    CDialogEx* dialog = creation.dialog;
    ::SetWindowLongPtrW(hwnd, DWLP_USER, reinterpret_cast<LONG_PTR>(dialog));
    if (creation.modal)
        g_modal.insert(hwnd);
    dialog->Attach(hwnd);
    dialog->m_nModalResult = -1;
    WorkAreaFit::Place(hwnd);
    ::EnumChildWindows(hwnd, LiftTextLimit, 0);
    CDataExchange dx(dialog, FALSE);
    dialog->DoDataExchange(&dx);
    const BOOL focusLeftToSystem = dialog->GetSafeHwnd() != nullptr ? dialog->OnInitDialog() : FALSE;
    // A program answering its own dialogs acts now; EndDialog from here means the dialog never shows.
    if (creation.modal && dialog->GetSafeHwnd() != nullptr) {
        if (const auto& answer = AfxGetModalAnswers().dialog)
            answer(*dialog);
    }
    return focusLeftToSystem;
}

INT_PTR CALLBACK DialogProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (message == WM_INITDIALOG)
        return InitDialog(hwnd, *reinterpret_cast<const Creation*>(lParam));
    auto* dialog = reinterpret_cast<CDialogEx*>(::GetWindowLongPtrW(hwnd, DWLP_USER));
    if (dialog == nullptr || dialog->GetSafeHwnd() != hwnd)
        return FALSE;
    if (message == WM_DESTROY) {
        ::SetWindowLongPtrW(hwnd, DWLP_USER, 0);
        g_modal.erase(hwnd);
        WindowBindings::ReleaseDialog(hwnd);
        AfxForgetMainWnd(dialog);
        return FALSE;
    }
    const bool outer = t_handled;
    t_handled = false;
    const LRESULT result = dialog->WindowProc(message, wParam, lParam);
    const bool handled = t_handled;
    t_handled = outer;
    if (!handled)
        return FALSE;
    // The handler may have destroyed the window; then there is nobody to give a result to.
    if (::IsWindow(hwnd))
        ::SetWindowLongPtrW(hwnd, DWLP_MSGRESULT, result);
    return TRUE;
}

}  // namespace

BOOL CDialogEx::CreateDialogWindow(UINT templateId, CWnd* parent) {
    if (GetSafeHwnd() != nullptr)
        return FALSE;
    const DialogTemplate* dialogTemplate = AfxFindDialogTemplate(templateId);
    if (dialogTemplate == nullptr) {
        ::SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return FALSE;
    }
    const HWND owner = OwnerWindow(parent, this);
    const DialogTemplateBlob blob(FittedTemplate(*dialogTemplate, owner));
    Creation creation{this, false};
    MessagePump::InstallDialogFilter();
    const HWND hwnd = ::CreateDialogIndirectParamW(::GetModuleHandleW(nullptr), blob.Get(), owner, DialogProc,
                                                   reinterpret_cast<LPARAM>(&creation));
    return hwnd != nullptr && GetSafeHwnd() == hwnd;
}

BOOL CDialogEx::Create(UINT templateId, CWnd* parent) {
    return CreateDialogWindow(templateId, parent);
}

INT_PTR CDialogEx::DoModal() {
    if (GetSafeHwnd() != nullptr)
        return -1;
    const DialogTemplate* dialogTemplate = AfxFindDialogTemplate(m_nIDHelp);
    if (dialogTemplate == nullptr) {
        ::SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return -1;
    }
    const HWND owner = OwnerWindow(m_pParentWnd, this);
    const DialogTemplateBlob blob(FittedTemplate(*dialogTemplate, owner));
    Creation creation{this, true};
    m_nModalResult = -1;
    MessagePump::InstallDialogFilter();
    const INT_PTR result = ::DialogBoxIndirectParamW(::GetModuleHandleW(nullptr), blob.Get(), owner,
                                                     DialogProc, reinterpret_cast<LPARAM>(&creation));
    return result == -1 ? -1 : m_nModalResult;
}

void CDialogEx::EndDialog(int result) {
    m_nModalResult = result;
    const HWND hwnd = GetSafeHwnd();
    if (hwnd == nullptr)
        return;
    if (g_modal.count(hwnd) != 0) {
        ::EndDialog(hwnd, result);
    } else {
        ::ShowWindow(hwnd, SW_HIDE);
    }
}

LRESULT CDialogEx::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (OnWndMsg(message, wParam, lParam, &result))
        t_handled = true;
    // Anything else (WM_CLOSE included, which becomes IDCANCEL) is the dialog manager's.
    return result;
}
