# Sources of the framework's native Windows backend, in two lists: the system calls (serial line,
# port listing, text, files, module path) and the window layer (windows, dialogs, controls, message
# loop). framework/CMakeLists.txt adds both on Windows.
set(ORVANE_WIN32_SYSTEM_SOURCES
    win32/AppendOnlyFileWin32.cpp
    win32/CFileExceptionWin32.cpp
    win32/ChildProcessGroupWin32.cpp
    win32/CommApiWin32.cpp
    win32/ConsoleTerminalWin32.cpp
    win32/HostNameWin32.cpp
    win32/InterruptRequestWin32.cpp
    win32/ModulePathWin32.cpp
    win32/PortRegistryWin32.cpp
    win32/SerialPortNamesWin32.cpp
    win32/ShellQuoteWin32.cpp
    win32/TextCodecWin32.cpp
    win32/UserLanguageWin32.cpp
)

set(ORVANE_WIN32_WINDOW_SOURCES
    win32/AfxMessageBox.cpp
    win32/CButton.cpp
    win32/CComboBox.cpp
    win32/CDataExchange.cpp
    win32/CDialogEx.cpp
    win32/CEdit.cpp
    win32/CFileDialog.cpp
    win32/CProgressCtrl.cpp
    win32/CStatic.cpp
    win32/CWinApp.cpp
    win32/CWnd.cpp
    win32/ComboToolTips.cpp
    win32/DialogTemplateBlob.cpp
    win32/HeadlessApp.cpp
    win32/IconResource.cpp
    win32/MessagePump.cpp
    win32/WindowBindings.cpp
    win32/WorkAreaFit.cpp
)
