// AfxMessageBox over MessageBoxW.
#include "framework/AfxMessageBox.h"

#include "framework/CWinApp.h"
#include "framework/ModalAutomation.h"

int AfxMessageBox(const wchar_t* text, UINT type) {
    if (const auto& answer = AfxGetModalAnswers().messageBox) {
        answer(CString(text));
        return IDOK;
    }
    // The box sits above whichever of this thread's windows the user is working in.
    HWND owner = ::GetActiveWindow();
    if (owner == nullptr) {
        if (CWnd* main = AfxGetMainWnd())
            owner = main->GetSafeHwnd();
    }
    if ((type & MB_ICONMASK) == 0)
        type |= MB_ICONWARNING;
    ::MessageBoxW(owner, text != nullptr ? text : L"", AfxGetAppName(), (type & ~MB_TYPEMASK) | MB_OK);
    return IDOK;
}
