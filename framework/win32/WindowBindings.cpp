// The table of wrapper objects bound to windows.
#include "framework/win32/WindowBindings.h"

#include <map>
#include <memory>
#include <mutex>
#include <vector>

namespace {

std::mutex g_mutex;
std::map<HWND, CWnd*> g_bound;
std::map<HWND, std::vector<std::unique_ptr<CWnd>>> g_temporary;

void Release(HWND hwnd) {
    CWnd* wnd = nullptr;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        auto it = g_bound.find(hwnd);
        if (it == g_bound.end())
            return;
        wnd = it->second;
        g_bound.erase(it);
    }
    HWND expected = hwnd;
    wnd->m_hWnd.compare_exchange_strong(expected, nullptr);
}

BOOL CALLBACK ReleaseChild(HWND child, LPARAM) {
    Release(child);
    return TRUE;
}

}  // namespace

namespace WindowBindings {

void Bind(HWND hwnd, CWnd* wnd) {
    CWnd* previous = nullptr;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        // Handles of windows destroyed behind the table's back may be reused by new windows.
        std::erase_if(g_bound, [](const auto& entry) { return !::IsWindow(entry.first); });
        CWnd*& slot = g_bound[hwnd];
        if (slot != wnd)
            previous = slot;
        slot = wnd;
    }
    if (previous != nullptr) {
        HWND expected = hwnd;
        previous->m_hWnd.compare_exchange_strong(expected, nullptr);
    }
    wnd->m_hWnd.store(hwnd, std::memory_order_release);
}

void Unbind(HWND hwnd, CWnd* wnd) {
    std::lock_guard<std::mutex> lock(g_mutex);
    auto it = g_bound.find(hwnd);
    if (it != g_bound.end() && it->second == wnd)
        g_bound.erase(it);
}

CWnd* Find(HWND hwnd) {
    std::lock_guard<std::mutex> lock(g_mutex);
    auto it = g_bound.find(hwnd);
    return it == g_bound.end() ? nullptr : it->second;
}

CWnd* TemporaryWrapper(HWND dialog, HWND control) {
    auto wrapper = std::make_unique<CWnd>();
    CWnd* result = wrapper.get();
    wrapper->Attach(control);
    std::lock_guard<std::mutex> lock(g_mutex);
    g_temporary[dialog].push_back(std::move(wrapper));
    return result;
}

void ReleaseDialog(HWND dialog) {
    ::EnumChildWindows(dialog, ReleaseChild, 0);
    Release(dialog);
    std::vector<std::unique_ptr<CWnd>> temporary;
    {
        std::lock_guard<std::mutex> lock(g_mutex);
        auto it = g_temporary.find(dialog);
        if (it != g_temporary.end()) {
            temporary = std::move(it->second);
            g_temporary.erase(it);
        }
    }
    // The wrappers unbind themselves (already released above) when freed here, outside the lock.
}

}  // namespace WindowBindings
