// Item tool tips of combo boxes.
#include "framework/win32/ComboToolTips.h"

#include <commctrl.h>

#include <map>

namespace {

constexpr UINT_PTR kSubclassId = 0x4F52;  // any number unique among this list's subclasses

struct ListTips {
    HWND combo = nullptr;
    HWND tip = nullptr;
    int hovered = -1;
    std::map<int, std::wstring> texts;
};

std::map<HWND, ListTips> g_lists;  // keyed by the drop-down list

HWND DropDownList(HWND combo) {
    COMBOBOXINFO info{};
    info.cbSize = sizeof(info);
    return ::GetComboBoxInfo(combo, &info) ? info.hwndList : nullptr;
}

TTTOOLINFOW ToolInfo(HWND list, const wchar_t* text) {
    TTTOOLINFOW tool{};
    // The smallest layout every version of the control accepts.
    tool.cbSize = TTTOOLINFOW_V2_SIZE;
    tool.uFlags = TTF_IDISHWND | TTF_SUBCLASS;
    tool.hwnd = list;
    tool.uId = reinterpret_cast<UINT_PTR>(list);
    tool.lpszText = const_cast<wchar_t*>(text);
    return tool;
}

void ShowTextOf(HWND list, ListTips& tips, int index) {
    if (index == tips.hovered)
        return;
    tips.hovered = index;
    auto it = tips.texts.find(index);
    const wchar_t* text = it != tips.texts.end() ? it->second.c_str() : L"";
    TTTOOLINFOW tool = ToolInfo(list, text);
    // An empty text hides the tip; a new one shows at the next pause of the pointer.
    ::SendMessageW(tips.tip, TTM_POP, 0, 0);
    ::SendMessageW(tips.tip, TTM_UPDATETIPTEXTW, 0, reinterpret_cast<LPARAM>(&tool));
}

LRESULT CALLBACK ListProc(HWND list, UINT message, WPARAM wParam, LPARAM lParam, UINT_PTR, DWORD_PTR) {
    auto it = g_lists.find(list);
    if (it != g_lists.end()) {
        if (message == WM_MOUSEMOVE) {
            const LRESULT hit = ::SendMessageW(list, LB_ITEMFROMPOINT, 0, lParam);
            ShowTextOf(list, it->second, HIWORD(hit) != 0 ? -1 : static_cast<int>(LOWORD(hit)));
        } else if (message == WM_NCDESTROY) {
            ::RemoveWindowSubclass(list, ListProc, kSubclassId);
            if (::IsWindow(it->second.tip))
                ::DestroyWindow(it->second.tip);
            g_lists.erase(it);
        }
    }
    return ::DefSubclassProc(list, message, wParam, lParam);
}

}  // namespace

namespace ComboToolTips {

void Set(HWND combo, int index, const std::wstring& text) {
    const HWND list = DropDownList(combo);
    if (list == nullptr)
        return;
    ListTips& tips = g_lists[list];
    if (tips.tip == nullptr) {
        tips.combo = combo;
        tips.tip = ::CreateWindowExW(WS_EX_TOPMOST, TOOLTIPS_CLASSW, nullptr, WS_POPUP | TTS_NOPREFIX,
                                     CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, CW_USEDEFAULT, combo,
                                     nullptr, ::GetModuleHandleW(nullptr), nullptr);
        if (tips.tip == nullptr) {
            g_lists.erase(list);
            return;
        }
        TTTOOLINFOW tool = ToolInfo(list, L"");
        ::SendMessageW(tips.tip, TTM_ADDTOOLW, 0, reinterpret_cast<LPARAM>(&tool));
        ::SetWindowSubclass(list, ListProc, kSubclassId, 0);
    }
    tips.texts[index] = text;
    tips.hovered = -2;  // show the new text at the next move
}

void Clear(HWND combo) {
    auto it = g_lists.find(DropDownList(combo));
    if (it != g_lists.end()) {
        it->second.texts.clear();
        it->second.hovered = -2;
    }
}

}  // namespace ComboToolTips
