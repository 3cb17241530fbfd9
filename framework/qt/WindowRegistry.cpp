// The table of live windows.
#include "framework/qt/WindowRegistry.h"
#include "framework/qt/ThreadHandOver.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QWidget>
#include <mutex>
#include <unordered_map>

#include "framework/CWinApp.h"
#include "framework/WidgetAccess.h"

namespace {

std::mutex g_mutex;
std::unordered_map<uintptr_t, std::unique_ptr<WindowRecord>> g_windows;
uintptr_t g_nextHandle = 0x10;
int g_dispatchDepth = 0;

uintptr_t Key(HWND hwnd) {
    return reinterpret_cast<uintptr_t>(hwnd);
}

}  // namespace

QEvent::Type WindowMessageEvent::EventType() {
    static const QEvent::Type type = static_cast<QEvent::Type>(QEvent::registerEventType());
    return type;
}

HWND WindowRegistry::Add(std::unique_ptr<WindowRecord> record) {
    std::lock_guard<std::mutex> lock(g_mutex);
    uintptr_t key = g_nextHandle;
    g_nextHandle += 0x10;
    g_windows.emplace(key, std::move(record));
    return reinterpret_cast<HWND>(key);
}

WindowRecord* WindowRegistry::Find(HWND hwnd) {
    if (hwnd == nullptr)
        return nullptr;
    std::lock_guard<std::mutex> lock(g_mutex);
    auto it = g_windows.find(Key(hwnd));
    return it == g_windows.end() ? nullptr : it->second.get();
}

QWidget* WindowRegistry::Widget(HWND hwnd) {
    WindowRecord* record = Find(hwnd);
    return record ? record->widget : nullptr;
}

QWidget* AfxGetWidget(HWND hwnd) {
    return WindowRegistry::Widget(hwnd);
}

bool WindowRegistry::IsLive(HWND hwnd) {
    if (hwnd == nullptr)
        return false;
    std::lock_guard<std::mutex> lock(g_mutex);
    return g_windows.count(Key(hwnd)) != 0;
}

bool WindowRegistry::Post(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (hwnd == nullptr)
        return false;
    std::lock_guard<std::mutex> lock(g_mutex);
    auto it = g_windows.find(Key(hwnd));
    if (it == g_windows.end() || it->second->widget == nullptr)
        return false;
    // postEvent is thread-safe and keeps the order of events posted to one receiver.
    auto* event = new WindowMessageEvent(message, wParam, lParam);
    HandOver(event);
    QCoreApplication::postEvent(it->second->widget, event);
    return true;
}

void WindowRegistry::Remove(HWND hwnd) {
    std::unique_ptr<WindowRecord> record;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        auto it = g_windows.find(Key(hwnd));
        if (it == g_windows.end())
            return;
        record = std::move(it->second);
        g_windows.erase(it);
    }
    for (auto& [id, timer] : record->timers) {
        timer->stop();
        timer->deleteLater();
    }
    record->timers.clear();
    if (record->wnd != nullptr) {
        HWND expected = hwnd;
        record->wnd->m_hWnd.compare_exchange_strong(expected, nullptr);
        AfxForgetMainWnd(record->wnd);
    }
    if (record->dialog && record->dialog->modalLoop != nullptr)
        record->dialog->modalLoop->exit(-1);
    // Destroying the record frees the wrappers GetDlgItem handed out; they unbind themselves from
    // controls that are still in the table.
    record.reset();
}

LRESULT WindowRegistry::Dispatch(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    WindowRecord* record = Find(hwnd);
    if (record == nullptr || record->wnd == nullptr)
        return 0;
    DispatchScope scope;
    return record->wnd->WindowProc(message, wParam, lParam);
}

void WindowRegistry::Notify(HWND control, WORD code) {
    WindowRecord* record = Find(control);
    if (record == nullptr || record->parent == nullptr)
        return;
    Dispatch(record->parent, WM_COMMAND, MAKEWPARAM(static_cast<WORD>(record->controlId), code),
             reinterpret_cast<LPARAM>(control));
}

int WindowRegistry::DispatchDepth() {
    return g_dispatchDepth;
}

WindowRegistry::DispatchScope::DispatchScope() {
    ++g_dispatchDepth;
}

WindowRegistry::DispatchScope::~DispatchScope() {
    --g_dispatchDepth;
}
