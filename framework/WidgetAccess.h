// For tests of the Qt window layer: the toolkit widget that stands behind a window handle. Only the
// Qt backend has widgets; the declaration names the type without bringing Qt into the framework's
// headers.
#pragma once

#include "framework/WinTypes.h"

class QWidget;

// Null when `hwnd` names no live window.
QWidget* AfxGetWidget(HWND hwnd);
