// Captions and enabled states of the main window as the technician sees them.
#include <QComboBox>
#include <QLineEdit>
#include <QRadioButton>
#include <QRawFont>
#include <QTest>

#include "tests/support/Dialog_UpdateTestAccess.h"
#include "tests/ui/MainWindowFixture.h"

namespace {

using namespace gui_test;

struct ControlState {
    int id;
    bool enabled;
};

void ExpectStates(MainWindowTest* test, QWidget* window, std::initializer_list<ControlState> states) {
    for (const ControlState& s : states) {
        QWidget* control = FindControl(window, s.id);
        ASSERT_NE(control, nullptr) << s.id;
        EXPECT_EQ(control->isEnabled(), s.enabled) << "control " << s.id;
    }
    (void)test;
}

TEST_F(MainWindowTest, StartUpState) {
    EXPECT_EQ(m_window->windowTitle(), QString("Orvane V1.00"));
    EXPECT_EQ(Text(IDC_BTN_PORT), QString("打开串口"));
    EXPECT_EQ(Text(IDC_STATIC_PORT_STATE), QString("串口未打开"));
    EXPECT_EQ(Text(IDC_EDIT_ADDRESS), QString("1"));
    EXPECT_EQ(Text(IDC_STATIC_MODE), QString("预备模式"));
    EXPECT_EQ(Text(IDC_BTN_TEST), QString("测试连接"));
    EXPECT_EQ(Text(IDC_STATIC_PROGRESS), QString("更新进度: 0%"));
    EXPECT_EQ(Text(IDC_STATIC_STATE), QString("等待开始"));
    EXPECT_TRUE(FindControlAs<QRadioButton>(m_window, IDC_RADIO_STANDBY)->isChecked());
    auto* baud = FindControlAs<QComboBox>(m_window, IDC_COMBO_BAUD);
    ASSERT_EQ(baud->count(), 2);
    EXPECT_EQ(baud->currentText(), QString("9600 (默认)"));
    EXPECT_EQ(baud->itemText(1), QString("115200"));
    ExpectStates(this, m_window,
                 {{IDC_BTN_PORT, true},
                  {IDC_EDIT_ADDRESS, true},
                  {IDC_RADIO_STANDBY, false},
                  {IDC_RADIO_FIRMWARE, false},
                  {IDC_RADIO_PROGRAM, false},
                  {IDC_BTN_TEST, false},
                  {IDC_BTN_OPEN_FILE, false},
                  {IDC_BTN_START, false},
                  {IDC_BTN_STOP, false},
                  {IDC_COMBO_BAUD, false}});
    EXPECT_EQ(LogLines(), (std::vector<CString>{L"程序已启动，请打开串口"}));
    EXPECT_EQ(m_window->minimumSize(), m_window->maximumSize());  // not resizable
}

TEST_F(MainWindowTest, ChineseTextReallyRendersInTheDialogFont) {
    const QRawFont raw = QRawFont::fromFont(m_window->font());
    ASSERT_TRUE(raw.isValid());
    for (char32_t ch : {U'串', U'口', U'固', U'件', U'更', U'新', U'预', U'备'}) {
        EXPECT_TRUE(raw.supportsCharacter(ch)) << static_cast<uint32_t>(ch);
    }
}

TEST_F(MainWindowTest, StatesFollowPortModeAndUpdate) {
    StartDevice();
    OpenPort(m_device->Port());
    EXPECT_EQ(Text(IDC_BTN_PORT), QString("关闭串口"));
    EXPECT_EQ(Text(IDC_STATIC_PORT_STATE), QString("串口已打开"));
    EXPECT_TRUE(LogHas(CString(L"串口已打开: COM") + CString(std::to_wstring(m_device->Port()))));
    ExpectStates(this, m_window,
                 {{IDC_RADIO_STANDBY, true},
                  {IDC_RADIO_FIRMWARE, true},
                  {IDC_RADIO_PROGRAM, true},
                  {IDC_BTN_TEST, true},
                  {IDC_BTN_OPEN_FILE, false},
                  {IDC_BTN_START, false},
                  {IDC_BTN_STOP, false},
                  {IDC_COMBO_BAUD, false}});

    // Clicking the mode already active changes nothing and logs nothing.
    const size_t before = LogLines().size();
    ClickControl(IDC_RADIO_STANDBY);
    EXPECT_EQ(LogLines().size(), before);

    ClickControl(IDC_RADIO_FIRMWARE);
    EXPECT_TRUE(LogHas(L"切换到固件更新模式"));
    EXPECT_EQ(Text(IDC_STATIC_MODE), QString("固件更新模式"));
    ExpectStates(this, m_window, {{IDC_BTN_OPEN_FILE, true}, {IDC_BTN_START, true}, {IDC_COMBO_BAUD, true}});

    // A user's pick of 115200 survives a trip through program mode, though the combo shows 9600 there.
    auto* baud = FindControlAs<QComboBox>(m_window, IDC_COMBO_BAUD);
    baud->setFocus();
    QTest::keyClick(baud, Qt::Key_Down);
    ASSERT_EQ(Inside(m_dialog).m_baudIndex, 1);
    EXPECT_EQ(Inside(m_dialog).m_firmwareUpdate.m_highSpeed, 1);
    ClickControl(IDC_RADIO_PROGRAM);
    EXPECT_EQ(baud->currentIndex(), 0);
    EXPECT_FALSE(baud->isEnabled());
    EXPECT_EQ(Inside(m_dialog).m_baudIndex, 1);
    ClickControl(IDC_RADIO_FIRMWARE);
    EXPECT_EQ(Inside(m_dialog).m_firmwareUpdate.m_highSpeed, 1);

    // Closing the port keeps the mode but drops the engine selection.
    ClickControl(IDC_BTN_PORT);
    EXPECT_TRUE(LogHas(L"串口已关闭"));
    EXPECT_EQ(Inside(m_dialog).m_currentUpdate, nullptr);
    EXPECT_EQ(Inside(m_dialog).m_workMode, MODE_FIRMWARE);
    ExpectStates(this, m_window,
                 {{IDC_RADIO_FIRMWARE, false}, {IDC_BTN_OPEN_FILE, false}, {IDC_BTN_START, false}});
}

TEST_F(MainWindowTest, AddressEditAcceptsZeroTo255Only) {
    struct Case {
        const wchar_t* text;  // the whole text at once
        int expected;
    };
    auto* edit = FindControlAs<QLineEdit>(m_window, IDC_EDIT_ADDRESS);
    ASSERT_NE(edit, nullptr);
    for (const Case& c : {Case{L"255", 255}, Case{L"256", 255}, Case{L"0", 0}, Case{L"17", 17}, Case{L"", 0},
                          Case{L"99999999999", 0}, Case{L"42", 42}, Case{L"-1", 42}, Case{L" 7x", 7}}) {
        m_dialog.m_editAddress.SetWindowText(c.text);
        EXPECT_EQ(Inside(m_dialog).m_protocol.address, c.expected)
            << "text '" << CString(c.text).ToUtf8() << "'";
        EXPECT_EQ(Inside(m_dialog).m_addressInput, c.expected);
    }
    // Typed key by key, every intermediate text counts: "300" leaves 30 in force.
    edit->selectAll();
    QTest::keyClicks(edit, "300");
    EXPECT_EQ(Inside(m_dialog).m_protocol.address, 30);
}

TEST_F(MainWindowTest, EnterDoesNotCloseTheWindow) {
    QTest::keyClick(Control(IDC_EDIT_ADDRESS), Qt::Key_Return);
    EXPECT_TRUE(m_dialog.GetSafeHwnd() != nullptr);
    EXPECT_TRUE(m_window->isVisible());
}

TEST_F(MainWindowTest, SwitchWorkModeIsRefusedDuringAnUpdate) {
    Inside(m_dialog).m_updating = 1;
    m_dialog.SwitchWorkMode(MODE_PROGRAM);
    EXPECT_TRUE(LogHas(L"警告：更新进行中，不能切换模式"));
    EXPECT_EQ(Inside(m_dialog).m_workMode, MODE_STANDBY);
    Inside(m_dialog).m_updating = 0;
}

// Tab visits exactly the enabled tab stops in template order, both ways; the mode radios have no tab
// stop. Arrow keys move within a WS_GROUP run and pick the radio they land on.
TEST_F(MainWindowTest, KeyboardFollowsTheTemplatesTabStopsAndGroups) {
    StartDevice();
    OpenPort(m_device->Port());
    ClickControl(IDC_RADIO_FIRMWARE);
    auto tabWalk = [&](Qt::Key key) {
        std::vector<int> visited;
        Control(IDC_BTN_PORT)->setFocus();
        for (int i = 0; i < 9; ++i) {
            QTest::keyClick(m_window->focusWidget(), key);
            visited.push_back(m_window->focusWidget()->property("controlId").toInt());
        }
        return visited;
    };
    // Stop is disabled while nothing runs.
    EXPECT_EQ(tabWalk(Qt::Key_Tab),
              (std::vector<int>{IDC_EDIT_ADDRESS, IDC_BTN_TEST, IDC_BTN_OPEN_FILE, IDC_BTN_START,
                                IDC_COMBO_BAUD, IDC_EDIT_LOG, IDC_BTN_PORT, IDC_EDIT_ADDRESS, IDC_BTN_TEST}));
    EXPECT_EQ(tabWalk(Qt::Key_Backtab),
              (std::vector<int>{IDC_EDIT_LOG, IDC_COMBO_BAUD, IDC_BTN_START, IDC_BTN_OPEN_FILE, IDC_BTN_TEST,
                                IDC_EDIT_ADDRESS, IDC_BTN_PORT, IDC_EDIT_LOG, IDC_COMBO_BAUD}));

    // The radio group: arrows wrap within it, and each radio reached is chosen.
    Control(IDC_RADIO_FIRMWARE)->setFocus();
    struct Step {
        Qt::Key key;
        int focused;
        int mode;
    };
    for (const Step& step : {Step{Qt::Key_Right, IDC_RADIO_PROGRAM, MODE_PROGRAM},
                             Step{Qt::Key_Down, IDC_RADIO_STANDBY, MODE_STANDBY},
                             Step{Qt::Key_Left, IDC_RADIO_PROGRAM, MODE_PROGRAM},
                             Step{Qt::Key_Up, IDC_RADIO_FIRMWARE, MODE_FIRMWARE}}) {
        QTest::keyClick(m_window->focusWidget(), step.key);
        EXPECT_EQ(m_window->focusWidget(), Control(step.focused));
        EXPECT_TRUE(FindControlAs<QRadioButton>(m_window, step.focused)->isChecked());
        EXPECT_EQ(Inside(m_dialog).m_workMode, step.mode);
    }
    // The command buttons form a group of their own; disabled ones are passed over.
    Control(IDC_BTN_START)->setFocus();
    QTest::keyClick(Control(IDC_BTN_START), Qt::Key_Right);
    EXPECT_EQ(m_window->focusWidget(), Control(IDC_BTN_TEST));
    QTest::keyClick(Control(IDC_BTN_TEST), Qt::Key_Left);
    EXPECT_EQ(m_window->focusWidget(), Control(IDC_BTN_START));
    EXPECT_EQ(Inside(m_dialog).m_workMode, MODE_FIRMWARE);
}

}  // namespace
