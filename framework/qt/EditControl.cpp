// The multi-line edit's text model.
#include "framework/qt/EditControl.h"

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextLayout>
#include <algorithm>
#include <climits>

namespace {

// CR LF becomes one paragraph break; a lone CR or LF breaks no line in a Windows edit, so it shows
// as a space. Each display character then maps to one or two characters of the text.
QString ToDisplay(const std::wstring& text) {
    std::wstring display;
    display.reserve(text.size());
    for (size_t i = 0; i < text.size(); ++i) {
        wchar_t ch = text[i];
        if (ch == L'\r' && i + 1 < text.size() && text[i + 1] == L'\n') {
            display.push_back(L'\n');
            ++i;
        } else if (ch == L'\r' || ch == L'\n') {
            display.push_back(L' ');
        } else {
            display.push_back(ch);
        }
    }
    return QString::fromStdWString(display);
}

struct LineCountCache : QTextBlockUserData {
    int revision = -1;
    int widthKey = -1;
    int lines = 1;
};

int VisualLines(const QString& text, const QFont& font, const QTextOption& option, qreal width) {
    QTextLayout layout(text, font);
    layout.setTextOption(option);
    layout.beginLayout();
    int lines = 0;
    for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
        line.setLineWidth(width > 0 ? width : qreal(INT_MAX));
        ++lines;
    }
    layout.endLayout();
    return std::max(1, lines);
}

int Clamp(int value, int low, int high) {
    return std::max(low, std::min(value, high));
}

}  // namespace

QPlainTextEdit* EditControl::Widget(WindowRecord& record) {
    return record.kind == WindowKind::MultiLineEdit ? static_cast<QPlainTextEdit*>(record.widget) : nullptr;
}

int EditControl::DisplayPosition(const std::wstring& text, int position) {
    // Characters outside the BMP take two UTF-16 units in the widget but one wchar_t here.
    int display = 0;
    const int end = std::min(position, static_cast<int>(text.size()));
    for (int i = 0; i < end; ++i) {
        if (text[i] == L'\r' && i + 1 < static_cast<int>(text.size()) && text[i + 1] == L'\n') {
            if (i + 1 < end)
                ++i;
            ++display;
        } else {
            display += text[i] > 0xFFFF ? 2 : 1;
        }
    }
    return display;
}

void EditControl::SetText(WindowRecord& record, const std::wstring& text) {
    record.edit.text = text;
    record.edit.selStart = record.edit.selEnd = 0;
    if (QPlainTextEdit* edit = Widget(record)) {
        edit->setPlainText(ToDisplay(text));
        ShowCaret(record, true);
    }
}

void EditControl::SetSel(WindowRecord& record, int start, int end, bool noScroll) {
    const int length = static_cast<int>(record.edit.text.size());
    if (start == -1) {
        // Deselects and leaves the caret at the end, where appending continues.
        start = end = length;
    } else {
        if (end < 0)
            end = length;
        start = Clamp(start, 0, length);
        end = Clamp(end, 0, length);
    }
    record.edit.selStart = std::min(start, end);
    record.edit.selEnd = std::max(start, end);
    ShowCaret(record, !noScroll);
}

void EditControl::ReplaceSel(WindowRecord& record, const std::wstring& text) {
    std::wstring& current = record.edit.text;
    const int start = record.edit.selStart;
    const int end = record.edit.selEnd;
    // A replacement next to a CR or LF may join or split a CR LF pair, which changes more of the
    // display than the replaced range; redraw everything then.
    const bool touchesBreak = (start > 0 && current[start - 1] == L'\r') ||
                              (end < static_cast<int>(current.size()) && current[end] == L'\n') ||
                              (start < end && (current[start] == L'\n' || current[end - 1] == L'\r'));
    // The log appends at the end, line after line: there the display position is the document's
    // own end, with no walk over the whole text.
    const bool atEnd = start == end && end == static_cast<int>(current.size());
    QPlainTextEdit* widget = Widget(record);
    const int documentEnd = widget != nullptr ? widget->document()->characterCount() - 1 : 0;
    const int displayStart = atEnd && widget != nullptr ? documentEnd : DisplayPosition(current, start);
    const int displayEnd = atEnd && widget != nullptr ? documentEnd : DisplayPosition(current, end);
    current.replace(static_cast<size_t>(start), static_cast<size_t>(end - start), text);
    record.edit.selStart = record.edit.selEnd = start + static_cast<int>(text.size());
    QPlainTextEdit* edit = Widget(record);
    if (edit == nullptr)
        return;
    if (touchesBreak) {
        edit->setPlainText(ToDisplay(current));
    } else {
        QTextCursor cursor(edit->document());
        cursor.setPosition(displayStart);
        cursor.setPosition(displayEnd, QTextCursor::KeepAnchor);
        cursor.insertText(ToDisplay(text));
    }
    ShowCaret(record, true);
}

void EditControl::ShowCaret(WindowRecord& record, bool scroll) {
    QPlainTextEdit* edit = Widget(record);
    if (edit == nullptr)
        return;
    QTextCursor cursor = edit->textCursor();
    const int length = static_cast<int>(record.edit.text.size());
    if (record.edit.selStart == length && record.edit.selEnd == length) {
        cursor.movePosition(QTextCursor::End);
    } else {
        cursor.setPosition(DisplayPosition(record.edit.text, record.edit.selStart));
        cursor.setPosition(DisplayPosition(record.edit.text, record.edit.selEnd), QTextCursor::KeepAnchor);
    }
    edit->setTextCursor(cursor);
    if (scroll)
        edit->ensureCursorVisible();
}

int EditControl::GetLineCount(WindowRecord& record) {
    QPlainTextEdit* edit = Widget(record);
    if (edit == nullptr) {
        return 1 + static_cast<int>(std::count(record.edit.text.begin(), record.edit.text.end(), L'\n'));
    }
    // The widget lays blocks out lazily and only at a width it learns when shown, so the count is
    // made here, with the same wrapping rules, and cached per block until the block or the width
    // changes.
    QTextDocument* document = edit->document();
    const qreal width = edit->viewport()->width() - 2 * document->documentMargin();
    const int widthKey = static_cast<int>(width * 16);
    const QTextOption option = document->defaultTextOption();
    int lines = 0;
    for (QTextBlock block = document->begin(); block.isValid(); block = block.next()) {
        auto* cache = static_cast<LineCountCache*>(block.userData());
        if (cache == nullptr) {
            cache = new LineCountCache;
            block.setUserData(cache);  // the document owns it
        }
        if (cache->revision != block.revision() || cache->widthKey != widthKey) {
            cache->revision = block.revision();
            cache->widthKey = widthKey;
            cache->lines = VisualLines(block.text(), document->defaultFont(), option, width);
        }
        lines += cache->lines;
    }
    return std::max(1, lines);
}

void EditControl::LineScroll(WindowRecord& record, int lines) {
    QPlainTextEdit* edit = Widget(record);
    if (edit == nullptr)
        return;
    QScrollBar* bar = edit->verticalScrollBar();
    bar->setValue(Clamp(bar->value() + lines, bar->minimum(), bar->maximum()));
}
