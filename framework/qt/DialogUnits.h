// DialogUnits: the dialog font and the conversion of dialog units to pixels, computed the way
// Windows does it so that templates written for Windows keep their layout. The horizontal base unit
// is the average width of the 52 letters A-Z a-z, the vertical one the font's height; one dialog
// unit is a quarter of the first and an eighth of the second.
#pragma once

#include <QFont>
#include <QRect>

struct DialogBaseUnits {
    int x = 0;
    int y = 0;
};

class DialogUnits {
public:
    // The font named by a template; when the system lacks it (Windows' Song face, on most other
    // systems), the installed Song-style CJK face, then any font that covers Simplified Chinese.
    // Sized as Windows sizes points on a 96 dpi screen.
    static QFont DialogFont(const wchar_t* faceName, int pointSize, int weight);
    static DialogBaseUnits BaseUnits(const QFont& font);
    // number * numerator / denominator, rounded half away from zero, as Windows' MulDiv.
    static int MulDiv(int number, int numerator, int denominator);
    static QRect MapDialogRect(const DialogBaseUnits& units, int x, int y, int cx, int cy);
};
