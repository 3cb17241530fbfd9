// The port chooser, run modally from the main window's open command.
#include <QComboBox>
#include <QMessageBox>

#include "tests/support/Dialog_UpdateTestAccess.h"
#include "tests/ui/MainWindowFixture.h"

namespace {

using namespace gui_test;

TEST_F(MainWindowTest, ChooserWithoutPortsOffersThePlaceholderOnly) {
    QStringList items;
    QString boxText;
    AnswerNextModal([&](QWidget* chooser) {
        EXPECT_EQ(chooser->windowTitle(), QString("打开串口"));
        auto* combo = FindControlAs<QComboBox>(chooser, IDC_COMBO_PORTS);
        ASSERT_NE(combo, nullptr);
        for (int i = 0; i < combo->count(); ++i)
            items << combo->itemText(i);
        // OK with only the placeholder: a message box, and the chooser stays open.
        AcceptNextMessageBox(&boxText);
        Click(FindControl(chooser, IDOK));
        EXPECT_TRUE(chooser->isVisible());
        Click(FindControl(chooser, IDCANCEL));
    });
    ClickControl(IDC_BTN_PORT);
    EXPECT_EQ(items, QStringList{"未检测到可用串口"});
    EXPECT_EQ(boxText, QString("没有可用的串口"));
    EXPECT_FALSE(Inside(m_dialog).m_portOpen);
    EXPECT_EQ(LogLines().size(), 1u);  // cancelling logs nothing
}

TEST_F(MainWindowTest, ChooserListsPortsInNumericOrderWithTheirDevices) {
    const auto dev = m_registry.HardwareRoot() / "dev";
    for (const char* name : {"x10", "x2", "x1", "x4"})
        std::ofstream(dev / name).put('x');
    m_registry.Link("COM10", (dev / "x10").string());
    m_registry.Link("COM 4", (dev / "x4").string());  // made by hand, with a blank
    m_registry.Link("COM2", (dev / "x2").string());
    m_registry.Link("COM1", (dev / "x1").string());
    QStringList items;
    QString tip;
    int selected = -2;
    AnswerNextModal([&](QWidget* chooser) {
        auto* combo = FindControlAs<QComboBox>(chooser, IDC_COMBO_PORTS);
        ASSERT_NE(combo, nullptr);
        for (int i = 0; i < combo->count(); ++i)
            items << combo->itemText(i);
        selected = combo->currentIndex();
        tip = combo->itemData(2, Qt::ToolTipRole).toString();
        Click(FindControl(chooser, IDCANCEL));
    });
    ClickControl(IDC_BTN_PORT);
    EXPECT_EQ(items, (QStringList{"COM1", "COM2", "COM4", "COM10"}));
    EXPECT_EQ(selected, 0);
    EXPECT_EQ(tip.toStdString(), (dev / "x4").string());
}

TEST_F(MainWindowTest, PortThatCannotBeOpenedIsReported) {
    const auto dev = m_registry.HardwareRoot() / "dev";
    std::ofstream(dev / "plain-file").put('x');  // exists, but is no serial line
    m_registry.Link("COM7", (dev / "plain-file").string());
    QString boxText;
    AnswerNextModal([&](QWidget* chooser) {
        AcceptNextMessageBox(&boxText);
        Click(FindControl(chooser, IDOK));
    });
    ClickControl(IDC_BTN_PORT);
    EXPECT_EQ(boxText, QString("打开 COM7 失败"));
    EXPECT_TRUE(LogHas(L"错误：打开 COM7 失败"));
    EXPECT_FALSE(Inside(m_dialog).m_portOpen);
}

}  // namespace
