// Helpers for GUI tests of windows built by the window layer: finding controls by ID, clicking them
// as a user would, and answering modal dialogs that the code under test opens. Linking this also
// gives the test executable its one QApplication (offscreen unless QT_QPA_PLATFORM says otherwise).
#pragma once

#include <QWidget>
#include <chrono>
#include <functional>

#include "framework/CWnd.h"

namespace gui_test {

using namespace std::chrono_literals;

constexpr std::chrono::milliseconds kDefaultTimeout = 5s;

// The first widget under `root` (or `root` itself) whose "controlId" property equals `id`.
QWidget* FindControl(QWidget* root, int id);
template <class T>
T* FindControlAs(QWidget* root, int id) {
    return qobject_cast<T*>(FindControl(root, id));
}
// The widget behind a window, or null.
QWidget* WidgetOf(const CWnd& wnd);
QWidget* WidgetOf(HWND hwnd);

// A left click in the middle of the widget, through the event system.
void Click(QWidget* widget);

// Calls `answer` with the next modal widget that appears above the one active now, from the event
// loop, so the caller can go on to open it (DoModal, AfxMessageBox, a file dialog). Fails the
// running test when none appears within `timeout`.
void AnswerNextModal(std::function<void(QWidget* modal)> answer,
                     std::chrono::milliseconds timeout = kDefaultTimeout);
// Answers the next message box by clicking its OK button; `text` and `title` receive what it showed.
void AcceptNextMessageBox(QString* text = nullptr, QString* title = nullptr);

// Processes events until `condition` holds; false on timeout. This and AnswerNextModal scale their
// limits for the build (tests/support/TestTime.h).
bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout = kDefaultTimeout);

}  // namespace gui_test
