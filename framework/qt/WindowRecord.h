// What the window layer knows about one live window: its widget, the wrapper bound to it, and the
// state Windows keeps inside a control that Qt does not (edit selection, combo item data, timers).
// Records belong to the GUI thread; only WindowRegistry's posting path reads them elsewhere, under
// its lock, and then only the widget pointer.
#pragma once

#include <QPointer>
#include <QTimer>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "framework/CWnd.h"
#include "framework/DialogTemplate.h"

class QWidget;
class QEventLoop;
class QButtonGroup;

enum class WindowKind {
    Dialog,
    PushButton,
    RadioButton,
    GroupBox,
    Static,
    Edit,           // single line
    MultiLineEdit,  // read-only wrapping log
    ComboBox,
    Progress,
};

// Windows keeps an edit's text with CR LF line ends and counts positions in it; the widget shows
// paragraphs. The text here is authoritative and the widget is kept in step with it.
struct EditState {
    std::wstring text;
    int selStart = 0;
    int selEnd = 0;
};

struct DialogState {
    const DialogTemplate* dialogTemplate = nullptr;
    std::map<int, HWND> controls;                  // control ID -> handle (first one wins)
    std::vector<HWND> items;                       // every control in template order
    std::vector<std::unique_ptr<CWnd>> tempWraps;  // wrappers handed out by GetDlgItem
    std::vector<QButtonGroup*> radioGroups;
    QEventLoop* modalLoop = nullptr;
    bool endRequested = false;
    int defaultButtonId = IDOK;
};

struct WindowRecord {
    WindowKind kind = WindowKind::Dialog;
    QWidget* widget = nullptr;
    CWnd* wnd = nullptr;    // bound wrapper, may be null
    HWND parent = nullptr;  // the dialog of a control
    int controlId = 0;
    DWORD style = 0;
    std::map<UINT_PTR, QTimer*> timers;
    HICON bigIcon = nullptr;
    HICON smallIcon = nullptr;
    EditState edit;
    std::vector<DWORD_PTR> itemData;  // combo boxes
    std::unique_ptr<DialogState> dialog;
};
