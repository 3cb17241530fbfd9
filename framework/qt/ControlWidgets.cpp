// Event routing shared by the window widgets.
#include "framework/qt/ControlWidgets.h"
#include "framework/qt/ThreadHandOver.h"

#include <QAbstractButton>
#include <QCloseEvent>
#include <QKeyEvent>
#include <QScreen>
#include <algorithm>

#include "framework/qt/WindowRegistry.h"

namespace {

WPARAM VirtualKey(const QKeyEvent* event) {
    const int key = event->key();
    switch (key) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
            return VK_RETURN;
        case Qt::Key_Escape:
            return VK_ESCAPE;
        case Qt::Key_Tab:
        case Qt::Key_Backtab:
            return VK_TAB;
        case Qt::Key_Space:
            return VK_SPACE;
        case Qt::Key_Left:
            return VK_LEFT;
        case Qt::Key_Up:
            return VK_UP;
        case Qt::Key_Right:
            return VK_RIGHT;
        case Qt::Key_Down:
            return VK_DOWN;
        default:
            break;
    }
    if ((key >= Qt::Key_0 && key <= Qt::Key_9) || (key >= Qt::Key_A && key <= Qt::Key_Z)) {
        return static_cast<WPARAM>(key);
    }
    if (key >= Qt::Key_F1 && key <= Qt::Key_F24)
        return VK_F1 + static_cast<WPARAM>(key - Qt::Key_F1);
    return 0;
}

HWND DialogOf(HWND hwnd) {
    WindowRecord* record = WindowRegistry::Find(hwnd);
    if (record == nullptr)
        return nullptr;
    return record->kind == WindowKind::Dialog ? hwnd : record->parent;
}

// Lets the wrappers from the target up to its dialog see the key first, as the message loop does.
bool PreTranslate(HWND target, MSG* msg) {
    WindowRegistry::DispatchScope scope;
    WindowRecord* record = WindowRegistry::Find(target);
    if (record == nullptr)
        return false;
    const HWND dialog = record->kind == WindowKind::Dialog ? target : record->parent;
    if (record->kind != WindowKind::Dialog && record->wnd != nullptr &&
        record->wnd->PreTranslateMessage(msg)) {
        return true;
    }
    WindowRecord* dialogRecord = WindowRegistry::Find(dialog);
    return dialogRecord != nullptr && dialogRecord->wnd != nullptr &&
           dialogRecord->wnd->PreTranslateMessage(msg);
}

// Enter presses the focused push button or else the default button; Escape cancels.
void DialogKey(HWND target, WPARAM vk) {
    const HWND dialog = DialogOf(target);
    WindowRecord* dialogRecord = WindowRegistry::Find(dialog);
    if (dialogRecord == nullptr || !dialogRecord->dialog)
        return;
    int id = IDCANCEL;
    if (vk == VK_RETURN) {
        WindowRecord* record = WindowRegistry::Find(target);
        id = record != nullptr && record->kind == WindowKind::PushButton
                 ? record->controlId
                 : dialogRecord->dialog->defaultButtonId;
    }
    HWND button = nullptr;
    auto it = dialogRecord->dialog->controls.find(id);
    if (it != dialogRecord->dialog->controls.end())
        button = it->second;
    if (vk == VK_RETURN && button != nullptr) {
        WindowRecord* buttonRecord = WindowRegistry::Find(button);
        if (buttonRecord != nullptr && !buttonRecord->widget->isEnabled())
            return;
    }
    WindowRegistry::Dispatch(dialog, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(id), BN_CLICKED),
                             reinterpret_cast<LPARAM>(button));
}

// A control the keyboard may move to: enabled, not hidden, and able to hold the focus.
bool CanTakeFocus(HWND hwnd) {
    WindowRecord* record = WindowRegistry::Find(hwnd);
    return record != nullptr && record->widget != nullptr && record->widget->isEnabled() &&
           !record->widget->isHidden() && record->widget->focusPolicy() != Qt::NoFocus;
}

// Where `target` stands among its dialog's controls; -1 for the dialog itself or a stranger.
int IndexOf(const std::vector<HWND>& items, HWND target) {
    const auto it = std::find(items.begin(), items.end(), target);
    return it == items.end() ? -1 : static_cast<int>(it - items.begin());
}

// Tab and Shift+Tab: the next (previous) tab stop in template order, wrapping; the focus stays when
// there is none.
void MoveTabFocus(HWND target, bool previous) {
    WindowRecord* dialogRecord = WindowRegistry::Find(DialogOf(target));
    if (dialogRecord == nullptr || !dialogRecord->dialog)
        return;
    const std::vector<HWND>& items = dialogRecord->dialog->items;
    const int count = static_cast<int>(items.size());
    int at = IndexOf(items, target);
    if (at < 0)
        at = previous ? count : -1;
    for (int step = 1; step <= count; ++step) {
        const int i = ((previous ? at - step : at + step) % count + count) % count;
        WindowRecord* record = WindowRegistry::Find(items[static_cast<size_t>(i)]);
        if (record != nullptr && (record->style & WS_TABSTOP) &&
            CanTakeFocus(items[static_cast<size_t>(i)])) {
            record->widget->setFocus(previous ? Qt::BacktabFocusReason : Qt::TabFocusReason);
            return;
        }
    }
}

// Arrow keys on a button: the next (previous) control of its group, the run of controls from one
// WS_GROUP item up to the next, wrapping. An automatic radio button reached this way is clicked.
void MoveGroupFocus(HWND target, bool previous) {
    WindowRecord* dialogRecord = WindowRegistry::Find(DialogOf(target));
    if (dialogRecord == nullptr || !dialogRecord->dialog)
        return;
    const std::vector<HWND>& items = dialogRecord->dialog->items;
    const int at = IndexOf(items, target);
    if (at < 0)
        return;
    auto startsGroup = [&items](int i) {
        WindowRecord* record = WindowRegistry::Find(items[static_cast<size_t>(i)]);
        return record != nullptr && (record->style & WS_GROUP);
    };
    int first = at;
    while (first > 0 && !startsGroup(first))
        --first;
    int end = at + 1;
    while (end < static_cast<int>(items.size()) && !startsGroup(end))
        ++end;
    const int size = end - first;
    for (int step = 1; step < size; ++step) {
        const int i = first + (((previous ? at - step : at + step) - first) % size + size) % size;
        const HWND next = items[static_cast<size_t>(i)];
        if (!CanTakeFocus(next))
            continue;
        WindowRecord* record = WindowRegistry::Find(next);
        record->widget->setFocus(Qt::OtherFocusReason);
        if (record->kind == WindowKind::RadioButton && (record->style & BS_TYPEMASK) == BS_AUTORADIOBUTTON)
            static_cast<QAbstractButton*>(record->widget)->click();
        return;
    }
}

}  // namespace

bool HandleWindowEvent(HWND hwnd, QWidget* widget, QEvent* event) {
    TakeOver(event);
    if (event->type() == WindowMessageEvent::EventType()) {
        auto* message = static_cast<WindowMessageEvent*>(event);
        WindowRegistry::Dispatch(hwnd, message->m_message, message->m_wParam, message->m_lParam);
        return true;
    }
    if (event->type() != QEvent::KeyPress || !widget->isEnabled())
        return false;
    if (!WindowRegistry::IsLive(hwnd))
        return false;
    auto* keyEvent = static_cast<QKeyEvent*>(event);
    MSG msg{hwnd, WM_KEYDOWN, VirtualKey(keyEvent), 1};
    if (PreTranslate(hwnd, &msg)) {
        keyEvent->accept();
        return true;
    }
    if (msg.wParam == VK_RETURN || msg.wParam == VK_ESCAPE) {
        DialogKey(hwnd, msg.wParam);
        keyEvent->accept();
        return true;
    }
    if (msg.wParam == VK_TAB && !(keyEvent->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
        MoveTabFocus(hwnd, keyEvent->key() == Qt::Key_Backtab || (keyEvent->modifiers() & Qt::ShiftModifier));
        keyEvent->accept();
        return true;
    }
    // Edits and combo boxes use the arrows themselves; buttons leave them to the dialog.
    WindowRecord* record = WindowRegistry::Find(hwnd);
    const bool button = record != nullptr &&
                        (record->kind == WindowKind::PushButton || record->kind == WindowKind::RadioButton);
    if (button &&
        (msg.wParam == VK_LEFT || msg.wParam == VK_UP || msg.wParam == VK_RIGHT || msg.wParam == VK_DOWN)) {
        MoveGroupFocus(hwnd, msg.wParam == VK_LEFT || msg.wParam == VK_UP);
        keyEvent->accept();
        return true;
    }
    return false;
}

void WindowWidgetDying(HWND hwnd) {
    WindowRegistry::Remove(hwnd);
}

DialogWidget::DialogWidget(HWND hwnd, QWidget* parent, Qt::WindowFlags flags)
    : QWidget(parent, flags), m_hwnd(hwnd) {}

DialogWidget::~DialogWidget() {
    WindowWidgetDying(m_hwnd);
}

void DialogWidget::SetTemplateSize(const QSize& size) {
    m_templateSize = size;
    setFixedSize(size);
}

void DialogWidget::changeEvent(QEvent* event) {
    // A maximize box without a sizing border still maximizes, as on Windows: the frame may then
    // take the screen, and returns to its own size when restored.
    if (event->type() == QEvent::WindowStateChange && m_templateSize.isValid()) {
        if (windowState() & (Qt::WindowMaximized | Qt::WindowFullScreen)) {
            setMinimumSize(m_templateSize);
            setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
            if (const QScreen* screen = this->screen())
                resize(screen->availableSize().expandedTo(m_templateSize));
        } else {
            setFixedSize(m_templateSize);
        }
    }
    QWidget::changeEvent(event);
}

bool DialogWidget::event(QEvent* event) {
    if (HandleWindowEvent(m_hwnd, this, event))
        return true;
    return QWidget::event(event);
}

void DialogWidget::closeEvent(QCloseEvent* event) {
    event->ignore();
    WindowRecord* record = WindowRegistry::Find(m_hwnd);
    if (record == nullptr || !record->dialog)
        return;
    HWND cancel = nullptr;
    auto it = record->dialog->controls.find(IDCANCEL);
    if (it != record->dialog->controls.end()) {
        cancel = it->second;
        WindowRecord* cancelRecord = WindowRegistry::Find(cancel);
        // A disabled Cancel button also disables the close box.
        if (cancelRecord != nullptr && !cancelRecord->widget->isEnabled())
            return;
    }
    WindowRegistry::Dispatch(m_hwnd, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                             reinterpret_cast<LPARAM>(cancel));
}
