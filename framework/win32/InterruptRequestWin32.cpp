// InterruptRequest on Windows: a console control handler, and for a station's child an event of its
// own that the station sets to pass an interrupt on (a child runs without a console, so no console
// event reaches it).
//
// Windows ends a process as soon as its handler returns from CTRL_CLOSE_EVENT, CTRL_LOGOFF_EVENT or
// CTRL_SHUTDOWN_EVENT, and after about five seconds in any case. For those the handler therefore
// waits, bounded, until the process is exiting (an atexit function, registered by Install, tells
// it): by then the run has stopped its devices and written its records and table, and the exit
// proceeds with the run's own code while the handler thread still waits.
#include <windows.h>

#include <atomic>
#include <cstdlib>
#include <string>

#include "framework/InterruptRequest.h"
#include "framework/win32/InterruptEventName.h"

namespace {

constexpr int kInterruptCode = 130;
constexpr int kTerminateCode = 143;
// Below the time Windows allows a handler of a closing console.
constexpr DWORD kCloseWaitMs = 4500;

std::atomic<int> g_pending{0};
HANDLE g_exiting = nullptr;
HANDLE g_stationEvent = nullptr;
HANDLE g_stationWait = nullptr;

// The first request is recorded; a second ends the process at once.
void Request(int code) {
    int none = 0;
    if (!g_pending.compare_exchange_strong(none, code))
        ::ExitProcess(static_cast<UINT>(code));
}

BOOL WINAPI OnControlEvent(DWORD event) {
    switch (event) {
        case CTRL_C_EVENT:
        case CTRL_BREAK_EVENT:
            Request(kInterruptCode);
            return TRUE;
        case CTRL_CLOSE_EVENT:
        case CTRL_LOGOFF_EVENT:
        case CTRL_SHUTDOWN_EVENT:
            Request(kTerminateCode);
            if (::WaitForSingleObject(g_exiting, kCloseWaitMs) == WAIT_OBJECT_0) {
                // The process is exiting with the run's code; returning now could end it with the
                // system's instead, before that exit is through.
                ::WaitForSingleObject(::GetCurrentProcess(), kCloseWaitMs);
            }
            return TRUE;
        default:
            return FALSE;
    }
}

void SignalExiting() {
    ::SetEvent(g_exiting);
}

// The station's request, passed on once: it never escalates to ending the process at once, since a
// console event may have reached this process as well.
void CALLBACK OnStationEvent(void*, BOOLEAN) {
    int none = 0;
    g_pending.compare_exchange_strong(none, kTerminateCode);
}

}  // namespace

namespace InterruptRequest {

void Install() {
    static std::atomic<bool> installed{false};
    if (installed.exchange(true))
        return;
    g_exiting = ::CreateEventW(nullptr, TRUE, FALSE, nullptr);
    std::atexit(SignalExiting);
    ::SetConsoleCtrlHandler(OnControlEvent, TRUE);
    const std::wstring name = InterruptEventName(::GetCurrentProcessId());
    g_stationEvent = ::OpenEventW(SYNCHRONIZE, FALSE, name.c_str());
    if (g_stationEvent != nullptr) {
        ::RegisterWaitForSingleObject(&g_stationWait, g_stationEvent, OnStationEvent, nullptr, INFINITE,
                                      WT_EXECUTEONLYONCE);
    }
}

int Pending() {
    return g_pending.load();
}

}  // namespace InterruptRequest
