// The string table: texts registered under resource IDs.
#pragma once

#include "framework/WinTypes.h"

// The framework takes the application's title from this entry when the application object is
// constructed without a name.
constexpr UINT AFX_IDS_APP_TITLE = 0xE000;

void AfxRegisterString(UINT id, const wchar_t* text);
// The registered text, or null. The text must be static data.
const wchar_t* AfxLoadString(UINT id);
