// Pictures of the windows as a technician sees them. Always checks that the windows render at the
// size their templates give; with ORVANE_SCREENSHOT_DIR set (make screenshot) it also saves PNGs.
#include <QComboBox>
#include <QPixmap>

#include "tests/support/Dialog_UpdateTestAccess.h"
#include "tests/ui/MainWindowFixture.h"

namespace {

using namespace gui_test;
using namespace std::chrono_literals;

class Screenshot : public MainWindowTest {
protected:
    void Save(QWidget* widget, const char* name) {
        const QPixmap picture = widget->grab();
        ASSERT_FALSE(picture.isNull());
        EXPECT_EQ(picture.size(), widget->size());
        if (const char* dir = std::getenv("ORVANE_SCREENSHOT_DIR")) {
            std::filesystem::create_directories(dir);
            const std::string path = (std::filesystem::path(dir) / name).string();
            EXPECT_TRUE(picture.save(QString::fromStdString(path), "PNG")) << path;
        }
    }
};

TEST_F(Screenshot, MainWindowAtStartUp) {
    // 480 x 365 dialog units with a 14-point font is a large window on any screen.
    EXPECT_GT(m_window->width(), 480);
    EXPECT_GT(m_window->height(), 365);
    Save(m_window, "main-startup.png");
}

TEST_F(Screenshot, MainWindowMidUpdate) {
    SimulatorOptions options;
    options.ackDelay = 30ms;
    StartDevice(options);
    OpenPort(m_device->Port());
    ClickControl(IDC_RADIO_PROGRAM);
    OpenFile(WriteFile("demo.tr3", PatternBytes(5000)));
    ClickControl(IDC_BTN_START);
    ASSERT_TRUE(WaitFor([&] { return Inside(m_dialog).m_programUpdate.m_blocksDone >= 40; }, 20s));
    ASSERT_TRUE(WaitFor([&] { return Text(IDC_STATIC_PROGRESS) != QString("更新进度: 0%"); }));
    Save(m_window, "main-updating.png");
    ClickControl(IDC_BTN_STOP);
}

TEST_F(Screenshot, PortChooser) {
    StartDevice();
    bool saved = false;
    AnswerNextModal([&](QWidget* chooser) {
        Save(chooser, "port-chooser.png");
        saved = true;
        Click(FindControl(chooser, IDCANCEL));
    });
    ClickControl(IDC_BTN_PORT);
    EXPECT_TRUE(saved);
}

}  // namespace
