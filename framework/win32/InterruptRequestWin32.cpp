// InterruptRequest on Windows, for now only recording the request: a console control handler that
// stores the exit code of the first event and ends the process at the second. Waiting for the run's
// records before a console's closing lets the process go is still to come.
#include <windows.h>

#include <atomic>

#include "framework/InterruptRequest.h"

namespace {

std::atomic<int> g_pending{0};

BOOL WINAPI OnControlEvent(DWORD event) {
    const int code = event == CTRL_C_EVENT || event == CTRL_BREAK_EVENT ? 130 : 143;
    int none = 0;
    if (!g_pending.compare_exchange_strong(none, code))
        ::ExitProcess(static_cast<UINT>(code));
    return TRUE;
}

}  // namespace

namespace InterruptRequest {

void Install() {
    static std::atomic<bool> installed{false};
    if (!installed.exchange(true))
        ::SetConsoleCtrlHandler(OnControlEvent, TRUE);
}

int Pending() {
    return g_pending.load();
}

}  // namespace InterruptRequest
