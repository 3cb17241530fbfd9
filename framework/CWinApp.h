// CWinApp: the one application object. The program derives from it and constructs one global
// instance; AfxWinMain starts the toolkit, calls its InitInstance and ends the process when that
// returns FALSE (a dialog-based program runs its dialog inside InitInstance).
#pragma once

#include "framework/CCmdTarget.h"
#include "framework/CMFCVisualManagerWindows.h"
#include "framework/CShellManager.h"
#include "framework/CString.h"
#include "framework/CWnd.h"
#include "framework/CommCtrl.h"
#include "framework/IconResource.h"
#include "framework/WinTypes.h"

// The program may be restarted by the session manager; nothing else is restored.
constexpr DWORD AFX_RESTART_MANAGER_SUPPORT_RESTART = 0x01;

// The standard Help command.
constexpr UINT ID_HELP = 0xE146;

class CWinApp : public CCmdTarget {
    DECLARE_DYNAMIC(CWinApp)

public:
    // Without a name the application takes its title from the string table (AFX_IDS_APP_TITLE),
    // or else from the executable's name.
    explicit CWinApp(const wchar_t* appName = nullptr);
    ~CWinApp() override;

    virtual BOOL InitInstance();
    // Runs the toolkit's event loop until the application quits; only reached when InitInstance
    // returned TRUE.
    virtual int Run();
    virtual int ExitInstance();

    HICON LoadIcon(UINT id) const;
    // Remembered for the profile; the program never reads or writes profile settings.
    void SetRegistryKey(const wchar_t* key);

    // The default Help command handler; the program has no help file, so there is nothing to show.
    afx_msg void OnHelp() {}

    // The application's title, resolved as the constructor describes.
    const wchar_t* GetAppName() const;

    CWnd* m_pMainWnd = nullptr;
    DWORD m_dwRestartManagerSupportFlags = 0;
    const wchar_t* m_pszAppName = nullptr;
    const wchar_t* m_pszRegistryKey = nullptr;

protected:
    DECLARE_MESSAGE_MAP()

private:
    friend int AfxWinMain(int argc, char** argv);

    // The executable's file name without its folder and extension; the last fallback for the
    // title.
    static CString ExecutableTitle();
    // Asks the system to start the program again after it was closed for an update or a restart,
    // when m_dwRestartManagerSupportFlags says the program supports that (Windows' restart manager;
    // nothing to do elsewhere). Called from InitInstance, as the flags are set by then.
    void RegisterWithRestartManager();
    // Starts what the toolkit needs around RunInstance and returns its exit code.
    int StartAndRun(int argc, char** argv);
    // InitInstance, then the event loop or, when InitInstance declined, the clean-up.
    int RunInstance();

    CString m_appName;
    CString m_registryKey;
    mutable CString m_resolvedName;
};

// The application object. Code that runs without one (tests, tools) gets a default object, so the
// usual AfxGetApp()->LoadIcon(...) never dereferences null.
CWinApp* AfxGetApp();
CWnd* AfxGetMainWnd();
const wchar_t* AfxGetAppName();

// The program's entry point: `int main(int argc, char** argv) { return AfxWinMain(argc, argv); }`.
int AfxWinMain(int argc, char** argv);

// Control containment needs no preparation here; kept so start-up code reads as usual.
inline void AfxEnableControlContainer() {}

// Clears m_pMainWnd when it names `wnd`; the window layer calls it when a window goes away.
void AfxForgetMainWnd(CWnd* wnd);
