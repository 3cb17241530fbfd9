// WindowRegistry: the table of live windows behind every HWND. A handle is a number that is never
// reused, so a stale handle simply finds nothing. Posting looks the handle up and queues the message
// under the table's lock; a window leaves the table (under the same lock) before its widget is
// freed, so a post can never reach a dead widget.
#pragma once

#include <QEvent>
#include <memory>

#include "framework/qt/WindowRecord.h"

class QWidget;

// A posted window message on its way through Qt's event queue.
class WindowMessageEvent : public QEvent {
public:
    WindowMessageEvent(UINT message, WPARAM wParam, LPARAM lParam)
        : QEvent(EventType()), m_message(message), m_wParam(wParam), m_lParam(lParam) {}
    static QEvent::Type EventType();

    UINT m_message;
    WPARAM m_wParam;
    LPARAM m_lParam;
};

class WindowRegistry {
public:
    // GUI thread. Takes the record; returns its new handle.
    static HWND Add(std::unique_ptr<WindowRecord> record);
    // GUI thread. Null when the handle names no live window.
    static WindowRecord* Find(HWND hwnd);
    static QWidget* Widget(HWND hwnd);
    // Any thread.
    static bool IsLive(HWND hwnd);
    static bool Post(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    // GUI thread. Takes the window out of the table, unbinds its wrapper and stops its timers. The
    // widget itself is not touched. Does nothing for unknown handles.
    static void Remove(HWND hwnd);
    // GUI thread. Hands the message to the bound wrapper's WindowProc; 0 when there is none.
    static LRESULT Dispatch(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
    // GUI thread. Sends WM_COMMAND with the notification `code` from a control to its dialog.
    static void Notify(HWND control, WORD code);
    // How many dispatches are running on the GUI thread right now (nested modal loops count).
    static int DispatchDepth();

    // Marks code that calls into the program's handlers (which may destroy windows) for as long as
    // the object lives.
    class DispatchScope {
    public:
        DispatchScope();
        ~DispatchScope();
        DispatchScope(const DispatchScope&) = delete;
        DispatchScope& operator=(const DispatchScope&) = delete;
    };
};
