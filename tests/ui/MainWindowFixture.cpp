#include "tests/ui/MainWindowFixture.h"
#include "tests/support/Dialog_UpdateTestAccess.h"

#include <unistd.h>

#include <QLineEdit>
#include <QTest>
#include <QTimer>
#include <iterator>

#include "update/FirmwareFile.h"

using namespace gui_test;

SimulatedDevice::SimulatedDevice(SimulatorOptions options)
    : m_saveFile(options.saveFile), m_device(std::move(options)) {
    if (!m_device.Started())
        throw std::runtime_error("the simulator did not start");
    m_port = m_device.Port();
}

SimulatedDevice::~SimulatedDevice() = default;

std::vector<uint8_t> SimulatedDevice::StopAndTakePayload() {
    m_device.Stop();
    return m_device.Device().Payload();
}

SimReport SimulatedDevice::StopAndReport() {
    m_device.Stop();
    return m_device.Device().Report();
}

std::vector<uint8_t> SimulatedDevice::SavedPayload() const {
    std::ifstream in(m_saveFile, std::ios::binary);
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

void RecordedEvents::OnConnectionTestFinished(TestOutcome outcome, const CString& model) {
    const char* names[] = {"answered", "timed-out", "not-sent"};
    finished.push_back(std::string("test ") + names[static_cast<int>(outcome)] + " " + model.ToUtf8());
}

void RecordedEvents::OnUpdateFinished(UpdateOutcome outcome, const CString& status, const CString& model) {
    const char* names[] = {"completed", "stopped", "failed"};
    finished.push_back(std::string("update ") + names[static_cast<int>(outcome)] + " " + status.ToUtf8() +
                       " " + model.ToUtf8());
}

void RecordedEvents::OnLineLost(DWORD code) {
    finished.push_back("lost " + std::to_string(code));
}

void RecordedEvents::OnProgress(int32_t percent, uint32_t block, uint32_t count) {
    lastProgress = std::to_string(block) + "/" + std::to_string(count) + " " + std::to_string(percent) + "%";
}

void MainWindowTest::SetUp() {
    // The serial layer's per-byte diagnostics would drown the test output.
    m_previousSink = SetConsoleSink([](ConsoleStream, const std::string&) {});
    m_dialog.m_observer = &m_events;
    ASSERT_TRUE(m_dialog.Create());
    m_dialog.ShowWindow(SW_SHOW);
    m_window = WidgetOf(m_dialog);
    ASSERT_NE(m_window, nullptr);
}

void MainWindowTest::TearDown() {
    m_dialog.DestroyWindow();
    SetConsoleSink(std::move(m_previousSink));
}

void MainWindowTest::ClickControl(int id) {
    QWidget* control = Control(id);
    ASSERT_NE(control, nullptr) << "control " << id;
    Click(control);
}

bool MainWindowTest::Enabled(int id) {
    QWidget* control = Control(id);
    return control && control->isEnabled();
}

QString MainWindowTest::Text(int id) {
    CString text;
    if (CWnd* item = m_dialog.GetDlgItem(id))
        item->GetWindowText(text);
    return QString::fromStdWString(text.Str());
}

CString MainWindowTest::LogText() {
    CString text;
    m_dialog.m_editLog.GetWindowText(text);
    return text;
}

std::vector<CString> MainWindowTest::LogLines() {
    std::vector<CString> lines;
    const CString text = LogText();
    int start = 0;
    while (start <= text.GetLength() && !text.IsEmpty()) {
        const int next = text.Find(L"\r\n", start);
        if (next < 0) {
            lines.push_back(text.Mid(start));
            break;
        }
        lines.push_back(text.Mid(start, next - start));
        start = next + 2;
    }
    return lines;
}

bool MainWindowTest::LogHas(const CString& line) {
    for (const CString& l : LogLines()) {
        if (l == line)
            return true;
    }
    return false;
}

std::vector<CString> MainWindowTest::LogLinesFrom(size_t from) {
    std::vector<CString> lines = LogLines();
    lines.erase(lines.begin(), lines.begin() + static_cast<std::ptrdiff_t>(std::min(from, lines.size())));
    return lines;
}

bool MainWindowTest::TimerRunning(std::chrono::milliseconds period) {
    for (const QTimer* timer : m_window->findChildren<QTimer*>()) {
        if (timer->isActive() && timer->interval() == period.count())
            return true;
    }
    return false;
}

bool MainWindowTest::WaitForLog(const CString& line, std::chrono::milliseconds timeout) {
    return WaitFor([&] { return LogHas(line); }, timeout);
}

void MainWindowTest::StartDevice(SimulatorOptions options) {
    m_device = std::make_unique<SimulatedDevice>(options);
}

void MainWindowTest::OpenPort(int port) {
    const QString wanted = QString("COM%1").arg(port);
    AnswerNextModal([wanted](QWidget* chooser) {
        auto* combo = FindControlAs<QComboBox>(chooser, IDC_COMBO_PORTS);
        ASSERT_NE(combo, nullptr);
        const int index = combo->findText(wanted);
        ASSERT_GE(index, 0) << wanted.toStdString() << " is not offered";
        combo->setCurrentIndex(index);
        Click(FindControl(chooser, IDOK));
    });
    ClickControl(IDC_BTN_PORT);
    ASSERT_TRUE(Inside(m_dialog).m_portOpen);
}

void MainWindowTest::OpenFile(const std::string& path) {
    AnswerNextModal([path](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        // Type the path into the file name box and press Enter, as a user would.
        auto* name = dialog->findChild<QLineEdit*>("fileNameEdit");
        ASSERT_NE(name, nullptr);
        name->setText(QString::fromStdString(path));
        QTest::keyClick(name, Qt::Key_Return);
    });
    ClickControl(IDC_BTN_OPEN_FILE);
}

std::string MainWindowTest::WriteFile(const std::string& name, const std::vector<uint8_t>& bytes) {
    const std::string path = (m_registry.Root() / name).string();
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return path;
}

std::string MainWindowTest::WriteFirmware(const std::string& name, const std::vector<uint8_t>& payload,
                                          const std::string& model) {
    std::vector<uint8_t> image;
    if (!BuildFirmwareImage(payload.data(), static_cast<uint32_t>(payload.size()), model, image))
        return {};
    return WriteFile(name, image);
}
