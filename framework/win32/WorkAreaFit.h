// WorkAreaFit: the font size the dialog manager lays a dialog out with and the place the dialog
// opens at, so that the whole window lies inside the work area of its monitor (a workshop laptop's
// 1366 x 768, or a screen scaled to 125 % or more, is smaller than a dialog in 14-point type).
#pragma once

#include <windows.h>

#include "framework/DialogTemplate.h"

class WorkAreaFit {
public:
    // The work area of the monitor a dialog opens on: its owner's when the owner is shown, else the
    // primary monitor's. Empty when the system names no monitor.
    static RECT WorkArea(HWND owner);
    // The point size to put into the dialog's template: its own where the window fits `workArea`.
    static WORD PointSize(const DialogTemplate& dialogTemplate, const RECT& workArea);
    // Centres the dialog on its shown owner, or on the work area, then moves it inside the work area.
    static void Place(HWND dialog);

private:
    // The window's outer size at `pointSize`, computed as the dialog manager computes it: the base
    // units of the font it creates, the template's size in them, and the frame around that.
    static ScreenArea FrameSize(const DialogTemplate& dialogTemplate, WORD pointSize, HDC screen);
    static bool ShownOwner(HWND owner);
};
