// CEdit over QLineEdit (single line) and the multi-line text model.
#include "framework/CEdit.h"

#include <QLineEdit>
#include <algorithm>

#include "framework/qt/EditControl.h"
#include "framework/qt/WindowRegistry.h"

IMPLEMENT_DYNAMIC(CEdit, CWnd)

void CEdit::SetSel(int start, int end, BOOL noScroll) {
    WindowRecord* record = WindowRegistry::Find(GetSafeHwnd());
    if (record == nullptr)
        return;
    if (record->kind == WindowKind::MultiLineEdit) {
        EditControl::SetSel(*record, start, end, noScroll != FALSE);
    } else if (record->kind == WindowKind::Edit) {
        auto* edit = static_cast<QLineEdit*>(record->widget);
        const int length = static_cast<int>(edit->text().size());
        if (start == -1) {
            edit->deselect();
            edit->setCursorPosition(length);
            return;
        }
        if (end < 0)
            end = length;
        start = std::clamp(start, 0, length);
        end = std::clamp(end, 0, length);
        edit->setSelection(start, end - start);
    }
}

void CEdit::GetSel(int& start, int& end) const {
    start = end = 0;
    WindowRecord* record = WindowRegistry::Find(GetSafeHwnd());
    if (record == nullptr)
        return;
    if (record->kind == WindowKind::MultiLineEdit) {
        start = record->edit.selStart;
        end = record->edit.selEnd;
    } else if (record->kind == WindowKind::Edit) {
        auto* edit = static_cast<QLineEdit*>(record->widget);
        if (edit->hasSelectedText()) {
            start = edit->selectionStart();
            end = edit->selectionEnd();
        } else {
            start = end = edit->cursorPosition();
        }
    }
}

void CEdit::ReplaceSel(const wchar_t* newText, BOOL) {
    const HWND hwnd = GetSafeHwnd();
    WindowRecord* record = WindowRegistry::Find(hwnd);
    if (record == nullptr)
        return;
    if (record->kind == WindowKind::MultiLineEdit) {
        EditControl::ReplaceSel(*record, newText ? newText : L"");
    } else if (record->kind == WindowKind::Edit) {
        static_cast<QLineEdit*>(record->widget)->insert(QString::fromWCharArray(newText ? newText : L""));
    } else {
        return;
    }
    WindowRegistry::Notify(hwnd, EN_CHANGE);
}

int CEdit::GetLineCount() const {
    WindowRecord* record = WindowRegistry::Find(GetSafeHwnd());
    if (record == nullptr)
        return 1;
    return record->kind == WindowKind::MultiLineEdit ? EditControl::GetLineCount(*record) : 1;
}

BOOL CEdit::LineScroll(int lines, int) {
    WindowRecord* record = WindowRegistry::Find(GetSafeHwnd());
    if (record == nullptr || record->kind != WindowKind::MultiLineEdit)
        return FALSE;
    EditControl::LineScroll(*record, lines);
    return TRUE;
}
