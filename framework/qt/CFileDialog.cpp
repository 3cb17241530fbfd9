// CFileDialog over Qt's own (non-native) file dialog, so that tests can answer it. The filter's
// patterns are appended to each display text for Qt to parse and hidden again from the user, who sees
// the display texts exactly as given.
#include "framework/CFileDialog.h"

#include <QApplication>
#include <QDir>
#include <QFileDialog>
#include <QFileInfo>

#include "framework/qt/FileFilter.h"
#include "framework/qt/WindowRegistry.h"

INT_PTR CFileDialog::ShowSystemDialog() {
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr)
        return IDCANCEL;
    QWidget* owner = m_parent != nullptr ? WindowRegistry::Widget(m_parent->GetSafeHwnd()) : nullptr;
    if (owner == nullptr)
        owner = QApplication::activeModalWidget();
    QFileDialog dialog(owner);
    dialog.setOption(QFileDialog::DontUseNativeDialog, true);
    dialog.setOption(QFileDialog::HideNameFilterDetails, true);
    if (m_open) {
        dialog.setAcceptMode(QFileDialog::AcceptOpen);
        dialog.setFileMode((m_flags & OFN_FILEMUSTEXIST) ? QFileDialog::ExistingFile : QFileDialog::AnyFile);
    } else {
        dialog.setAcceptMode(QFileDialog::AcceptSave);
        dialog.setFileMode(QFileDialog::AnyFile);
        dialog.setOption(QFileDialog::DontConfirmOverwrite, (m_flags & OFN_OVERWRITEPROMPT) == 0);
    }
    const QStringList filters = TranslateFileFilter(m_filter.GetString());
    if (!filters.isEmpty())
        dialog.setNameFilters(filters);
    if (!m_defExt.IsEmpty())
        dialog.setDefaultSuffix(QString::fromStdWString(m_defExt.Str()));
    if (!m_fileName.IsEmpty())
        dialog.selectFile(QString::fromStdWString(m_fileName.Str()));
    WindowRegistry::DispatchScope scope;
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return IDCANCEL;
    const QString path = QFileInfo(dialog.selectedFiles().first()).absoluteFilePath();
    m_pathName = CString(QDir::toNativeSeparators(path).toStdWString());
    return IDOK;
}

CString CFileDialog::GetFileName() const {
    return CString(QFileInfo(QString::fromStdWString(m_pathName.Str())).fileName().toStdWString());
}
