#include "app/COrvaneApp.h"

#include "ui/Dialog_Update.h"

BEGIN_MESSAGE_MAP(COrvaneApp, CWinApp)
ON_COMMAND(ID_HELP, &CWinApp::OnHelp)
END_MESSAGE_MAP()

COrvaneApp::COrvaneApp() {
    m_dwRestartManagerSupportFlags = AFX_RESTART_MANAGER_SUPPORT_RESTART;
}

COrvaneApp::~COrvaneApp() = default;

COrvaneApp theApp;

BOOL COrvaneApp::InitInstance() {
    INITCOMMONCONTROLSEX controls;
    controls.dwSize = sizeof(controls);
    controls.dwICC = ICC_WIN95_CLASSES;
    InitCommonControlsEx(&controls);

    CWinApp::InitInstance();
    AfxEnableControlContainer();
    CShellManager* shellManager = new CShellManager;
    CMFCVisualManager::SetDefaultManager(RUNTIME_CLASS(CMFCVisualManagerWindows));
    SetRegistryKey(L"应用程序向导生成的本地应用程序");

    Dialog_Update dialog;
    m_pMainWnd = &dialog;
    dialog.DoModal();

    delete shellManager;
    return FALSE;
}
