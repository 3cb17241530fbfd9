// CFileDialog over GetOpenFileNameW / GetSaveFileNameW. The framework's filter syntax becomes the
// system's by turning each bar into a NUL; Windows then shows the explorer-style dialog of the
// running system.
#include "framework/CFileDialog.h"

#include <commdlg.h>

#include <string>

namespace {

// Long enough for any path the dialog can return.
constexpr DWORD kPathBufferLength = 32768;

std::wstring SystemFilter(const CString& filter) {
    std::wstring result = filter.Str();
    for (wchar_t& ch : result) {
        if (ch == L'|')
            ch = L'\0';
    }
    // The list ends with an empty pair; a filter without its closing bars still ends properly.
    result.append(2, L'\0');
    return result;
}

}  // namespace

INT_PTR CFileDialog::ShowSystemDialog() {
    std::wstring path(kPathBufferLength, L'\0');
    m_fileName.Str().copy(path.data(), kPathBufferLength - 1);
    const std::wstring filter = SystemFilter(m_filter);
    OPENFILENAMEW ofn{};
    ofn.lStructSize = sizeof(ofn);
    ofn.hwndOwner = m_parent != nullptr ? m_parent->GetSafeHwnd() : ::GetActiveWindow();
    ofn.lpstrFilter = m_filter.IsEmpty() ? nullptr : filter.c_str();
    ofn.nFilterIndex = 1;
    ofn.lpstrFile = path.data();
    ofn.nMaxFile = kPathBufferLength;
    ofn.lpstrDefExt = m_defExt.IsEmpty() ? nullptr : m_defExt.GetString();
    ofn.Flags = m_flags | OFN_EXPLORER;
    const BOOL chosen = m_open ? ::GetOpenFileNameW(&ofn) : ::GetSaveFileNameW(&ofn);
    if (!chosen)
        return IDCANCEL;
    m_pathName = CString(path.c_str());
    return IDOK;
}

CString CFileDialog::GetFileName() const {
    const std::wstring& path = m_pathName.Str();
    const size_t slash = path.find_last_of(L"\\/");
    return CString(slash == std::wstring::npos ? path : path.substr(slash + 1));
}
