// The in-memory extended dialog template (DLGTEMPLATEEX and its DLGITEMTEMPLATEEX items) that the
// dialog manager builds a window from, laid down from the framework's template data exactly as the
// resource compiler would lay down the same dialog.
#pragma once

#include <cstdint>
#include <vector>

#include "framework/DialogTemplate.h"

class DialogTemplateBlob {
public:
    explicit DialogTemplateBlob(const DialogTemplate& dialogTemplate);

    // Valid while the object lives; the dialog manager copies what it needs during creation.
    const DLGTEMPLATE* Get() const { return reinterpret_cast<const DLGTEMPLATE*>(m_words.data()); }
    size_t SizeInBytes() const { return m_words.size() * sizeof(WORD); }

private:
    void Word(WORD value) { m_words.push_back(value); }
    void Dword(DWORD value);
    void Text(const wchar_t* text);
    // Items start on a DWORD boundary.
    void AlignToDword();

    std::vector<WORD> m_words;
};
