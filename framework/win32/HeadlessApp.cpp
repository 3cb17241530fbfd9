// Running the window layer without showing it: the dialogs are real windows that stay hidden, and
// the caller pumps the thread's message queue itself.
#include "framework/HeadlessApp.h"

#include <algorithm>

#include "framework/WinTypes.h"
// After the Windows headers that WinTypes.h brings in.
#include <commctrl.h>

#include "framework/win32/MessagePump.h"

namespace {

// How long one wait for the queue may last, so the condition and the deadline are looked at
// regularly even when nothing arrives.
constexpr std::chrono::milliseconds kPumpSlice{5};

}  // namespace

int AfxRunWithoutDisplay(const std::function<int()>& body) {
    // The progress bar's window class is registered by the common controls.
    INITCOMMONCONTROLSEX controls{};
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_WIN95_CLASSES;
    ::InitCommonControlsEx(&controls);
    return body();
}

bool AfxPumpMessagesUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    MSG msg;
    while (!done()) {
        if (::PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) {
            // A WM_QUIT belongs to the loop that runs the program; leave it for that loop.
            if (msg.message == WM_QUIT) {
                ::PostQuitMessage(static_cast<int>(msg.wParam));
                return done();
            }
            MessagePump::Handle(msg);
            continue;
        }
        const auto now = std::chrono::steady_clock::now();
        if (now >= deadline)
            return done();
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - now);
        ::MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(std::min(left, kPumpSlice).count()),
                                    QS_ALLINPUT);
    }
    return true;
}
