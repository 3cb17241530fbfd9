// A long session on one open port: fifty program updates back to back, each after a switch to
// standby and back, with connection tests in between. Every payload must arrive intact, and the
// session must leave nothing behind: no file descriptors, no threads, no unbounded log.
#include <algorithm>
#include <filesystem>

#include "tests/support/Dialog_UpdateTestAccess.h"
#include "tests/ui/MainWindowFixture.h"

namespace {

using namespace gui_test;
using namespace std::chrono_literals;

constexpr int kUpdates = 50;
constexpr int kTestEvery = 5;
constexpr size_t kSmallest = 300;
constexpr size_t kSizeSpread = 700;  // files of 300 to 999 bytes: 6 to 20 blocks
constexpr int32_t kLogLineLimit = 301;
constexpr std::chrono::milliseconds kUpdateLimit = 20s;

size_t EntriesIn(const char* directory) {
    size_t count = 0;
    for ([[maybe_unused]] const auto& entry : std::filesystem::directory_iterator(directory))
        ++count;
    return count;
}

class SoakTest : public MainWindowTest, public Dialog_UpdateObserver {
protected:
    void OnLogLine(LOG_LEVEL level, const CString& text, bool shown) override {
        // Called before the line is counted, after any trimming it causes.
        m_mostLogLines = std::max(m_mostLogLines, Inside(m_dialog).m_logLineCount + (shown ? 1 : 0));
        m_linesShown += shown ? 1 : 0;
        if (level >= LOG_WARNING)
            m_complaints.push_back(text.ToUtf8());
        if (text == L"收到设备回应报文")
            ++m_answers;
    }
    void OnByteReceived(uint8_t) override {}

    void TearDown() override {
        m_dialog.m_observer = nullptr;
        MainWindowTest::TearDown();
    }

    void ConnectionTest() {
        const int answersBefore = m_answers;
        ClickControl(IDC_BTN_TEST);
        ASSERT_TRUE(WaitFor([&] { return !Inside(m_dialog).m_testing; }));
        EXPECT_EQ(m_answers, answersBefore + 1) << "the device's model reply was not taken";
    }

    void ProgramUpdate(int round) {
        const std::vector<uint8_t> program = PatternBytes(
            kSmallest + static_cast<size_t>(round) * 37 % kSizeSpread, static_cast<uint8_t>(round));
        ClickControl(IDC_RADIO_STANDBY);
        ASSERT_EQ(Inside(m_dialog).m_workMode, MODE_STANDBY);
        if (round % kTestEvery == 0)
            ConnectionTest();
        ClickControl(IDC_RADIO_PROGRAM);
        std::filesystem::remove(m_saved);
        OpenFile(WriteFile("soak-" + std::to_string(round) + ".tr3", program));
        ASSERT_NE(Inside(m_dialog).m_currentUpdate, nullptr) << "round " << round;
        ClickControl(IDC_BTN_START);
        ASSERT_TRUE(Inside(m_dialog).m_updating) << "round " << round;
        ASSERT_TRUE(WaitFor([&] { return !Inside(m_dialog).m_updating; }, kUpdateLimit)) << "round " << round;
        ASSERT_TRUE(Inside(m_dialog).m_programUpdate.IsCompleted()) << "round " << round;
        ASSERT_EQ(m_device->SavedPayload(), program)
            << "round " << round << ": the device received something else";
    }

    std::string m_saved;
    int32_t m_mostLogLines = 0;
    int m_linesShown = 0;
    int m_answers = 0;
    std::vector<std::string> m_complaints;
};

TEST_F(SoakTest, FiftyUpdatesOnOnePortArriveIntactAndLeaveNothingBehind) {
    m_saved = (m_registry.Root() / "received.bin").string();
    SimulatorOptions options;
    options.saveFile = m_saved;
    StartDevice(options);
    OpenPort(m_device->Port());
    // Every frame goes into the log, so it fills past its limit and is trimmed many times over.
    m_dialog.m_debugLogEnabled = true;
    m_dialog.m_observer = this;

    // The first file dialog makes the toolkit open its MIME database, which stays open for good;
    // so the counts are taken once the first update is done.
    ProgramUpdate(1);
    ASSERT_FALSE(HasFatalFailure());
    const size_t descriptors = EntriesIn("/proc/self/fd");
    const size_t threads = EntriesIn("/proc/self/task");
    for (int round = 2; round <= kUpdates; ++round) {
        ProgramUpdate(round);
        if (HasFatalFailure())
            return;
    }
    EXPECT_EQ(EntriesIn("/proc/self/fd"), descriptors);
    EXPECT_EQ(EntriesIn("/proc/self/task"), threads);
    EXPECT_TRUE(Inside(m_dialog).m_portOpen);
    EXPECT_LE(m_mostLogLines, kLogLineLimit);
    EXPECT_LE(Inside(m_dialog).m_logLineCount, kLogLineLimit);
    EXPECT_GT(m_linesShown, 2 * kLogLineLimit) << "the log never had to be trimmed";
    EXPECT_TRUE(m_complaints.empty())
        << m_complaints.size() << " warnings or errors, first: " << m_complaints[0];
}

}  // namespace
