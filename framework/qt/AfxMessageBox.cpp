// AfxMessageBox over QMessageBox.
#include "framework/AfxMessageBox.h"
#include "framework/ModalAutomation.h"

#include <QApplication>
#include <QMessageBox>

#include "framework/CWinApp.h"
#include "framework/qt/WindowRegistry.h"

int AfxMessageBox(const wchar_t* text, UINT type) {
    if (const auto& answer = AfxGetModalAnswers().messageBox) {
        answer(CString(text));
        return IDOK;
    }
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr)
        return 0;
    QMessageBox::Icon icon = QMessageBox::Warning;
    switch (type & MB_ICONMASK) {
        case MB_ICONERROR:
            icon = QMessageBox::Critical;
            break;
        case MB_ICONQUESTION:
            icon = QMessageBox::Question;
            break;
        case MB_ICONINFORMATION:
            icon = QMessageBox::Information;
            break;
        default:
            break;
    }
    // The box sits above whichever window the user is working in.
    QWidget* owner = QApplication::activeModalWidget();
    if (owner == nullptr) {
        if (CWnd* main = AfxGetMainWnd())
            owner = WindowRegistry::Widget(main->GetSafeHwnd());
    }
    QMessageBox box(icon, QString::fromWCharArray(AfxGetAppName()),
                    QString::fromWCharArray(text ? text : L""), QMessageBox::Ok, owner);
    box.setTextFormat(Qt::PlainText);
    box.setEscapeButton(QMessageBox::Ok);
    WindowRegistry::DispatchScope scope;
    box.exec();
    return IDOK;
}
