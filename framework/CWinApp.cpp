// CWinApp's toolkit-neutral part: the application object's registration, its title and the entry
// point's checks. Starting the toolkit and the event loop live in the backend files.
#include "framework/CWinApp.h"

#include "framework/ConsoleDiagnostics.h"
#include "framework/IconResource.h"
#include "framework/StringResource.h"

IMPLEMENT_DYNAMIC(CWinApp, CCmdTarget)

BEGIN_MESSAGE_MAP(CWinApp, CCmdTarget)
END_MESSAGE_MAP()

namespace {

CWinApp* g_app = nullptr;

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
    RegisterWithRestartManager();
    return TRUE;
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
        m_resolvedName = ExecutableTitle();
    return m_resolvedName.GetString();
}

int CWinApp::RunInstance() {
    if (InitInstance())
        return Run();
    if (m_pMainWnd != nullptr)
        m_pMainWnd->DestroyWindow();
    ExitInstance();
    return 0;
}

CWinApp* AfxGetApp() {
    if (g_app != nullptr)
        return g_app;
    // Made once; it becomes the current application whenever no program object is alive, so the
    // main-window pointer it holds is also the one the window layer clears.
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

int AfxWinMain(int argc, char** argv) {
    CWinApp* app = g_app;
    if (app == nullptr) {
        ConsoleErr(L"AfxWinMain: the program defines no application object");
        return 1;
    }
    return app->StartAndRun(argc, argv);
}
