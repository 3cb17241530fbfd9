// WindowBindings: which wrapper object stands for which window. Windows keeps the windows
// themselves; this table remembers the C++ objects bound to them (Attach, DDX_Control) and the
// wrappers GetDlgItem hands out, so that all of them can let go of their handles when the dialog's
// window is destroyed. GUI thread, except that a wrapper's handle may be read from any thread.
#pragma once

#include "framework/CWnd.h"

namespace WindowBindings {

// Binds `wnd` to `hwnd`; a wrapper bound to it before loses its handle.
void Bind(HWND hwnd, CWnd* wnd);
// Unbinds `wnd` from `hwnd` when it is the wrapper bound there.
void Unbind(HWND hwnd, CWnd* wnd);
// The wrapper bound to `hwnd`, or null.
CWnd* Find(HWND hwnd);
// A wrapper for a control of `dialog` that nobody bound; it lives as long as the dialog's window.
CWnd* TemporaryWrapper(HWND dialog, HWND control);
// The dialog's window is being destroyed: the wrappers of it and of its controls lose their handles
// and the temporary ones are freed.
void ReleaseDialog(HWND dialog);

}  // namespace WindowBindings
