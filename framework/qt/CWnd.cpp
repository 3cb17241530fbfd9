// CWnd over the window registry: every operation looks its window up by handle, so a wrapper whose
// window is gone (or never existed) finds nothing and does nothing.
#include "framework/CWnd.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QGroupBox>
#include <QIcon>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <QTimer>
#include <QWidget>
#include <algorithm>
#include <cmath>

#include "framework/CWinApp.h"
#include "framework/IconResource.h"
#include "framework/LastError.h"
#include "framework/qt/EditControl.h"
#include "framework/qt/WindowRegistry.h"

namespace {

QString ToQString(const wchar_t* text) {
    return QString::fromWCharArray(text ? text : L"");
}

void AddIconImages(QIcon& icon, HICON handle) {
    for (const IconImage& image : AfxGetIconImages(handle)) {
        if (image.size <= 0 || image.argb.size() != static_cast<size_t>(image.size) * image.size)
            continue;
        QImage picture(image.size, image.size, QImage::Format_ARGB32);
        for (int y = 0; y < image.size; ++y) {
            std::copy_n(image.argb.data() + static_cast<size_t>(y) * image.size, image.size,
                        reinterpret_cast<uint32_t*>(picture.scanLine(y)));
        }
        icon.addPixmap(QPixmap::fromImage(picture));
    }
}

}  // namespace

void CWnd::SetWindowText(const wchar_t* text) {
    WindowRecord* record = WindowRegistry::Find(GetSafeHwnd());
    if (record == nullptr)
        return;
    switch (record->kind) {
        case WindowKind::Dialog:
            record->widget->setWindowTitle(ToQString(text));
            break;
        case WindowKind::PushButton:
        case WindowKind::RadioButton:
            static_cast<QAbstractButton*>(record->widget)->setText(ToQString(text));
            break;
        case WindowKind::GroupBox:
            static_cast<QGroupBox*>(record->widget)->setTitle(ToQString(text));
            break;
        case WindowKind::Static:
            static_cast<QLabel*>(record->widget)->setText(ToQString(text));
            break;
        case WindowKind::Edit:
            static_cast<QLineEdit*>(record->widget)->setText(ToQString(text));
            // Setting an edit's text notifies its dialog even when the text is unchanged.
            WindowRegistry::Notify(GetSafeHwnd(), EN_CHANGE);
            break;
        case WindowKind::MultiLineEdit:
            EditControl::SetText(*record, text ? text : L"");
            WindowRegistry::Notify(GetSafeHwnd(), EN_CHANGE);
            break;
        case WindowKind::ComboBox:
        case WindowKind::Progress:
            break;
    }
}

void CWnd::GetWindowText(CString& text) const {
    text.Empty();
    WindowRecord* record = WindowRegistry::Find(GetSafeHwnd());
    if (record == nullptr)
        return;
    QString value;
    switch (record->kind) {
        case WindowKind::Dialog:
            value = record->widget->windowTitle();
            break;
        case WindowKind::PushButton:
        case WindowKind::RadioButton:
            value = static_cast<QAbstractButton*>(record->widget)->text();
            break;
        case WindowKind::GroupBox:
            value = static_cast<QGroupBox*>(record->widget)->title();
            break;
        case WindowKind::Static:
            value = static_cast<QLabel*>(record->widget)->text();
            break;
        case WindowKind::Edit:
            value = static_cast<QLineEdit*>(record->widget)->text();
            break;
        case WindowKind::MultiLineEdit:
            text = CString(record->edit.text);
            return;
        case WindowKind::ComboBox: {
            auto* combo = static_cast<QComboBox*>(record->widget);
            if (combo->currentIndex() >= 0)
                value = combo->currentText();
            break;
        }
        case WindowKind::Progress:
            break;
    }
    text = CString(value.toStdWString());
}

int CWnd::GetWindowTextLength() const {
    CString text;
    GetWindowText(text);
    return text.GetLength();
}

BOOL CWnd::EnableWindow(BOOL enable) {
    WindowRecord* record = WindowRegistry::Find(GetSafeHwnd());
    if (record == nullptr)
        return FALSE;
    const bool wasDisabled = record->widget->testAttribute(Qt::WA_ForceDisabled);
    record->widget->setEnabled(enable != FALSE);
    return wasDisabled ? TRUE : FALSE;
}

BOOL CWnd::IsWindowEnabled() const {
    WindowRecord* record = WindowRegistry::Find(GetSafeHwnd());
    return record != nullptr && !record->widget->testAttribute(Qt::WA_ForceDisabled) ? TRUE : FALSE;
}

BOOL CWnd::ShowWindow(int cmdShow) {
    WindowRecord* record = WindowRegistry::Find(GetSafeHwnd());
    if (record == nullptr)
        return FALSE;
    const bool wasVisible = record->widget->isVisible();
    record->widget->setVisible(cmdShow != SW_HIDE);
    return wasVisible ? TRUE : FALSE;
}

BOOL CWnd::IsWindowVisible() const {
    WindowRecord* record = WindowRegistry::Find(GetSafeHwnd());
    return record != nullptr && record->widget->isVisible() ? TRUE : FALSE;
}

CWnd* CWnd::GetDlgItem(int id) const {
    WindowRecord* record = WindowRegistry::Find(GetSafeHwnd());
    if (record == nullptr || !record->dialog)
        return nullptr;
    auto it = record->dialog->controls.find(id);
    if (it == record->dialog->controls.end())
        return nullptr;
    WindowRecord* control = WindowRegistry::Find(it->second);
    if (control == nullptr)
        return nullptr;
    if (control->wnd != nullptr)
        return control->wnd;
    auto wrapper = std::make_unique<CWnd>();
    wrapper->Attach(it->second);
    record->dialog->tempWraps.push_back(std::move(wrapper));
    return record->dialog->tempWraps.back().get();
}

int CWnd::GetDlgCtrlID() const {
    WindowRecord* record = WindowRegistry::Find(GetSafeHwnd());
    return record != nullptr && record->kind != WindowKind::Dialog ? record->controlId : 0;
}

UINT_PTR CWnd::SetTimer(UINT_PTR id, UINT elapseMs, void*) {
    const HWND hwnd = GetSafeHwnd();
    WindowRecord* record = WindowRegistry::Find(hwnd);
    if (record == nullptr)
        return 0;
    QTimer*& timer = record->timers[id];
    if (timer == nullptr) {
        timer = new QTimer(record->widget);
        timer->setTimerType(Qt::PreciseTimer);
        QObject::connect(timer, &QTimer::timeout, timer, [hwnd, id] {
            WindowRegistry::Dispatch(hwnd, WM_TIMER, static_cast<WPARAM>(id), 0);
        });
    }
    const double scaled = std::llround(static_cast<double>(elapseMs) * AfxGetTimerScale());
    timer->start(static_cast<int>(std::clamp(scaled, 1.0, 2147483647.0)));
    return id;
}

BOOL CWnd::KillTimer(UINT_PTR id) {
    WindowRecord* record = WindowRegistry::Find(GetSafeHwnd());
    if (record == nullptr)
        return FALSE;
    auto it = record->timers.find(id);
    if (it == record->timers.end())
        return FALSE;
    // The handler of this very timer may be the caller, so the timer is deleted later.
    it->second->stop();
    it->second->deleteLater();
    record->timers.erase(it);
    return TRUE;
}

HICON CWnd::SetIcon(HICON icon, BOOL bigIcon) {
    WindowRecord* record = WindowRegistry::Find(GetSafeHwnd());
    if (record == nullptr)
        return nullptr;
    HICON& slot = bigIcon ? record->bigIcon : record->smallIcon;
    HICON previous = slot;
    slot = icon;
    QIcon combined;
    AddIconImages(combined, record->bigIcon);
    if (record->smallIcon != record->bigIcon)
        AddIconImages(combined, record->smallIcon);
    record->widget->setWindowIcon(combined);
    return previous;
}

HICON CWnd::GetIcon(BOOL bigIcon) const {
    WindowRecord* record = WindowRegistry::Find(GetSafeHwnd());
    if (record == nullptr)
        return nullptr;
    return bigIcon ? record->bigIcon : record->smallIcon;
}

BOOL CWnd::PostMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    return PostMessageW(GetSafeHwnd(), message, wParam, lParam);
}

LRESULT CWnd::SendMessage(UINT message, WPARAM wParam, LPARAM lParam) {
    return WindowRegistry::Dispatch(GetSafeHwnd(), message, wParam, lParam);
}

BOOL CWnd::DestroyWindow() {
    const HWND hwnd = GetSafeHwnd();
    WindowRecord* record = WindowRegistry::Find(hwnd);
    if (record == nullptr)
        return FALSE;
    QWidget* widget = record->widget;
    std::vector<HWND> controls;
    if (record->dialog) {
        for (const auto& [id, control] : record->dialog->controls)
            controls.push_back(control);
    } else if (WindowRecord* parent = WindowRegistry::Find(record->parent); parent && parent->dialog) {
        std::erase_if(parent->dialog->controls, [hwnd](const auto& entry) { return entry.second == hwnd; });
    }
    WindowRegistry::Remove(hwnd);
    for (HWND control : controls)
        WindowRegistry::Remove(control);
    // A handler of this window may still be running below us; its widget must outlive it.
    if (WindowRegistry::DispatchDepth() > 0) {
        widget->hide();
        widget->deleteLater();
    } else {
        delete widget;
    }
    return TRUE;
}

BOOL CWnd::Attach(HWND hwnd) {
    if (GetSafeHwnd() != nullptr)
        return FALSE;
    WindowRecord* record = WindowRegistry::Find(hwnd);
    if (record == nullptr)
        return FALSE;
    if (record->wnd != nullptr && record->wnd != this)
        record->wnd->m_hWnd.store(nullptr, std::memory_order_release);
    record->wnd = this;
    m_hWnd.store(hwnd, std::memory_order_release);
    return TRUE;
}

HWND CWnd::Detach() {
    const HWND hwnd = m_hWnd.exchange(nullptr, std::memory_order_acq_rel);
    if (WindowRecord* record = WindowRegistry::Find(hwnd); record != nullptr && record->wnd == this) {
        record->wnd = nullptr;
    }
    return hwnd;
}

BOOL IsWindow(HWND hwnd) {
    return WindowRegistry::IsLive(hwnd) ? TRUE : FALSE;
}

BOOL PostMessageW(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (!WindowRegistry::Post(hwnd, message, wParam, lParam)) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    return TRUE;
}
