// Laying down DLGTEMPLATEEX. The buffer is a vector of WORDs: every field is a whole number of
// WORDs, and the vector's storage is aligned for DWORDs, so padding to a DWORD boundary is padding
// to an even WORD count.
#include "framework/win32/DialogTemplateBlob.h"

namespace {

constexpr WORD kExtendedVersion = 1;
constexpr WORD kExtendedSignature = 0xFFFF;
constexpr WORD kNoMenuOrClass = 0;
constexpr BYTE kNotItalic = 0;
constexpr BYTE kAnsiCharset = 0;

}  // namespace

DialogTemplateBlob::DialogTemplateBlob(const DialogTemplate& dialogTemplate) {
    Word(kExtendedVersion);
    Word(kExtendedSignature);
    Dword(0);  // help ID
    Dword(dialogTemplate.exStyle);
    Dword(dialogTemplate.style);
    Word(static_cast<WORD>(dialogTemplate.items.size()));
    Word(static_cast<WORD>(dialogTemplate.x));
    Word(static_cast<WORD>(dialogTemplate.y));
    Word(static_cast<WORD>(dialogTemplate.cx));
    Word(static_cast<WORD>(dialogTemplate.cy));
    Word(kNoMenuOrClass);  // menu
    Word(kNoMenuOrClass);  // window class: the dialog class
    Text(dialogTemplate.caption);
    if (dialogTemplate.style & DS_SETFONT) {
        Word(dialogTemplate.pointSize);
        Word(dialogTemplate.weight);
        Word(static_cast<WORD>(kNotItalic | (kAnsiCharset << 8)));
        Text(dialogTemplate.fontName);
    }
    for (const DialogItemTemplate& item : dialogTemplate.items) {
        AlignToDword();
        Dword(0);  // help ID
        Dword(item.exStyle);
        Dword(item.style);
        Word(static_cast<WORD>(item.x));
        Word(static_cast<WORD>(item.y));
        Word(static_cast<WORD>(item.cx));
        Word(static_cast<WORD>(item.cy));
        Dword(static_cast<DWORD>(item.id));
        Text(item.className);
        Text(item.text);
        Word(0);  // no creation data
    }
}

void DialogTemplateBlob::Dword(DWORD value) {
    Word(static_cast<WORD>(value & 0xFFFF));
    Word(static_cast<WORD>(value >> 16));
}

void DialogTemplateBlob::Text(const wchar_t* text) {
    for (const wchar_t* ch = text != nullptr ? text : L""; *ch != 0; ++ch)
        Word(static_cast<WORD>(*ch));
    Word(0);
}

void DialogTemplateBlob::AlignToDword() {
    if (m_words.size() % 2 != 0)
        Word(0);
}
