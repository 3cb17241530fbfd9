// Dialog templates as data: a dialog's caption, font, size and controls, in dialog units, as the
// resource compiler would lay them down. The program registers its templates once at start-up;
// CDialogEx builds its window from the template registered under its ID.
#pragma once

#include <cstddef>
#include <functional>
#include <span>

#include "framework/WinTypes.h"

struct DialogItemTemplate {
    int id;                    // -1 for controls the code never addresses
    const wchar_t* className;  // "BUTTON", "STATIC", "EDIT", "COMBOBOX", "msctls_progress32"
    const wchar_t* text;
    short x;
    short y;
    short cx;
    short cy;
    DWORD style;
    DWORD exStyle;
};

struct DialogTemplate {
    UINT id;
    const wchar_t* caption;
    const wchar_t* fontName;
    WORD pointSize;
    WORD weight;
    short x;
    short y;
    short cx;
    short cy;
    DWORD style;
    DWORD exStyle;
    std::span<const DialogItemTemplate> items;
};

// Registers a template under its ID; a later registration with the same ID replaces it. The
// template must outlive its use (static data).
void AfxRegisterDialogTemplate(const DialogTemplate* dialogTemplate);
// The registered template, or null.
const DialogTemplate* AfxFindDialogTemplate(UINT id);

// Fitting a dialog to the screen it opens on. A template's font may be too large for a small or
// highly scaled screen; the dialog units scale with the font, so a smaller font keeps the layout.
constexpr WORD kMinimumDialogPointSize = 9;

// A rectangle in screen pixels.
struct ScreenArea {
    int x;
    int y;
    int width;
    int height;
};

// The largest point size from the template's own down to kMinimumDialogPointSize whose frame, as
// `frameSizeAt` lays it out (only width and height are read), fits `workArea`; the minimum when
// none does. A template without a font of its own (no DS_SETFONT), or whose font is already below
// the minimum, keeps its size.
WORD FitDialogPointSize(const DialogTemplate& dialogTemplate, const ScreenArea& workArea,
                        const std::function<ScreenArea(WORD pointSize)>& frameSizeAt);

// `frame` moved the least that puts it inside `workArea`. A frame larger than the area is aligned
// with the area's top-left corner, so its caption stays on the screen and the window can be moved.
ScreenArea PlaceInsideWorkArea(const ScreenArea& frame, const ScreenArea& workArea);
