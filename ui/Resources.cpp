// The program's resources: dialog templates 101 (main window) and 102 (port chooser), the
// application icon (drawn in ApplicationIcon.cpp) and the string table.
#include "ui/Resources.h"

#include <mutex>

#include "framework/DialogTemplate.h"
#include "framework/StringResource.h"
#include "ui/resource.h"

namespace {

constexpr DWORD kChild = WS_CHILD | WS_VISIBLE;
constexpr DWORD kDialogStyle = WS_POPUP | WS_CAPTION | WS_SYSMENU | DS_SETFONT;
constexpr const wchar_t* kDialogFont = L"宋体";
constexpr WORD kDialogPointSize = 14;
constexpr WORD kNormalWeight = 400;

const DialogItemTemplate kMainDialogItems[] = {
    {IDC_STATIC, L"BUTTON", L"串口控制", 10, 20, 231, 71, kChild | BS_GROUPBOX, 0},
    {IDC_BTN_PORT, L"BUTTON", L"打开串口", 20, 35, 46, 17, kChild | BS_PUSHBUTTON | WS_TABSTOP, 0},
    {IDC_STATIC_PORT_STATE, L"STATIC", L"串口未打开", 73, 40, 117, 12, kChild | SS_LEFT | WS_GROUP, 0},
    {IDC_STATIC, L"STATIC", L"设备地址:", 20, 66, 45, 12, kChild | SS_LEFT | WS_GROUP, 0},
    {IDC_EDIT_ADDRESS, L"EDIT", L"", 71, 62, 46, 14, kChild | ES_LEFT | ES_NUMBER | WS_BORDER | WS_TABSTOP,
     0},
    {IDC_STATIC, L"BUTTON", L"工作模式切换", 10, 99, 231, 45, kChild | BS_GROUPBOX, 0},
    {IDC_RADIO_STANDBY, L"BUTTON", L"预备模式", 20, 118, 70, 12, kChild | BS_AUTORADIOBUTTON | WS_GROUP, 0},
    {IDC_RADIO_FIRMWARE, L"BUTTON", L"固件更新模式", 84, 118, 80, 12, kChild | BS_AUTORADIOBUTTON, 0},
    {IDC_RADIO_PROGRAM, L"BUTTON", L"程序更新模式", 168, 118, 80, 12, kChild | BS_AUTORADIOBUTTON, 0},
    {IDC_STATIC_MODE, L"STATIC", L"预备模式", 20, 173, 162, 12, kChild | SS_LEFT | WS_GROUP, 0},
    {IDC_STATIC, L"BUTTON", L"操作控制", 10, 155, 231, 71, kChild | BS_GROUPBOX, 0},
    {IDC_BTN_TEST, L"BUTTON", L"连接设备", 18, 188, 48, 18, kChild | BS_PUSHBUTTON | WS_TABSTOP, 0},
    {IDC_BTN_OPEN_FILE, L"BUTTON", L"打开文件", 71, 188, 48, 18, kChild | BS_PUSHBUTTON | WS_TABSTOP, 0},
    {IDC_BTN_START, L"BUTTON", L"开始更新", 126, 188, 48, 18, kChild | BS_PUSHBUTTON | WS_TABSTOP, 0},
    {IDC_BTN_STOP, L"BUTTON", L"更新停止", 182, 188, 48, 18, kChild | BS_PUSHBUTTON | WS_TABSTOP, 0},
    {IDC_STATIC, L"BUTTON", L"更新进度", 9, 236, 232, 103, kChild | BS_GROUPBOX, 0},
    {IDC_STATIC_PROGRESS, L"STATIC", L"更新进度: 0%", 20, 253, 240, 12, kChild | SS_LEFT | WS_GROUP, 0},
    {IDC_PROGRESS, L"msctls_progress32", L"", 20, 271, 198, 16, kChild | WS_BORDER, 0},
    {IDC_STATIC_STATE, L"STATIC", L"等待开始", 20, 293, 184, 12, kChild | SS_LEFT | WS_GROUP, 0},
    {IDC_STATIC, L"STATIC", L"波特率:", 20, 313, 40, 12, kChild | SS_LEFT | WS_GROUP, 0},
    {IDC_COMBO_BAUD, L"COMBOBOX", L"", 65, 311, 100, 60, kChild | CBS_DROPDOWNLIST | WS_VSCROLL | WS_TABSTOP,
     0},
    {IDC_EDIT_LOG, L"EDIT", L"", 260, 31, 199, 309,
     kChild | ES_MULTILINE | ES_READONLY | ES_AUTOVSCROLL | WS_VSCROLL | WS_BORDER | WS_TABSTOP,
     WS_EX_CLIENTEDGE | WS_EX_STATICEDGE},
    {IDC_STATIC, L"BUTTON", L"消息日志", 252, 16, 214, 332, kChild | BS_GROUPBOX, 0},
};

const DialogTemplate kMainDialog = {
    IDD_ORVANE_DIALOG,
    L"Orvane",
    kDialogFont,
    kDialogPointSize,
    kNormalWeight,
    0,
    0,
    480,
    365,
    kDialogStyle | WS_MINIMIZEBOX | WS_MAXIMIZEBOX,
    WS_EX_APPWINDOW,
    kMainDialogItems,
};

const DialogItemTemplate kOpenSerialItems[] = {
    {IDC_STATIC, L"STATIC", L"选择串口号:", 20, 15, 60, 12, kChild | WS_GROUP | SS_LEFT, 0},
    {IDC_COMBO_PORTS, L"COMBOBOX", L"", 85, 13, 96, 60, kChild | WS_TABSTOP | WS_VSCROLL | CBS_DROPDOWNLIST,
     0},
    {IDOK, L"BUTTON", L"确定", 70, 50, 50, 20, kChild | WS_TABSTOP | BS_DEFPUSHBUTTON, 0},
    {IDCANCEL, L"BUTTON", L"取消", 135, 50, 50, 20, kChild | WS_TABSTOP | BS_PUSHBUTTON, 0},
};

const DialogTemplate kOpenSerialDialog = {
    IDD_OPEN_SERIAL, L"打开串口", kDialogFont,      kDialogPointSize, kNormalWeight, 0, 0, 250, 90,
    kDialogStyle,    0,           kOpenSerialItems,
};

}  // namespace

void RegisterDialogResources() {
    static std::once_flag once;
    std::call_once(once, [] {
        AfxRegisterDialogTemplate(&kMainDialog);
        AfxRegisterDialogTemplate(&kOpenSerialDialog);
        AfxRegisterIcon(IDR_MAINFRAME, &DrawApplicationIcon);
        // The application's title; the code never reads it. Message boxes take the executable's
        // name, there being no title entry of the framework's own (AFX_IDS_APP_TITLE).
        AfxRegisterString(IDS_APP_TITLE, L"Orvane");
    });
}
