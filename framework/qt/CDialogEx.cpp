// CDialogEx over the Qt widgets built from its template: creation, the modal loop and its end.
#include "framework/CDialogEx.h"
#include "framework/ModalAutomation.h"

#include <QEventLoop>
#include <QGuiApplication>
#include <QWidget>

#include "framework/CWinApp.h"
#include "framework/LastError.h"
#include "framework/qt/DialogBuilder.h"
#include "framework/qt/WindowRegistry.h"
#include "framework/qt/WorkAreaFit.h"

BOOL CDialogEx::CreateDialogWindow(UINT templateId, CWnd* parent) {
    if (GetSafeHwnd() != nullptr)
        return FALSE;
    const DialogTemplate* dialogTemplate = AfxFindDialogTemplate(templateId);
    if (dialogTemplate == nullptr) {
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return FALSE;
    }
    // Without an explicit parent a dialog belongs to the application's main window, as on Windows.
    CWnd* owner = parent;
    if (owner == nullptr && AfxGetMainWnd() != this)
        owner = AfxGetMainWnd();
    QWidget* ownerWidget = owner != nullptr ? WindowRegistry::Widget(owner->GetSafeHwnd()) : nullptr;
    // Laid out in a font small enough for the whole window to fit the screen, then placed on it.
    const QRect workArea = WorkAreaFit::WorkArea(ownerWidget);
    const HWND hwnd = DialogBuilder::Build(*dialogTemplate, WorkAreaFit::PointSize(*dialogTemplate, workArea),
                                           *this, ownerWidget);
    if (hwnd == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    m_nModalResult = -1;
    WorkAreaFit::Place(WindowRegistry::Widget(hwnd), ownerWidget, workArea);
    {
        WindowRegistry::DispatchScope scope;
        CDataExchange dx(this, FALSE);
        DoDataExchange(&dx);
        if (GetSafeHwnd() != nullptr)
            OnInitDialog();
    }
    return GetSafeHwnd() != nullptr;
}

BOOL CDialogEx::Create(UINT templateId, CWnd* parent) {
    if (!CreateDialogWindow(templateId, parent))
        return FALSE;
    WindowRecord* record = WindowRegistry::Find(GetSafeHwnd());
    if (record != nullptr && (record->style & WS_VISIBLE) && !record->dialog->endRequested)
        record->widget->show();
    return TRUE;
}

INT_PTR CDialogEx::DoModal() {
    if (!CreateDialogWindow(m_nIDHelp, m_pParentWnd))
        return -1;
    // A program answering its own dialogs acts now; if that ends the dialog, no loop runs.
    if (const auto& answer = AfxGetModalAnswers().dialog)
        answer(*this);
    WindowRecord* record = WindowRegistry::Find(GetSafeHwnd());
    if (record != nullptr && !record->dialog->endRequested) {
        QEventLoop loop;
        record->dialog->modalLoop = &loop;
        record->widget->setWindowModality(Qt::ApplicationModal);
        record->widget->show();
        // Headless platforms have no window stack to raise the dialog in (and say so on stderr).
        if (QGuiApplication::platformName() != QLatin1String("offscreen")) {
            record->widget->raise();
            record->widget->activateWindow();
        }
        loop.exec(QEventLoop::DialogExec);
        // The record may have gone with the window while the loop ran.
        if (WindowRecord* after = WindowRegistry::Find(GetSafeHwnd()))
            after->dialog->modalLoop = nullptr;
    }
    const int result = m_nModalResult;
    DestroyWindow();
    return result;
}

void CDialogEx::EndDialog(int result) {
    m_nModalResult = result;
    WindowRecord* record = WindowRegistry::Find(GetSafeHwnd());
    if (record == nullptr)
        return;
    record->dialog->endRequested = true;
    record->widget->hide();
    if (record->dialog->modalLoop != nullptr)
        record->dialog->modalLoop->exit(result);
}

LRESULT CDialogEx::WindowProc(UINT message, WPARAM wParam, LPARAM lParam) {
    LRESULT result = 0;
    if (OnWndMsg(message, wParam, lParam, &result))
        return result;
    // A WM_CLOSE nobody handled cancels the dialog, as the close box does.
    if (message == WM_CLOSE) {
        WindowRecord* record = WindowRegistry::Find(GetSafeHwnd());
        if (record != nullptr)
            record->widget->close();
    }
    return 0;
}
