// CEdit: single-line entry fields and the multi-line log. Positions count characters of the text as
// GetWindowText returns it, where lines end in CR LF (two characters).
#pragma once

#include "framework/CWnd.h"

class CEdit : public CWnd {
    DECLARE_DYNAMIC(CEdit)

public:
    // Selects [start, end). A start of -1 removes the selection and puts the caret at the end; an end
    // of -1 means the end of the text. Scrolls the caret into view unless `noScroll`.
    void SetSel(int start, int end, BOOL noScroll = FALSE);
    void GetSel(int& start, int& end) const;
    // Replaces the selection (or inserts at the caret) and leaves the caret after the new text.
    void ReplaceSel(const wchar_t* newText, BOOL canUndo = FALSE);
    // Lines as the control shows them: a long line that wraps counts once per visual line. At least 1.
    int GetLineCount() const;
    // Scrolls the text vertically by `lines` (negative: up); horizontal scrolling is not offered.
    BOOL LineScroll(int lines, int chars = 0);
};
