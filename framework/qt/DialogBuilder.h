// DialogBuilder: makes a dialog's window and its controls from a template, laid out in dialog units
// of the template's font.
#pragma once

#include "framework/CWnd.h"
#include "framework/DialogTemplate.h"

class QWidget;

class DialogBuilder {
public:
    // Builds the window hidden, laid out in the template's font at `pointSize`, and binds it to
    // `dialog`. Returns its handle, or null when there is no GUI application to make widgets with.
    static HWND Build(const DialogTemplate& dialogTemplate, WORD pointSize, CWnd& dialog, QWidget* owner);

private:
    static void AddControl(HWND dialog, QWidget* dialogWidget, const DialogItemTemplate& item,
                           const struct DialogBaseUnits& units, class QButtonGroup*& radioGroup);
};
