// WorkAreaFit: the font size a dialog is built with and the place it opens at, so that the whole
// window lies inside the work area of its screen (a workshop laptop's 1366 x 768, or a screen scaled
// to 125 % or more, is smaller than a dialog laid out in 14-point type).
#pragma once

#include <QMargins>
#include <QRect>

#include "framework/DialogTemplate.h"

class QWidget;

class WorkAreaFit {
public:
    // The work area of the screen a dialog opens on: its owner's when the owner is shown, else the
    // primary screen's. Empty without a screen.
    static QRect WorkArea(const QWidget* owner);
    // The point size to lay `dialogTemplate` out with: its own where that fits `workArea`.
    static WORD PointSize(const DialogTemplate& dialogTemplate, const QRect& workArea);
    // Centres the (not yet shown) `widget` on its shown owner, or on the work area, then moves it
    // inside the work area.
    static void Place(QWidget* widget, const QWidget* owner, const QRect& workArea);

private:
    // What the window system adds around a window's client area.
    static QMargins FrameMargins();
};
