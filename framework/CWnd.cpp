// CWnd's toolkit-neutral part: the defaults a window inherits and the test hook that scales
// timers; everything that touches a window lives in the backend files.
#include "framework/CWnd.h"

#include "framework/CWinApp.h"

namespace {

std::atomic<double> g_timerScale{1.0};

}  // namespace

IMPLEMENT_DYNAMIC(CWnd, CCmdTarget)

CWnd::~CWnd() {
    Detach();
    AfxForgetMainWnd(this);
}

BOOL CWnd::PreTranslateMessage(MSG*) {
    return FALSE;
}

void CWnd::OnTimer(UINT_PTR) {}

LRESULT CWnd::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    OnWndMsg(message, wParam, lParam, &result);
    return result;
}

void AfxSetTimerScale(double scale) {
    g_timerScale.store(scale > 0 ? scale : 1.0);
}

double AfxGetTimerScale() {
    return g_timerScale.load();
}
