// CFileDialog's toolkit-neutral part: the remembered arguments and the automated answer that
// stands in for the user; the dialog itself lives in the backend files.
#include "framework/CFileDialog.h"

#include "framework/ModalAutomation.h"

CFileDialog::CFileDialog(BOOL openFileDialog, const wchar_t* defExt, const wchar_t* fileName, DWORD flags,
                         const wchar_t* filter, CWnd* parent, DWORD, BOOL)
    : m_open(openFileDialog),
      m_defExt(defExt),
      m_fileName(fileName),
      m_flags(flags),
      m_filter(filter),
      m_parent(parent) {}

INT_PTR CFileDialog::DoModal() {
    m_pathName.Empty();
    if (const auto& answer = AfxGetModalAnswers().openFile) {
        CString path;
        if (!answer(path))
            return IDCANCEL;
        m_pathName = path;
        return IDOK;
    }
    return ShowSystemDialog();
}

CString CFileDialog::GetPathName() const {
    return m_pathName;
}
