#include "bench/BenchSupport.h"
#include "tests/support/Dialog_UpdateTestAccess.h"

#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <stdexcept>

#include "framework/ModalAutomation.h"
#include "ui/Dialog_OpenSerial.h"
#include "ui/resource.h"
#include "update/FirmwareFile.h"

namespace {

std::filesystem::path g_directory;

WPARAM CommandOf(int controlId, UINT notification) {
    return static_cast<WPARAM>(static_cast<WORD>(controlId)) | (static_cast<WPARAM>(notification) << 16);
}

}  // namespace

const std::filesystem::path& BenchDirectory() {
    return g_directory;
}

void SetBenchDirectory(std::filesystem::path directory) {
    g_directory = std::move(directory);
}

std::string WriteBenchFile(const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::filesystem::path path = BenchDirectory() / name;
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + path.string());
    return path.string();
}

std::vector<uint8_t> ReadBenchFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::string WriteFirmwareImage(const std::string& name, const std::vector<uint8_t>& payload,
                               const std::string& model) {
    std::vector<uint8_t> image;
    if (!BuildFirmwareImage(payload.data(), static_cast<uint32_t>(payload.size()), model, image))
        throw std::runtime_error("cannot build a firmware image of " + std::to_string(payload.size()));
    return WriteBenchFile(name, image);
}

long ProcStatusKib(const char* field) {
    std::ifstream status("/proc/self/status");
    std::string line;
    const std::string prefix = std::string(field) + ":";
    while (std::getline(status, line)) {
        if (line.rfind(prefix, 0) == 0)
            return std::strtol(line.c_str() + prefix.size(), nullptr, 10);
    }
    return -1;
}

HeadlessWindow::HeadlessWindow() {
    m_created = m_dialog.Create();
}

HeadlessWindow::~HeadlessWindow() {
    AfxSetModalAnswers({});
    m_dialog.DestroyWindow();
}

void HeadlessWindow::Click(int controlId, UINT notification) {
    m_dialog.SendMessage(WM_COMMAND, CommandOf(controlId, notification), 0);
}

bool HeadlessWindow::OpenPort(int port) {
    ModalAnswers answers;
    answers.dialog = [port](CDialogEx& dialog) {
        auto* chooser = dynamic_cast<Dialog_OpenSerial*>(&dialog);
        if (!chooser)
            return;
        CString wanted;
        wanted.Format(L"COM%d", port);
        bool offered = false;
        for (int i = 0; i < chooser->m_comboPorts.GetCount() && !offered; ++i) {
            CString item;
            chooser->m_comboPorts.GetLBText(i, item);
            if (item == wanted) {
                chooser->m_comboPorts.SetCurSel(i);
                offered = true;
            }
        }
        dialog.SendMessage(WM_COMMAND, CommandOf(offered ? IDOK : IDCANCEL, BN_CLICKED), 0);
    };
    answers.messageBox = [](const CString&) {};
    AfxSetModalAnswers(std::move(answers));
    Click(IDC_BTN_PORT);
    AfxSetModalAnswers({});
    return Inside(m_dialog).m_portOpen != 0;
}

bool HeadlessWindow::OpenFile(const std::string& path) {
    ModalAnswers answers;
    const CString chosen = CString::FromUtf8(path);
    answers.openFile = [chosen](CString& out) {
        out = chosen;
        return true;
    };
    AfxSetModalAnswers(std::move(answers));
    Click(IDC_BTN_OPEN_FILE);
    AfxSetModalAnswers({});
    return Inside(m_dialog).m_currentUpdate != nullptr;
}

void HeadlessWindow::SelectHighSpeed(bool highSpeed) {
    m_dialog.m_comboBaud.SetCurSel(highSpeed ? 1 : 0);
    Click(IDC_COMBO_BAUD, CBN_SELCHANGE);
}

InProcessDevice::InProcessDevice(SimulatorOptions options)
    : m_device(
          std::move(options), [this](const std::string& line) { Keep(line); },
          [this](const std::string& line) { Keep(line); }) {
    if (!m_device.Started())
        throw std::runtime_error("the simulated device did not start");
}

InProcessDevice::~InProcessDevice() {
    Stop();
}

void InProcessDevice::Keep(const std::string& line) {
    const auto now = BenchClock::now();
    std::lock_guard<std::mutex> lock(m_mutex);
    m_lines.push_back({now, line});
}

std::vector<InProcessDevice::Line> InProcessDevice::Lines() {
    std::lock_guard<std::mutex> lock(m_mutex);
    return m_lines;
}

std::vector<uint8_t> ParseHex(const std::string& text) {
    std::vector<uint8_t> bytes;
    const char* p = text.c_str();
    char* end = nullptr;
    for (;;) {
        const long value = std::strtol(p, &end, 16);
        if (end == p)
            break;
        bytes.push_back(static_cast<uint8_t>(value));
        p = end;
    }
    return bytes;
}
