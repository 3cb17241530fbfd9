// CWinApp's Windows part: no toolkit to start, the dialog manager is the message loop.
#include "framework/CWinApp.h"

#include <string>

#include "framework/ConsoleDiagnostics.h"
#include "framework/ModulePath.h"
#include "framework/win32/MessagePump.h"

int CWinApp::Run() {
    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0)
        MessagePump::Handle(msg);
    return ExitInstance();
}

CString CWinApp::ExecutableTitle() {
    CString path;
    if (!GetModuleFilePath(path))
        return CString();
    const std::wstring full(path.GetString());
    const size_t slash = full.find_last_of(L"\\/");
    const std::wstring name = slash == std::wstring::npos ? full : full.substr(slash + 1);
    const size_t dot = name.find_last_of(L'.');
    return CString(dot == std::wstring::npos ? name : name.substr(0, dot));
}

void CWinApp::RegisterWithRestartManager() {
    if (!(m_dwRestartManagerSupportFlags & AFX_RESTART_MANAGER_SUPPORT_RESTART))
        return;
    // No arguments (the program takes none) and no exclusions: restarted after an installer or
    // Windows Update closed it, and after a restart of the system. A failure changes nothing for
    // the user; it is only told on the console.
    const HRESULT result = ::RegisterApplicationRestart(nullptr, 0);
    if (FAILED(result)) {
        CString line;
        line.Format(L"RegisterApplicationRestart failed: 0x%08X", static_cast<unsigned>(result));
        ConsoleErr(line);
    }
}

int CWinApp::StartAndRun(int, char**) {
    return RunInstance();
}
