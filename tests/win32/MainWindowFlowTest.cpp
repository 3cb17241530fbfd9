// The main window as Windows builds it, on a real display, driven through the messages a user's
// clicks produce (BM_CLICK, CB_SETCURSEL with its CBN_SELCHANGE, WM_SETTEXT into the file dialog) and
// read back through WM_GETTEXT and the controls' own queries. The device is the simulator on the
// COM port named by ORVANE_TEST_COM; what it received is read from ORVANE_TEST_SAVE, the file its
// --save option writes. With ORVANE_SCREENSHOT_DIR set, the test asks for a picture of the screen at
// two moments (see RequestScreenshot) and waits until it has been taken.
#include <gtest/gtest.h>

#include <chrono>
#include <cstdlib>
#include <deque>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

#include "framework/CommCtrl.h"
#include "framework/HeadlessApp.h"
#include "framework/ModalAutomation.h"
#include "tests/support/Dialog_UpdateTestAccess.h"
#include "tests/support/PatternBytes.h"
#include "ui/Dialog_Update.h"
#include "ui/resource.h"
#include "update/FirmwareFile.h"

namespace {

using namespace std::chrono_literals;

// Limits of the waits for what must happen; polled, so generous costs nothing when all is well.
constexpr auto kModalAppears = 10s;
constexpr auto kDeviceAnswers = 10s;  // beyond the window's own 3 s time-out of the connection test
constexpr auto kDeviceSaves = 30s;
constexpr auto kTransferEnds = 60s;
constexpr auto kScreenshotTaken = 20s;
constexpr UINT kAnswerPeriodMs = 50;
// The file name box of the explorer-style open dialog, and of the older one.
constexpr int kFileNameCombo = 0x47C;
constexpr int kFileNameEdit = 0x480;
// The text of a message box.
constexpr int kMessageBoxText = 0xFFFF;

std::wstring Environment(const wchar_t* name) {
    const wchar_t* value = _wgetenv(name);
    return value != nullptr ? value : L"";
}

std::wstring WindowText(HWND hwnd) {
    std::wstring text(static_cast<size_t>(::SendMessageW(hwnd, WM_GETTEXTLENGTH, 0, 0)) + 1, L'\0');
    const LRESULT copied =
        ::SendMessageW(hwnd, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    text.resize(static_cast<size_t>(copied));
    return text;
}

std::vector<uint8_t> ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteFile(const std::filesystem::path& path, const std::vector<uint8_t>& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

// A modal window opened by the code under test runs the dialog manager's own loop, which dispatches
// thread timers like any message: the answer is tried on each tick until its window is there.
// Several answers wait in turn, for windows that open one after the other.
std::deque<std::function<bool()>> g_answers;

void CALLBACK AnswerTick(HWND, UINT, UINT_PTR id, DWORD) {
    if (!g_answers.empty() && g_answers.front()())
        g_answers.pop_front();
    if (g_answers.empty())
        ::KillTimer(nullptr, id);
}

// The visible dialog of this thread other than `except`, titled `title` when that is given.
HWND FindDialog(HWND except, const wchar_t* title) {
    struct Search {
        HWND except;
        const wchar_t* title;
        HWND found;
    } search{except, title, nullptr};
    ::EnumThreadWindows(
        ::GetCurrentThreadId(),
        [](HWND hwnd, LPARAM param) -> BOOL {
            auto* s = reinterpret_cast<Search*>(param);
            wchar_t className[16] = {};
            ::GetClassNameW(hwnd, className, 16);
            if (hwnd == s->except || !::IsWindowVisible(hwnd) || std::wstring(className) != L"#32770")
                return TRUE;
            if (s->title != nullptr && WindowText(hwnd) != s->title)
                return TRUE;
            s->found = hwnd;
            return FALSE;
        },
        reinterpret_cast<LPARAM>(&search));
    return search.found;
}

class MainWindowFlow : public testing::Test {
protected:
    static void SetUpTestSuite() {
        INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES};
        ::InitCommonControlsEx(&controls);
    }

    void SetUp() override {
        m_port = _wtoi(Environment(L"ORVANE_TEST_COM").c_str());
        ASSERT_GT(m_port, 0) << "ORVANE_TEST_COM names the simulator's port";
        m_saved = Environment(L"ORVANE_TEST_SAVE");
        m_folder = std::filesystem::temp_directory_path() / L"orvane 窗口测试";
        std::filesystem::create_directories(m_folder);
        ASSERT_TRUE(m_dialog.Create());
        m_window = m_dialog.GetSafeHwnd();
        ::ShowWindow(m_window, SW_SHOW);
        ::SetForegroundWindow(m_window);
        m_dialog.m_debugLogEnabled = true;
        OpenPortThroughChooser();
    }

    void TearDown() override {
        if (Inside(m_dialog).m_portOpen) {
            Click(IDC_BTN_PORT);
            EXPECT_TRUE(LogHas(L"串口已关闭"));
        }
        m_dialog.DestroyWindow();
        // An answer whose window never came must not act on the next test's windows.
        EXPECT_TRUE(g_answers.empty());
        g_answers.clear();
    }

    HWND Control(int id) const { return ::GetDlgItem(m_window, id); }
    std::wstring Text(int id) const { return WindowText(Control(id)); }
    bool Enabled(int id) const { return ::IsWindowEnabled(Control(id)) != FALSE; }
    void Click(int id) { ::SendMessageW(Control(id), BM_CLICK, 0, 0); }
    bool LogHas(const std::wstring& line) const {
        return (L"\r\n" + Text(IDC_EDIT_LOG) + L"\r\n").find(L"\r\n" + line + L"\r\n") != std::wstring::npos;
    }
    testing::AssertionResult WaitForLog(const std::wstring& line, std::chrono::milliseconds timeout) {
        if (AfxPumpMessagesUntil([&] { return LogHas(line); }, timeout))
            return testing::AssertionSuccess();
        return testing::AssertionFailure() << "the log does not show the line; it reads:\n"
                                           << CString(Text(IDC_EDIT_LOG)).ToUtf8();
    }

    void Answer(std::function<bool()> answer) {
        if (g_answers.empty())
            ::SetTimer(nullptr, 0, kAnswerPeriodMs, AnswerTick);
        g_answers.push_back(std::move(answer));
    }

    // Queues the answer to the port chooser: `port` if it is listed, else Cancel.
    void AnswerChooser(int port, bool& offered, bool& answered) {
        const std::wstring wanted = L"COM" + std::to_wstring(port);
        Answer([this, wanted, &offered, &answered] {
            const HWND chooser = FindDialog(m_window, L"打开串口");
            if (chooser == nullptr)
                return false;
            const HWND combo = ::GetDlgItem(chooser, IDC_COMBO_PORTS);
            const int count = static_cast<int>(::SendMessageW(combo, CB_GETCOUNT, 0, 0));
            for (int i = 0; i < count; ++i) {
                wchar_t item[32] = {};
                ::SendMessageW(combo, CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(item));
                if (wanted == item) {
                    ::SendMessageW(combo, CB_SETCURSEL, i, 0);
                    offered = true;
                }
            }
            ::SendMessageW(::GetDlgItem(chooser, offered ? IDOK : IDCANCEL), BM_CLICK, 0, 0);
            answered = true;
            return true;
        });
    }

    void OpenPortThroughChooser() {
        const std::wstring wanted = L"COM" + std::to_wstring(m_port);
        bool offered = false;
        bool answered = false;
        AnswerChooser(m_port, offered, answered);
        Click(IDC_BTN_PORT);  // returns once the chooser has closed
        ASSERT_TRUE(answered) << "no port chooser appeared";
        ASSERT_TRUE(offered) << "the chooser does not list the simulator's port";
        ASSERT_TRUE(Inside(m_dialog).m_portOpen);
        EXPECT_TRUE(LogHas(L"串口已打开: " + wanted));
        EXPECT_EQ(Text(IDC_BTN_PORT), L"关闭串口");
        EXPECT_EQ(Text(IDC_STATIC_PORT_STATE), L"串口已打开");
        EXPECT_TRUE(Enabled(IDC_RADIO_FIRMWARE));
        EXPECT_TRUE(Enabled(IDC_BTN_TEST));
    }

    // Picks `path` in the system's open dialog, which the open-file button runs.
    void OpenFileThroughDialog(const std::filesystem::path& path) {
        bool answered = false;
        Answer([&] {
            const HWND dialog = FindDialog(m_window, nullptr);
            if (dialog == nullptr)
                return false;
            HWND name = ::GetDlgItem(dialog, kFileNameCombo);
            if (name == nullptr)
                name = ::GetDlgItem(dialog, kFileNameEdit);
            if (name == nullptr)
                return false;
            ::SetWindowTextW(name, path.wstring().c_str());
            ::SendMessageW(::GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
            answered = true;
            return true;
        });
        const std::filesystem::path before = std::filesystem::current_path();
        Click(IDC_BTN_OPEN_FILE);
        ASSERT_TRUE(answered) << "no open dialog appeared";
        // The folder the file came from must not stay the current directory: Windows would keep it
        // open, and the USB stick it is on could not be ejected.
        EXPECT_EQ(std::filesystem::current_path(), before);
    }

    void ChooseBaud(int index) {
        const HWND combo = Control(IDC_COMBO_BAUD);
        ::SendMessageW(combo, CB_SETCURSEL, index, 0);
        ::SendMessageW(m_window, WM_COMMAND, MAKEWPARAM(IDC_COMBO_BAUD, CBN_SELCHANGE),
                       reinterpret_cast<LPARAM>(combo));
    }

    int Progress() const { return static_cast<int>(::SendMessageW(Control(IDC_PROGRESS), PBM_GETPOS, 0, 0)); }

    // The device keeps what it received in the save file once the transfer is over on its side.
    void ExpectDeviceReceived(const std::vector<uint8_t>& payload) {
        ASSERT_FALSE(m_saved.empty()) << "ORVANE_TEST_SAVE names the simulator's save file";
        const bool arrived = AfxPumpMessagesUntil([&] { return ReadFile(m_saved) == payload; }, kDeviceSaves);
        EXPECT_TRUE(arrived) << "the device's copy differs from the file sent";
    }

    // Writes "<name>.request" holding the window's screen rectangle into the screenshot folder and
    // keeps the window alive until the script that watches the folder has taken the picture and
    // removed the request.
    void RequestScreenshot(const wchar_t* name) {
        const std::wstring folder = Environment(L"ORVANE_SCREENSHOT_DIR");
        if (folder.empty())
            return;
        ::UpdateWindow(m_window);
        RECT frame{};
        ::GetWindowRect(m_window, &frame);
        const std::filesystem::path request =
            std::filesystem::path(folder) / (std::wstring(name) + L".request");
        std::ofstream(request) << frame.left << ' ' << frame.top << ' ' << frame.right - frame.left << ' '
                               << frame.bottom - frame.top << '\n';
        EXPECT_TRUE(AfxPumpMessagesUntil([&] { return !std::filesystem::exists(request); }, kScreenshotTaken))
            << "nobody took the screenshot " << request;
    }

    Dialog_Update m_dialog;
    HWND m_window = nullptr;
    int m_port = 0;
    std::filesystem::path m_saved;
    std::filesystem::path m_folder;
};

TEST_F(MainWindowFlow, ConnectionTestGetsTheModel) {
    RequestScreenshot(L"windows-main");
    // Text set into the address box reaches the dialog as EN_CHANGE, as typing does; the command-line
    // tool sets the address this way.
    ::SetWindowTextW(Control(IDC_EDIT_ADDRESS), L"256");
    EXPECT_EQ(Inside(m_dialog).m_protocol.address, 1);
    ::SetWindowTextW(Control(IDC_EDIT_ADDRESS), L"7");
    EXPECT_EQ(Inside(m_dialog).m_protocol.address, 7);
    ::SetWindowTextW(Control(IDC_EDIT_ADDRESS), L"1");
    Click(IDC_BTN_TEST);
    EXPECT_TRUE(LogHas(L"发送设备查询"));
    EXPECT_TRUE(LogHas(L"DEBUG：发送报文: 01 69 00 65 00 00 4D DC "));
    ASSERT_TRUE(WaitForLog(L"收到设备回应报文", kDeviceAnswers));
    EXPECT_NE(Text(IDC_EDIT_LOG).find(L"\r\nDEBUG：设备型号: "), std::wstring::npos);
    EXPECT_EQ(Text(IDC_BTN_TEST), L"测试连接");
    EXPECT_TRUE(Enabled(IDC_BTN_TEST));
    EXPECT_FALSE(Inside(m_dialog).m_testing);
}

TEST_F(MainWindowFlow, FirmwareUpdateAtHighSpeed) {
    const auto payload = PatternBytes(2345, 9);
    std::vector<uint8_t> image;
    // An image without a chip model is taken by any device, whatever model the simulator plays.
    ASSERT_TRUE(BuildFirmwareImage(payload.data(), static_cast<uint32_t>(payload.size()), "", image));
    WriteFile(m_folder / L"固件.trs", image);

    Click(IDC_RADIO_FIRMWARE);
    EXPECT_TRUE(LogHas(L"切换到固件更新模式"));
    EXPECT_EQ(Text(IDC_STATIC_MODE), L"固件更新模式");
    EXPECT_TRUE(Enabled(IDC_COMBO_BAUD));
    ChooseBaud(1);
    EXPECT_EQ(Inside(m_dialog).m_baudIndex, 1);
    OpenFileThroughDialog(m_folder / L"固件.trs");
    ASSERT_TRUE(LogHas(L"固件文件加载成功"));
    EXPECT_TRUE(LogHas(L"  文件名: " + (m_folder / L"固件.trs").wstring()));
    Click(IDC_BTN_START);
    EXPECT_TRUE(LogHas(L"波特率: 115200"));
    EXPECT_TRUE(LogHas(L"等待..."));
    EXPECT_TRUE(Enabled(IDC_BTN_STOP));
    EXPECT_FALSE(Enabled(IDC_BTN_PORT));
    EXPECT_FALSE(Enabled(IDC_RADIO_PROGRAM));
    ASSERT_TRUE(WaitForLog(L"更新完成！", kTransferEnds));
    EXPECT_TRUE(LogHas(L"切换到115200成功"));
    EXPECT_TRUE(LogHas(L"恢复波特率到9600"));
    EXPECT_EQ(Progress(), 100);
    EXPECT_EQ(Text(IDC_STATIC_PROGRESS), L"更新进度: 100%");
    EXPECT_EQ(Text(IDC_STATIC_STATE), L"更新完成");
    ExpectDeviceReceived(payload);
}

TEST_F(MainWindowFlow, ProgramUpdateThenAStoppedOne) {
    const auto program = PatternBytes(1234, 3);
    WriteFile(m_folder / L"程序.tr3", program);
    Click(IDC_RADIO_PROGRAM);
    EXPECT_FALSE(Enabled(IDC_COMBO_BAUD));
    OpenFileThroughDialog(m_folder / L"程序.tr3");
    ASSERT_TRUE(LogHas(L"程序文件加载成功"));
    EXPECT_TRUE(LogHas(L"DEBUG：  总块数: 25"));
    Click(IDC_BTN_START);
    EXPECT_TRUE(LogHas(L"开始程序更新"));
    ASSERT_TRUE(WaitForLog(L"更新完成！", kTransferEnds));
    EXPECT_EQ(Progress(), 100);
    EXPECT_FALSE(Enabled(IDC_BTN_START));  // the engine must be chosen again
    ExpectDeviceReceived(program);

    // A long transfer, stopped part way: the window is back to idle at once and keeps the progress
    // of its last poll.
    WriteFile(m_folder / L"长程序.tr3", PatternBytes(100000, 5));
    OpenFileThroughDialog(m_folder / L"长程序.tr3");
    ASSERT_TRUE(Enabled(IDC_BTN_START));
    Click(IDC_BTN_START);
    // The bar still shows the last transfer's 100 % until the first poll of this one.
    ASSERT_TRUE(AfxPumpMessagesUntil([&] { return Progress() >= 2 && Progress() < 50; }, kTransferEnds));
    RequestScreenshot(L"windows-updating");
    Click(IDC_BTN_STOP);
    EXPECT_TRUE(LogHas(L"警告：更新中断，设备需重启"));
    EXPECT_FALSE(Inside(m_dialog).m_updating);
    EXPECT_FALSE(Enabled(IDC_BTN_STOP));
    EXPECT_TRUE(Enabled(IDC_BTN_START));
    EXPECT_TRUE(Enabled(IDC_BTN_PORT));
    EXPECT_GE(Progress(), 2);
    EXPECT_LT(Progress(), 100);
}

// Needs a device that hangs up part way (the simulator's --hangup-at): scripts/test-windows.sh runs
// it alone against such a device. The loss is logged at once with the system's error code, the
// update ends as failed and the port is closed, so that it can be opened again.
TEST_F(MainWindowFlow, LostLineEndsTheUpdateAndClosesThePort) {
    WriteFile(m_folder / L"断线.tr3", PatternBytes(20000, 6));
    Click(IDC_RADIO_PROGRAM);
    OpenFileThroughDialog(m_folder / L"断线.tr3");
    ASSERT_TRUE(Enabled(IDC_BTN_START));
    Click(IDC_BTN_START);
    ASSERT_TRUE(AfxPumpMessagesUntil([&] { return !Inside(m_dialog).m_portOpen; }, kTransferEnds))
        << CString(Text(IDC_EDIT_LOG)).ToUtf8();
    const std::wstring log = Text(IDC_EDIT_LOG);
    EXPECT_NE(log.find(L"错误：串口连接已断开，错误码："), std::wstring::npos) << CString(log).ToUtf8();
    EXPECT_TRUE(LogHas(L"错误：程序更新已停止"));
    EXPECT_FALSE(Inside(m_dialog).m_updating);
    EXPECT_EQ(Text(IDC_STATIC_PORT_STATE), L"串口未打开");
    EXPECT_EQ(Text(IDC_BTN_PORT), L"打开串口");
    EXPECT_TRUE(Enabled(IDC_BTN_PORT));
    EXPECT_FALSE(Enabled(IDC_BTN_STOP));
    EXPECT_LT(Progress(), 100);
}

TEST_F(MainWindowFlow, RefusedFileLeavesStartDisabled) {
    WriteFile(m_folder / L"坏固件.trs", PatternBytes(300, 4));  // no valid header
    Click(IDC_RADIO_FIRMWARE);
    OpenFileThroughDialog(m_folder / L"坏固件.trs");
    EXPECT_TRUE(LogHas(L"警告：文件加载失败"));
    EXPECT_EQ(Inside(m_dialog).m_currentUpdate, nullptr);
    EXPECT_FALSE(Enabled(IDC_BTN_START));
    EXPECT_TRUE(Enabled(IDC_BTN_OPEN_FILE));
}

// A port the system lists but cannot open (ORVANE_TEST_DEAD_COM: the script maps it to a device that
// is not there) ends in a message box and the same line in the log, with the port still closed.
TEST_F(MainWindowFlow, PortThatCannotOpenIsReportedInTheWindow) {
    const int dead = _wtoi(Environment(L"ORVANE_TEST_DEAD_COM").c_str());
    if (dead <= 0)
        GTEST_SKIP() << "ORVANE_TEST_DEAD_COM names a listed port that cannot be opened";
    Click(IDC_BTN_PORT);
    ASSERT_FALSE(Inside(m_dialog).m_portOpen);
    bool offered = false;
    bool answered = false;
    AnswerChooser(dead, offered, answered);
    std::wstring shown;
    // Message boxes are captioned with the executable's name.
    Answer([&shown] {
        const HWND box = FindDialog(nullptr, L"main_window_flow_tests");
        if (box == nullptr)
            return false;
        shown = WindowText(::GetDlgItem(box, kMessageBoxText));
        ::SendMessageW(box, WM_COMMAND, IDOK, 0);
        return true;
    });
    Click(IDC_BTN_PORT);  // returns once the chooser and the message box have closed
    ASSERT_TRUE(offered);
    const std::wstring failure = L"打开 COM" + std::to_wstring(dead) + L" 失败";
    EXPECT_EQ(shown, failure);
    EXPECT_TRUE(LogHas(L"错误：" + failure));
    EXPECT_FALSE(Inside(m_dialog).m_portOpen);
    EXPECT_EQ(Text(IDC_STATIC_PORT_STATE), L"串口未打开");
}

// A debug log of 300 frame dumps is larger than an edit control takes by default (32767
// characters); the log must keep appending up to its own trim.
TEST_F(MainWindowFlow, LongLogLinesKeepAppending) {
    const std::wstring filler(200, L'字');
    for (int i = 0; i < 280; ++i)
        m_dialog.AppendLog(LOG_INFO, CString(filler + std::to_wstring(i)));
    EXPECT_GT(Text(IDC_EDIT_LOG).size(), 50000u);
    EXPECT_TRUE(LogHas(filler + L"279"));
}

// The whole window lies in the work area of its monitor. The Makefile's screen is a workshop
// laptop's 1366 x 768, smaller than the main window in the template's 14-point type: the dialog is
// laid out in a smaller font, just small enough, never below 9 points, and the port chooser, which
// fits, keeps its own. scripts/test-windows.sh runs this test again on 1920 x 1080, where the
// template's font is kept.
TEST(MainWindowScreen, WindowsFitTheWorkArea) {
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES};
    ::InitCommonControlsEx(&controls);
    Dialog_Update dialog;
    ASSERT_TRUE(dialog.Create());
    const HWND window = dialog.GetSafeHwnd();
    ::ShowWindow(window, SW_SHOW);
    CDialogEx chooser(IDD_OPEN_SERIAL, &dialog);
    ASSERT_TRUE(chooser.Create());
    ::ShowWindow(chooser.GetSafeHwnd(), SW_SHOW);

    MONITORINFO monitor{};
    monitor.cbSize = sizeof(monitor);
    ASSERT_TRUE(::GetMonitorInfoW(::MonitorFromWindow(window, MONITOR_DEFAULTTOPRIMARY), &monitor));
    const RECT work = monitor.rcWork;
    const HDC screen = ::GetDC(nullptr);
    const int dpi = ::GetDeviceCaps(screen, LOGPIXELSY);
    ::ReleaseDC(nullptr, screen);
    const auto fontPixels = [](HWND hwnd) {
        LOGFONTW font{};
        ::GetObjectW(reinterpret_cast<HFONT>(::SendMessageW(hwnd, WM_GETFONT, 0, 0)), sizeof(font), &font);
        return std::abs(font.lfHeight);
    };
    const int templatePixels = ::MulDiv(14, dpi, 72);
    const int minimumPixels = ::MulDiv(9, dpi, 72);
    RECT mainFrame{};
    ::GetWindowRect(window, &mainFrame);
    std::cout << "work area " << work.right - work.left << " x " << work.bottom - work.top << " at " << dpi
              << " dpi; main window font " << fontPixels(window) << " px, frame "
              << mainFrame.right - mainFrame.left << " x " << mainFrame.bottom - mainFrame.top << " at "
              << mainFrame.left << "," << mainFrame.top << "\n";

    for (const HWND hwnd : {window, chooser.GetSafeHwnd()}) {
        RECT frame{};
        ::GetWindowRect(hwnd, &frame);
        SCOPED_TRACE(CString(WindowText(hwnd)).ToUtf8());
        EXPECT_GE(frame.left, work.left);
        EXPECT_GE(frame.top, work.top);
        EXPECT_LE(frame.right, work.right);
        EXPECT_LE(frame.bottom, work.bottom);
    }
    EXPECT_EQ(fontPixels(chooser.GetSafeHwnd()), templatePixels);
    // The main window in 14-point type at 96 dpi is about 960 pixels tall with its caption.
    const bool roomy = work.bottom - work.top >= ::MulDiv(1000, dpi, 96);
    if (roomy) {
        EXPECT_EQ(fontPixels(window), templatePixels);
    } else {
        EXPECT_LT(fontPixels(window), templatePixels);
        EXPECT_GE(fontPixels(window), minimumPixels);
        RECT frame{};
        ::GetWindowRect(window, &frame);
        // One point less than needed would leave well over a tenth of the height unused.
        EXPECT_GT(frame.bottom - frame.top, (work.bottom - work.top) * 85 / 100);
    }
    chooser.DestroyWindow();
    dialog.DestroyWindow();
}

// Enter would press the dialog's default button and end the program; the main window swallows it,
// also inside the dialog manager's own modal loop. If it got through, the dialog would end with IDOK
// before the Cancel posted behind it arrives.
TEST(MainWindowModal, EnterDoesNotEndTheModalLoop) {
    INITCOMMONCONTROLSEX controls{sizeof(controls), ICC_WIN95_CLASSES};
    ::InitCommonControlsEx(&controls);
    Dialog_Update dialog;
    ModalAnswers answers;
    answers.dialog = [](CDialogEx& shown) {
        const HWND address = ::GetDlgItem(shown.GetSafeHwnd(), IDC_EDIT_ADDRESS);
        ::PostMessageW(address, WM_KEYDOWN, VK_RETURN, 0);
        ::PostMessageW(shown.GetSafeHwnd(), WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED), 0);
    };
    AfxSetModalAnswers(std::move(answers));
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    AfxSetModalAnswers({});
}

}  // namespace
