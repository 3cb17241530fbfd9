// CFileDialog: the open/save file dialog. The filter is given in the framework's syntax, pairs of
// display text and patterns separated by '|' and ended by "||", for example
// "固件文件 (*.trs)|*.trs|所有文件 (*.*)|*.*||"; several patterns are separated by ';'.
#pragma once

#include "framework/CString.h"
#include "framework/CWnd.h"

class CFileDialog {
public:
    CFileDialog(BOOL openFileDialog, const wchar_t* defExt = nullptr, const wchar_t* fileName = nullptr,
                DWORD flags = 0, const wchar_t* filter = nullptr, CWnd* parent = nullptr, DWORD size = 0,
                BOOL vistaStyle = TRUE);
    CFileDialog(const CFileDialog&) = delete;
    CFileDialog& operator=(const CFileDialog&) = delete;
    virtual ~CFileDialog() = default;

    // IDOK with a path chosen, IDCANCEL otherwise.
    virtual INT_PTR DoModal();
    // The chosen file's full path; empty before DoModal or after a cancel.
    CString GetPathName() const;
    CString GetFileName() const;

private:
    // The toolkit's own dialog, once no automated answer stands in for the user.
    INT_PTR ShowSystemDialog();

    BOOL m_open;
    CString m_defExt;
    CString m_fileName;
    DWORD m_flags;
    CString m_filter;
    CWnd* m_parent;
    CString m_pathName;
};
