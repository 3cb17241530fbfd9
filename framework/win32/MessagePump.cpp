// Message pre-translation and dispatch.
#include "framework/win32/MessagePump.h"

#include "framework/CWnd.h"
#include "framework/win32/WindowBindings.h"

namespace {

thread_local HHOOK t_filterHook = nullptr;
// The message Handle has already offered; the dialog manager may run it through the filter again.
thread_local const MSG* t_offered = nullptr;

LRESULT CALLBACK DialogFilter(int code, WPARAM wParam, LPARAM lParam) {
    auto* msg = reinterpret_cast<MSG*>(lParam);
    if (code == MSGF_DIALOGBOX && msg != nullptr && msg != t_offered && MessagePump::PreTranslate(*msg))
        return TRUE;
    return ::CallNextHookEx(t_filterHook, code, wParam, lParam);
}

}  // namespace

namespace MessagePump {

BOOL PreTranslate(MSG& msg) {
    // Only keyboard messages are offered, as the framework's filter does; the rest go straight on.
    if (msg.message < WM_KEYFIRST || msg.message > WM_KEYLAST)
        return FALSE;
    for (HWND hwnd = msg.hwnd; hwnd != nullptr;) {
        if (CWnd* wnd = WindowBindings::Find(hwnd); wnd != nullptr && wnd->PreTranslateMessage(&msg))
            return TRUE;
        // Stop at the top-level window: above it are owners, not parents.
        if ((::GetWindowLongPtrW(hwnd, GWL_STYLE) & WS_CHILD) == 0)
            break;
        hwnd = ::GetParent(hwnd);
    }
    return FALSE;
}

void Handle(MSG& msg) {
    if (PreTranslate(msg))
        return;
    const HWND root = msg.hwnd != nullptr ? ::GetAncestor(msg.hwnd, GA_ROOT) : nullptr;
    t_offered = &msg;
    const BOOL dialogKey = root != nullptr && ::IsDialogMessageW(root, &msg);
    t_offered = nullptr;
    if (dialogKey)
        return;
    ::TranslateMessage(&msg);
    ::DispatchMessageW(&msg);
}

void InstallDialogFilter() {
    if (t_filterHook == nullptr)
        t_filterHook = ::SetWindowsHookExW(WH_MSGFILTER, DialogFilter, nullptr, ::GetCurrentThreadId());
}

}  // namespace MessagePump
