// Dialog templates as data: a dialog's caption, font, size and controls, in dialog units, as the
// resource compiler would lay them down. The program registers its templates once at start-up;
// CDialogEx builds its window from the template registered under its ID.
#pragma once

#include <cstddef>
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
