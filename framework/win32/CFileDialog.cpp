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

// Empty when it cannot be read.
std::wstring CurrentDirectory() {
    const DWORD length = ::GetCurrentDirectoryW(0, nullptr);
    if (length == 0)
        return std::wstring();
    std::wstring directory(length, L'\0');
    const DWORD written = ::GetCurrentDirectoryW(length, directory.data());
    if (written == 0 || written >= length)
        return std::wstring();
    directory.resize(written);
    return directory;
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
    // The dialog makes the folder the user browsed to the process's current directory, and a
    // current directory on a USB stick keeps the stick from being ejected while the program runs.
    // OFN_NOCHANGEDIR does not help: it has no effect on the open dialog. So the current directory
    // is put back by hand.
    const std::wstring before = CurrentDirectory();
    const BOOL chosen = m_open ? ::GetOpenFileNameW(&ofn) : ::GetSaveFileNameW(&ofn);
    if (!before.empty())
        ::SetCurrentDirectoryW(before.c_str());
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
