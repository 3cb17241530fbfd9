// AfxMessageBox: a modal message box captioned with the application's title, OK button only.
#pragma once

#include "framework/WinTypes.h"

// Returns IDOK once the user has dismissed the box (also by Escape or the close box). Without an icon
// in `type` the box shows the warning icon, as the framework does for OK boxes.
int AfxMessageBox(const wchar_t* text, UINT type = MB_OK);
