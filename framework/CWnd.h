// CWnd: the window object the serial layer posts received bytes to. The window layer (CDialogEx and
// the control wrappers) builds on it; this header stays free of any toolkit so that non-GUI code
// can name a window.
#pragma once

#include "framework/WinTypes.h"

class CWnd {
public:
    CWnd() = default;
    CWnd(const CWnd&) = delete;
    CWnd& operator=(const CWnd&) = delete;
    virtual ~CWnd() = default;

    // Queues the message for the window's thread; callable from any thread. Messages posted to one
    // window are delivered in the order they were posted. Returns FALSE and sets the last error when
    // there is no window to receive it.
    virtual BOOL PostMessage(UINT message, WPARAM wParam = 0, LPARAM lParam = 0);
};
