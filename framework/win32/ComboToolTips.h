// Tool tips for the items of a combo box's drop-down list: the text of the item under the pointer
// shows beside it. A tooltip control watches the list, which is subclassed to follow the pointer
// from item to item. GUI thread only.
#pragma once

#include <string>

#include "framework/WinTypes.h"

namespace ComboToolTips {

void Set(HWND combo, int index, const std::wstring& text);
// Forgets every item's text (the combo box was emptied).
void Clear(HWND combo);

}  // namespace ComboToolTips
