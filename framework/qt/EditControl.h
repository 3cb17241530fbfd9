// EditControl: the multi-line edit's behaviour on top of QPlainTextEdit. Text and selection are kept
// as Windows keeps them (CR LF line ends, positions counted in that text); the widget shows the same
// text as paragraphs and is updated in place for the common case of appending at the end.
#pragma once

#include <string>

#include "framework/qt/WindowRecord.h"

class QPlainTextEdit;

class EditControl {
public:
    static void SetText(WindowRecord& record, const std::wstring& text);
    static void SetSel(WindowRecord& record, int start, int end, bool noScroll);
    static void ReplaceSel(WindowRecord& record, const std::wstring& text);
    // Visual lines, counting wrapped lines, and at least 1.
    static int GetLineCount(WindowRecord& record);
    static void LineScroll(WindowRecord& record, int lines);

private:
    static QPlainTextEdit* Widget(WindowRecord& record);
    static int DisplayPosition(const std::wstring& text, int position);
    static void ShowCaret(WindowRecord& record, bool scroll);
};
