// CWinApp's Windows part: no toolkit to start, the dialog manager is the message loop.
#include "framework/CWinApp.h"

#include <string>

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

int CWinApp::StartAndRun(int, char**) {
    return RunInstance();
}
