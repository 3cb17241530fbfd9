// CWinApp and the program's entry point over QApplication.
#include "framework/CWinApp.h"

#include <QApplication>
#include <QFileInfo>
#include <memory>

#include "framework/ConsoleDiagnostics.h"
#include "framework/IconResource.h"
#include "framework/StringResource.h"
#include "framework/ToolkitTranslations.h"

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
    return TRUE;
}

int CWinApp::Run() {
    if (QCoreApplication::instance() != nullptr)
        QCoreApplication::exec();
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
    if (m_resolvedName.IsEmpty()) {
        const QString path =
            QCoreApplication::instance() != nullptr ? QCoreApplication::applicationFilePath() : QString();
        m_resolvedName = CString(QFileInfo(path).completeBaseName().toStdWString());
    }
    return m_resolvedName.GetString();
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
    // A host that already runs the toolkit (a test, the command-line tool) keeps its application.
    int qtArgc = argc;
    std::unique_ptr<QApplication> application;
    if (QCoreApplication::instance() == nullptr)
        application = std::make_unique<QApplication>(qtArgc, argv);
    AfxLoadToolkitTranslations();
    if (app->InitInstance())
        return app->Run();
    if (app->m_pMainWnd != nullptr)
        app->m_pMainWnd->DestroyWindow();
    app->ExitInstance();
    return 0;
}
