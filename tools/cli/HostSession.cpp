#include "tools/cli/HostSession.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>

#include "framework/ConsoleDiagnostics.h"
#include "framework/HeadlessApp.h"
#include "framework/ModalAutomation.h"
#include "framework/TextCodec.h"
#include "tools/cli/Arguments.h"
#include "tools/cli/Json.h"
#include "tools/cli/PortArgument.h"
#include "ui/Dialog_OpenSerial.h"
#include "ui/resource.h"

namespace {

using namespace std::chrono_literals;

// The connection test ends by itself within 3 s; this only guards against a window that never
// reports back.
constexpr std::chrono::milliseconds kTestGuard = 10s;
constexpr std::chrono::milliseconds kPollSlice = 50ms;

const char* LevelName(LOG_LEVEL level) {
    switch (level) {
        case LOG_DEBUG:
            return "debug";
        case LOG_WARNING:
            return "warning";
        case LOG_ERROR:
            return "error";
        default:
            return "info";
    }
}

bool StartsWith(const CString& text, const wchar_t* prefix) {
    return text.Find(prefix) == 0;
}

}  // namespace

HostSession::HostSession(const HostOptions& options)
    : m_options(options),
      m_progress(options.json, !options.json && ::isatty(STDERR_FILENO), [](const std::string& line) {
          std::printf("%s\n", line.c_str());
          std::fflush(stdout);
      }) {
    m_dialog.m_observer = this;
    // The serial layer's diagnostics go to stderr only when asked for; a failing read is watched
    // for either way, since it means the line is gone. This runs on the reader thread too, so it
    // touches nothing but the lost-line report (under its lock) and stderr.
    SetConsoleSink([this](ConsoleStream, const std::string& gbk) {
        const CString text = AnsiToWide(gbk);
        if (StartsWith(text, L"读取串口失败")) {
            std::lock_guard<std::mutex> lock(m_lineLostMutex);
            m_lineLostText = text.ToUtf8();
            m_lineLost = true;
        }
        if (m_options.trace)
            std::fprintf(stderr, "%s\n", text.ToUtf8().c_str());
    });
}

HostSession::~HostSession() {
    AfxSetModalAnswers({});
    m_dialog.DestroyWindow();
    m_dialog.m_observer = nullptr;
    SetConsoleSink(nullptr);
}

void HostSession::Say(const std::string& line) {
    m_progress.Interrupt();
    if (m_options.json) {
        std::printf("%s\n", JsonObject().Add("type", "message").Add("text", line).Text().c_str());
    } else {
        std::fprintf(stderr, "%s\n", line.c_str());
    }
    std::fflush(stdout);
    std::fflush(stderr);
}

void HostSession::OnLogLine(LOG_LEVEL level, const CString& text, bool shown) {
    if (StartsWith(text, L"设备型号: ")) {
        m_model = text.Mid(6).ToUtf8();
        m_modelSeen = true;
    } else if (text == L"收到设备回应报文" || text == L"收到设备查询回复 (空数据)") {
        m_answered = true;
    } else if (text == L"连接测试超时，未收到设备回复") {
        m_testTimedOut = true;
    } else if (StartsWith(text, L"发送数据报文：")) {
        // The device's silence counts from the last frame it was sent: it has nothing to say while
        // the host itself waits, as for the second between trigger and model query.
        m_lastActivity = std::chrono::steady_clock::now();
    }
    if (!shown)
        return;
    m_lastLine = text.ToUtf8();
    m_progress.Interrupt();
    if (m_options.json) {
        std::printf("%s\n", JsonObject()
                                .Add("type", "log")
                                .Add("level", LevelName(level))
                                .Add("text", m_lastLine)
                                .Text()
                                .c_str());
    } else {
        std::printf("%s\n", (CString(LogLinePrefix(level)) + text).ToUtf8().c_str());
    }
    std::fflush(stdout);
}

void HostSession::OnByteReceived(uint8_t) {
    m_lastActivity = std::chrono::steady_clock::now();
}

void HostSession::Click(int controlId, UINT notification) {
    const WPARAM wParam =
        static_cast<WPARAM>(static_cast<WORD>(controlId)) | (static_cast<WPARAM>(notification) << 16);
    m_dialog.SendMessage(WM_COMMAND, wParam, 0);
}

int HostSession::Finish(int exitCode, const std::string& status, const std::string& message) {
    m_progress.End();
    if (!message.empty() && !m_options.json)
        std::fprintf(stderr, "%s\n", message.c_str());
    if (m_options.json) {
        JsonObject result;
        result.Add("type", "result").Add("exit", static_cast<int64_t>(exitCode)).Add("status", status);
        // Without a message of its own, the reason is the log's last line.
        result.Add("message", message.empty() ? m_lastLine : message);
        if (m_modelSeen)
            result.Add("model", m_model);
        std::printf("%s\n", result.Text().c_str());
    }
    std::fflush(stdout);
    std::fflush(stderr);
    return exitCode;
}

bool HostSession::CreateMainWindow() {
    if (!m_dialog.Create())
        return false;
    // Debug lines follow --debug rather than a LOG.ini beside the program.
    m_dialog.m_debugLogEnabled = m_options.debug;
    CString address;
    address.Format(L"%d", m_options.address);
    m_dialog.m_editAddress.SetWindowText(address);
    return true;
}

int HostSession::OpenPort() {
    const PortChoice choice = ResolvePortArgument(m_options.port);
    if (choice.number == 0)
        return Finish(kExitUsage, "usage", choice.error);
    m_port = choice.number;
    m_device = choice.device;

    bool offered = false;
    ModalAnswers answers;
    answers.dialog = [this, &offered](CDialogEx& dialog) {
        auto* chooser = dynamic_cast<Dialog_OpenSerial*>(&dialog);
        if (!chooser)
            return;
        CString wanted;
        wanted.Format(L"COM%d", m_port);
        for (int i = 0; i < chooser->m_comboPorts.GetCount(); ++i) {
            CString item;
            chooser->m_comboPorts.GetLBText(i, item);
            if (item == wanted) {
                offered = true;
                chooser->m_comboPorts.SetCurSel(i);
                break;
            }
        }
        const WPARAM wParam =
            static_cast<WPARAM>(offered ? IDOK : IDCANCEL) | (static_cast<WPARAM>(BN_CLICKED) << 16);
        dialog.SendMessage(WM_COMMAND, wParam, 0);
    };
    answers.messageBox = [](const CString&) {};  // the same text reaches the log
    AfxSetModalAnswers(std::move(answers));
    Click(IDC_BTN_PORT, BN_CLICKED);
    if (m_dialog.m_portOpen)
        return kExitOk;
    const std::string why = ExplainOpenFailure(m_port);
    if (!offered) {
        // The line the serial layer prints when the port will not open, so that a missing port reads the
        // same as a held one, whatever the ports listing knew.
        const std::string name = "COM" + std::to_string(m_port);
        return Finish(
            kExitUsage, "no-port",
            "无法打开串口 " + name + ": " + (why.empty() ? name + " is not among the ports present" : why));
    }
    return Finish(kExitFailed, "open-failed", why);
}

int HostSession::RunTest() {
    return AfxRunWithoutDisplay([this] {
        if (!CreateMainWindow())
            return Finish(kExitFailed, "failed", "the main window could not be created");
        if (const int rc = OpenPort(); rc != kExitOk || !m_dialog.m_portOpen)
            return rc;
        Click(IDC_BTN_TEST, BN_CLICKED);
        AfxPumpMessagesUntil([this] { return !m_dialog.m_testing; }, kTestGuard);
        if (m_dialog.m_testing)
            return Finish(kExitTimeout, "timeout", "the connection test did not end");
        if (m_testTimedOut)
            return Finish(kExitTimeout, "timeout");
        if (!m_answered)
            return Finish(kExitFailed, "failed");
        if (!m_options.json && !m_options.debug && m_modelSeen)
            std::printf("设备型号: %s\n", m_model.c_str());
        return Finish(kExitOk, "answered");
    });
}

int HostSession::RunUpdate(HostOptions::Kind kind) {
    const bool firmware = kind == HostOptions::Kind::Firmware;
    std::error_code ec;
    const std::filesystem::path file = PathFromUtf8(m_options.file);
    if (!std::filesystem::exists(file, ec)) {
        return Finish(kExitUsage, "file-error", "the file " + m_options.file + " does not exist");
    }
    if (std::filesystem::is_directory(file, ec)) {
        return Finish(kExitUsage, "file-error", m_options.file + " is a folder, not a file");
    }
    return AfxRunWithoutDisplay([this, firmware] {
        if (!CreateMainWindow())
            return Finish(kExitFailed, "failed", "the main window could not be created");
        if (const int rc = OpenPort(); rc != kExitOk || !m_dialog.m_portOpen)
            return rc;

        Click(firmware ? IDC_RADIO_FIRMWARE : IDC_RADIO_PROGRAM, BN_CLICKED);
        if (firmware) {
            m_dialog.m_comboBaud.SetCurSel(m_options.highSpeed ? 1 : 0);
            Click(IDC_COMBO_BAUD, CBN_SELCHANGE);
        }

        ModalAnswers answers = AfxGetModalAnswers();
        const CString path =
            CString::FromUtf8(Utf8FromPath(std::filesystem::absolute(PathFromUtf8(m_options.file))));
        answers.openFile = [path](CString& chosen) {
            chosen = path;
            return true;
        };
        AfxSetModalAnswers(std::move(answers));
        Click(IDC_BTN_OPEN_FILE, BN_CLICKED);
        BaseUpdate* engine = firmware ? static_cast<BaseUpdate*>(&m_dialog.m_firmwareUpdate)
                                      : static_cast<BaseUpdate*>(&m_dialog.m_programUpdate);
        if (m_dialog.m_currentUpdate == nullptr) {
            return Finish(kExitUsage, "file-error", engine->GetStatusMessage().ToUtf8());
        }

        m_lastActivity = std::chrono::steady_clock::now();
        Click(IDC_BTN_START, BN_CLICKED);
        if (!m_dialog.m_updating)
            return Finish(kExitFailed, "refused");
        m_progress.Begin(engine->m_totalBlocks, engine->m_fileSize);

        bool timedOut = false;
        while (m_dialog.m_updating) {
            AfxPumpMessagesUntil([this] { return !m_dialog.m_updating || m_lineLost; }, kPollSlice);
            m_progress.Update(engine->GetProgress(), engine->m_blocksDone);
            if (m_lineLost && m_dialog.m_updating) {
                Click(IDC_BTN_STOP, BN_CLICKED);
                std::string reason;
                {
                    std::lock_guard<std::mutex> lock(m_lineLostMutex);
                    reason = m_lineLostText;
                }
                return Finish(kExitFailed, "line-lost",
                              "the serial line failed (" + reason + "): cable pulled or device gone");
            }
            if (m_dialog.m_updating &&
                std::chrono::steady_clock::now() - m_lastActivity > m_options.timeout) {
                timedOut = true;
                Click(IDC_BTN_STOP, BN_CLICKED);
            }
        }
        if (timedOut) {
            return Finish(kExitTimeout, "timeout",
                          "the device sent nothing for " + std::to_string(m_options.timeout.count()) +
                              " s; the update was stopped");
        }
        if (engine->IsCompleted()) {
            m_progress.Update(100, engine->m_totalBlocks);
            return Finish(kExitOk, "completed");
        }
        return Finish(kExitFailed, "failed");
    });
}
