// CWinApp and the program's entry point on Windows: no toolkit to start, the dialog manager is the
// message loop.
#include "framework/CWinApp.h"

#include <string>

#include "framework/ConsoleDiagnostics.h"
#include "framework/IconResource.h"
#include "framework/StringResource.h"
#include "framework/win32/MessagePump.h"

IMPLEMENT_DYNAMIC(CWinApp, CCmdTarget)

BEGIN_MESSAGE_MAP(CWinApp, CCmdTarget)
END_MESSAGE_MAP()

namespace {

CWinApp* g_app = nullptr;

std::wstring ExecutableBaseName() {
    std::wstring path(MAX_PATH, L'\0');
    DWORD length = 0;
    while ((length = ::GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()))) ==
           path.size()) {
        path.resize(path.size() * 2);
    }
    path.resize(length);
    const size_t slash = path.find_last_of(L"\\/");
    std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
    const size_t dot = name.find_last_of(L'.');
    return dot == std::wstring::npos ? name : name.substr(0, dot);
}

}  // namespace

CWinApp::CWinApp(const wchar_t* appName) {
    if (appName != nullptr) {
        m_appName = appName;
        m_pszAppName = m_appName.GetString();
    }
    g_app = this;
}

CWinApp::~CWinApp() {
    if (g_app == this)
        g_app = nullptr;
}

BOOL CWinApp::InitInstance() {
    return TRUE;
}

int CWinApp::Run() {
    MSG msg;
    while (::GetMessageW(&msg, nullptr, 0, 0) > 0)
        MessagePump::Handle(msg);
    return ExitInstance();
}

int CWinApp::ExitInstance() {
    return 0;
}

HICON CWinApp::LoadIcon(UINT id) const {
    return AfxLoadIcon(id);
}

void CWinApp::SetRegistryKey(const wchar_t* key) {
    m_registryKey = key ? key : L"";
    m_pszRegistryKey = m_registryKey.GetString();
}

const wchar_t* CWinApp::GetAppName() const {
    if (m_pszAppName != nullptr && *m_pszAppName != 0)
        return m_pszAppName;
    if (const wchar_t* title = AfxLoadString(AFX_IDS_APP_TITLE))
        return title;
    if (m_resolvedName.IsEmpty())
        m_resolvedName = CString(ExecutableBaseName());
    return m_resolvedName.GetString();
}

CWinApp* AfxGetApp() {
    if (g_app != nullptr)
        return g_app;
    // Made once; it becomes the current application whenever no program object is alive.
    static CWinApp fallback;
    g_app = &fallback;
    return g_app;
}

CWnd* AfxGetMainWnd() {
    return g_app != nullptr ? g_app->m_pMainWnd : nullptr;
}

const wchar_t* AfxGetAppName() {
    return AfxGetApp()->GetAppName();
}

void AfxForgetMainWnd(CWnd* wnd) {
    if (g_app != nullptr && wnd != nullptr && g_app->m_pMainWnd == wnd)
        g_app->m_pMainWnd = nullptr;
}

int AfxWinMain(int, char**) {
    CWinApp* app = g_app;
    if (app == nullptr) {
        ConsoleErr(L"AfxWinMain: the program defines no application object");
        return 1;
    }
    if (app->InitInstance())
        return app->Run();
    if (app->m_pMainWnd != nullptr)
        app->m_pMainWnd->DestroyWindow();
    app->ExitInstance();
    return 0;
}
