// The program's templates built into windows: every control where the template puts it (dialog
// units converted with the dialog font's metrics), of the right kind, with its text, and a font
// that can actually draw the Chinese texts. Also the application icon, and the .ico file the Windows
// build compiles into its executable from the same drawing.
#include <gtest/gtest.h>

#include <QComboBox>
#include <QFontMetrics>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRawFont>
#include <QScreen>
#include <QTest>
#include <QWidget>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <iostream>
#include <iterator>

#include "framework/CDialogEx.h"
#include "framework/CWinApp.h"
#include "framework/DialogTemplate.h"
#include "framework/IconResource.h"
#include "tests/support/GuiTestUtil.h"
#include "tests/support/IcoFile.h"
#include "ui/Resources.h"
#include "ui/resource.h"

namespace {

class TemplateTest : public testing::Test {
protected:
    void SetUp() override { RegisterDialogResources(); }

    // Builds template `id` without showing it.
    QWidget* Build(CDialogEx& dialog) {
        EXPECT_TRUE(dialog.Create());
        return gui_test::WidgetOf(dialog);
    }
};

// Windows' base units: the average width of the 52 letters and the height of the font.
QSize BaseUnits(const QFont& font) {
    const QFontMetrics metrics(font);
    const double letters =
        metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    return QSize(static_cast<int>((letters / 26 + 1) / 2), metrics.height());
}

int ToPixels(int dlu, int base, int divisor) {
    return static_cast<int>(std::lround(dlu * base / double(divisor)));
}

TEST_F(TemplateTest, MainDialogControlsSitWhereTheTemplatePutsThem) {
    CDialogEx dialog(IDD_ORVANE_DIALOG);
    QWidget* widget = Build(dialog);
    ASSERT_NE(widget, nullptr);
    const QSize base = BaseUnits(widget->font());
    ASSERT_GT(base.width(), 0);

    EXPECT_EQ(widget->size(), QSize(ToPixels(480, base.width(), 4), ToPixels(365, base.height(), 8)));
    EXPECT_EQ(widget->minimumSize(), widget->maximumSize());  // not resizable
    EXPECT_EQ(widget->windowTitle(), QStringLiteral("Orvane"));

    // Every addressed control (the table test pins the template's numbers themselves).
    for (const DialogItemTemplate& item : AfxFindDialogTemplate(IDD_ORVANE_DIALOG)->items) {
        if (item.id == IDC_STATIC || item.id == IDC_COMBO_BAUD)
            continue;
        SCOPED_TRACE(item.id);
        QWidget* control = gui_test::FindControl(widget, item.id);
        ASSERT_NE(control, nullptr);
        EXPECT_EQ(control->geometry(),
                  QRect(ToPixels(item.x, base.width(), 4), ToPixels(item.y, base.height(), 8),
                        ToPixels(item.cx, base.width(), 4), ToPixels(item.cy, base.height(), 8)));
    }
    // The combo box's template height includes its list; only the position and width are fixed.
    QWidget* combo = gui_test::FindControl(widget, IDC_COMBO_BAUD);
    ASSERT_NE(combo, nullptr);
    EXPECT_EQ(combo->pos(), QPoint(ToPixels(65, base.width(), 4), ToPixels(311, base.height(), 8)));
    EXPECT_EQ(combo->width(), ToPixels(100, base.width(), 4));

    // A maximize box but no sizing border: only a maximized frame may grow (never below the
    // template's size), and restoring makes it fixed at the template's size again.
    EXPECT_TRUE(widget->windowFlags() & Qt::WindowMaximizeButtonHint);
    const QSize normal = widget->size();
    widget->showMaximized();
    ASSERT_TRUE(gui_test::WaitFor([&] { return widget->isMaximized(); }));
    EXPECT_EQ(widget->minimumSize(), normal);
    EXPECT_GT(widget->maximumWidth(), normal.width());
    widget->showNormal();
    ASSERT_TRUE(gui_test::WaitFor([&] { return !widget->isMaximized(); }));
    EXPECT_EQ(widget->size(), normal);
    EXPECT_EQ(widget->minimumSize(), widget->maximumSize());
}

TEST_F(TemplateTest, MainDialogControlsHaveTheirKindAndText) {
    CDialogEx dialog(IDD_ORVANE_DIALOG);
    QWidget* widget = Build(dialog);
    ASSERT_NE(widget, nullptr);
    struct Expected {
        int id;
        const char* qtClass;
        const char* text;
    };
    const Expected controls[] = {
        {IDC_BTN_PORT, "QPushButton", "打开串口"},
        {IDC_STATIC_PORT_STATE, "QLabel", "串口未打开"},
        {IDC_EDIT_ADDRESS, "QLineEdit", ""},
        {IDC_RADIO_STANDBY, "QRadioButton", "预备模式"},
        {IDC_RADIO_FIRMWARE, "QRadioButton", "固件更新模式"},
        {IDC_RADIO_PROGRAM, "QRadioButton", "程序更新模式"},
        {IDC_STATIC_MODE, "QLabel", "预备模式"},
        {IDC_BTN_TEST, "QPushButton", "连接设备"},
        {IDC_BTN_OPEN_FILE, "QPushButton", "打开文件"},
        {IDC_BTN_START, "QPushButton", "开始更新"},
        {IDC_BTN_STOP, "QPushButton", "更新停止"},
        {IDC_STATIC_PROGRESS, "QLabel", "更新进度: 0%"},
        {IDC_PROGRESS, "QProgressBar", ""},
        {IDC_STATIC_STATE, "QLabel", "等待开始"},
        {IDC_COMBO_BAUD, "QComboBox", ""},
        {IDC_EDIT_LOG, "QPlainTextEdit", ""},
    };
    for (const Expected& c : controls) {
        SCOPED_TRACE(c.id);
        QWidget* control = gui_test::FindControl(widget, c.id);
        ASSERT_NE(control, nullptr);
        EXPECT_TRUE(control->inherits(c.qtClass));
        CWnd* item = dialog.GetDlgItem(c.id);
        ASSERT_NE(item, nullptr);
        CString text;
        item->GetWindowText(text);
        EXPECT_EQ(QString::fromStdWString(text.Str()), QString::fromUtf8(c.text));
    }
    int withId = 0;
    for (QWidget* child : widget->findChildren<QWidget*>())
        withId += child->property("controlId").isValid();
    EXPECT_EQ(withId, 23);

    auto* address = qobject_cast<QLineEdit*>(gui_test::FindControl(widget, IDC_EDIT_ADDRESS));
    ASSERT_NE(address, nullptr);
    QTest::keyClicks(address, "1a2");
    EXPECT_EQ(address->text(), QStringLiteral("12"));

    auto* log = qobject_cast<QPlainTextEdit*>(gui_test::FindControl(widget, IDC_EDIT_LOG));
    ASSERT_NE(log, nullptr);
    EXPECT_TRUE(log->isReadOnly());
    EXPECT_EQ(log->lineWrapMode(), QPlainTextEdit::WidgetWidth);
    EXPECT_EQ(log->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    auto* baud = qobject_cast<QComboBox*>(gui_test::FindControl(widget, IDC_COMBO_BAUD));
    ASSERT_NE(baud, nullptr);
    EXPECT_FALSE(baud->isEditable());
}

// The templates as data, row by row: ID, class, text, position and every style bit.
TEST_F(TemplateTest, TemplatesHoldEveryControlAsDesigned) {
    struct Item {
        int id;
        const wchar_t* className;
        const wchar_t* text;
        short x, y, cx, cy;
        DWORD style, exStyle;
    };
    struct Dialog {
        UINT id;
        const wchar_t* caption;
        short cx, cy;
        DWORD style, exStyle;
        std::vector<Item> items;
    };
    const Dialog dialogs[] = {
        {IDD_ORVANE_DIALOG,
         L"Orvane",
         480,
         365,
         0x80CB0040,
         0x00040000,
         {
             {-1, L"BUTTON", L"串口控制", 10, 20, 231, 71, 0x50000007, 0},
             {1001, L"BUTTON", L"打开串口", 20, 35, 46, 17, 0x50010000, 0},
             {1002, L"STATIC", L"串口未打开", 73, 40, 117, 12, 0x50020000, 0},
             {-1, L"STATIC", L"设备地址:", 20, 66, 45, 12, 0x50020000, 0},
             {1003, L"EDIT", L"", 71, 62, 46, 14, 0x50812000, 0},
             {-1, L"BUTTON", L"工作模式切换", 10, 99, 231, 45, 0x50000007, 0},
             {1004, L"BUTTON", L"预备模式", 20, 118, 70, 12, 0x50020009, 0},
             {1005, L"BUTTON", L"固件更新模式", 84, 118, 80, 12, 0x50000009, 0},
             {1006, L"BUTTON", L"程序更新模式", 168, 118, 80, 12, 0x50000009, 0},
             {1007, L"STATIC", L"预备模式", 20, 173, 162, 12, 0x50020000, 0},
             {-1, L"BUTTON", L"操作控制", 10, 155, 231, 71, 0x50000007, 0},
             {1008, L"BUTTON", L"连接设备", 18, 188, 48, 18, 0x50010000, 0},
             {1009, L"BUTTON", L"打开文件", 71, 188, 48, 18, 0x50010000, 0},
             {1010, L"BUTTON", L"开始更新", 126, 188, 48, 18, 0x50010000, 0},
             {1011, L"BUTTON", L"更新停止", 182, 188, 48, 18, 0x50010000, 0},
             {-1, L"BUTTON", L"更新进度", 9, 236, 232, 103, 0x50000007, 0},
             {1012, L"STATIC", L"更新进度: 0%", 20, 253, 240, 12, 0x50020000, 0},
             {1013, L"msctls_progress32", L"", 20, 271, 198, 16, 0x50800000, 0},
             {1014, L"STATIC", L"等待开始", 20, 293, 184, 12, 0x50020000, 0},
             {-1, L"STATIC", L"波特率:", 20, 313, 40, 12, 0x50020000, 0},
             {1015, L"COMBOBOX", L"", 65, 311, 100, 60, 0x50210003, 0},
             {1016, L"EDIT", L"", 260, 31, 199, 309, 0x50A10844, 0x00020200},
             {-1, L"BUTTON", L"消息日志", 252, 16, 214, 332, 0x50000007, 0},
         }},
        {IDD_OPEN_SERIAL,
         L"打开串口",
         250,
         90,
         0x80C80040,
         0,
         {
             {-1, L"STATIC", L"选择串口号:", 20, 15, 60, 12, 0x50020000, 0},
             {1017, L"COMBOBOX", L"", 85, 13, 96, 60, 0x50210003, 0},
             {1, L"BUTTON", L"确定", 70, 50, 50, 20, 0x50010001, 0},
             {2, L"BUTTON", L"取消", 135, 50, 50, 20, 0x50010000, 0},
         }},
    };
    for (const Dialog& d : dialogs) {
        SCOPED_TRACE(d.id);
        const DialogTemplate* t = AfxFindDialogTemplate(d.id);
        ASSERT_NE(t, nullptr);
        EXPECT_EQ(std::wstring(t->caption), d.caption);
        EXPECT_EQ(std::wstring(t->fontName), L"宋体");
        EXPECT_EQ(t->pointSize, 14);
        EXPECT_EQ(t->weight, 400);
        EXPECT_EQ(t->cx, d.cx);
        EXPECT_EQ(t->cy, d.cy);
        EXPECT_EQ(t->style, d.style);
        EXPECT_EQ(t->exStyle, d.exStyle);
        ASSERT_EQ(t->items.size(), d.items.size());
        for (size_t i = 0; i < d.items.size(); ++i) {
            SCOPED_TRACE(i + 1);
            const Item& want = d.items[i];
            const DialogItemTemplate& got = t->items[i];
            EXPECT_EQ(got.id, want.id);
            EXPECT_EQ(std::wstring(got.className), want.className);
            EXPECT_EQ(std::wstring(got.text), want.text);
            EXPECT_EQ(std::tie(got.x, got.y, got.cx, got.cy), std::tie(want.x, want.y, want.cx, want.cy));
            EXPECT_EQ(got.style, want.style) << std::hex << got.style;
            EXPECT_EQ(got.exStyle, want.exStyle) << std::hex << got.exStyle;
        }
    }
}

TEST_F(TemplateTest, ModeRadiosFormOneGroup) {
    CDialogEx dialog(IDD_ORVANE_DIALOG);
    ASSERT_NE(Build(dialog), nullptr);
    CButton standby, firmware, program;
    ASSERT_TRUE(standby.Attach(dialog.GetDlgItem(IDC_RADIO_STANDBY)->Detach()));
    ASSERT_TRUE(firmware.Attach(dialog.GetDlgItem(IDC_RADIO_FIRMWARE)->Detach()));
    ASSERT_TRUE(program.Attach(dialog.GetDlgItem(IDC_RADIO_PROGRAM)->Detach()));
    standby.SetCheck(BST_CHECKED);
    program.SetCheck(BST_CHECKED);
    EXPECT_EQ(standby.GetCheck(), BST_UNCHECKED);
    EXPECT_EQ(firmware.GetCheck(), BST_UNCHECKED);
    EXPECT_EQ(program.GetCheck(), BST_CHECKED);
}

TEST_F(TemplateTest, PortChooserHasItsControlsAndCaption) {
    CDialogEx dialog(IDD_OPEN_SERIAL);
    QWidget* widget = Build(dialog);
    ASSERT_NE(widget, nullptr);
    const QSize base = BaseUnits(widget->font());
    EXPECT_EQ(widget->windowTitle(), QStringLiteral("打开串口"));
    EXPECT_EQ(widget->size(), QSize(ToPixels(250, base.width(), 4), ToPixels(90, base.height(), 8)));
    auto* ok = qobject_cast<QPushButton*>(gui_test::FindControl(widget, IDOK));
    auto* cancel = qobject_cast<QPushButton*>(gui_test::FindControl(widget, IDCANCEL));
    ASSERT_NE(ok, nullptr);
    ASSERT_NE(cancel, nullptr);
    EXPECT_EQ(ok->text(), QStringLiteral("确定"));
    EXPECT_TRUE(ok->isDefault());
    EXPECT_EQ(cancel->text(), QStringLiteral("取消"));
    EXPECT_EQ(ok->geometry(), QRect(ToPixels(70, base.width(), 4), ToPixels(50, base.height(), 8),
                                    ToPixels(50, base.width(), 4), ToPixels(20, base.height(), 8)));
    EXPECT_NE(qobject_cast<QComboBox*>(gui_test::FindControl(widget, IDC_COMBO_PORTS)), nullptr);
}

// The whole window lies in the screen's work area. Where the template's 14-point type fits (1920 x
// 1080), it is kept; on a smaller screen (CTest's framework.SmallScreen runs this on 1366 x 768) the
// main window is laid out in a smaller font, just small enough, never below 9 points, and the port
// chooser, which fits, keeps its own.
TEST_F(TemplateTest, WindowsFitTheScreen) {
    const QRect work = QGuiApplication::primaryScreen()->availableGeometry();
    // The main window in 14-point type is about 960 pixels tall with its caption.
    const bool roomy = work.height() >= 1000;
    constexpr int kTemplatePixels = 19;  // 14 points at 96 dpi
    constexpr int kMinimumPixels = 12;   // 9 points
    CDialogEx mainDialog(IDD_ORVANE_DIALOG);
    QWidget* mainWindow = Build(mainDialog);
    ASSERT_NE(mainWindow, nullptr);
    mainWindow->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(mainWindow));
    CDialogEx chooser(IDD_OPEN_SERIAL, &mainDialog);
    QWidget* chooserWindow = Build(chooser);
    ASSERT_NE(chooserWindow, nullptr);
    chooserWindow->show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(chooserWindow));

    const QRect mainFrame = mainWindow->frameGeometry();
    std::cout << "work area " << work.width() << " x " << work.height() << "; main window font "
              << mainWindow->font().pixelSize() << " px, frame " << mainFrame.width() << " x "
              << mainFrame.height() << " at " << mainFrame.x() << "," << mainFrame.y() << "\n";
    for (QWidget* window : {mainWindow, chooserWindow}) {
        SCOPED_TRACE(window->windowTitle().toStdString());
        const QRect frame = window->frameGeometry();
        EXPECT_TRUE(work.contains(frame)) << frame.x() << "," << frame.y() << " " << frame.width() << "x"
                                          << frame.height() << " on " << work.width() << "x" << work.height();
    }
    EXPECT_EQ(chooserWindow->font().pixelSize(), kTemplatePixels);
    if (roomy) {
        EXPECT_EQ(mainWindow->font().pixelSize(), kTemplatePixels);
    } else {
        EXPECT_LT(mainWindow->font().pixelSize(), kTemplatePixels);
        EXPECT_GE(mainWindow->font().pixelSize(), kMinimumPixels);
        // One point less than needed would leave well over a tenth of the height unused.
        EXPECT_GT(mainWindow->frameGeometry().height(), work.height() * 85 / 100);
    }
    // The layout is the template's in the font's dialog units.
    const QSize base = BaseUnits(mainWindow->font());
    EXPECT_EQ(mainWindow->size(), QSize(ToPixels(480, base.width(), 4), ToPixels(365, base.height(), 8)));
}

TEST_F(TemplateTest, DialogFontDrawsEveryChineseText) {
    CDialogEx dialog(IDD_ORVANE_DIALOG);
    QWidget* widget = Build(dialog);
    ASSERT_NE(widget, nullptr);
    const QRawFont raw = QRawFont::fromFont(widget->font());
    ASSERT_TRUE(raw.isValid());
    EXPECT_EQ(widget->font().pixelSize(), 19);  // 14 points at 96 dpi
    EXPECT_TRUE(raw.supportsCharacter(U'串'));
    for (UINT id : {IDD_ORVANE_DIALOG, IDD_OPEN_SERIAL}) {
        const DialogTemplate* dialogTemplate = AfxFindDialogTemplate(id);
        ASSERT_NE(dialogTemplate, nullptr);
        for (const DialogItemTemplate& item : dialogTemplate->items) {
            for (const wchar_t* ch = item.text; *ch != 0; ++ch) {
                EXPECT_TRUE(raw.supportsCharacter(static_cast<char32_t>(*ch))) << std::hex << int(*ch);
            }
        }
    }
}

TEST_F(TemplateTest, ApplicationIconHasEverySizeAndShowsOnTheWindow) {
    const HICON icon = AfxGetApp()->LoadIcon(IDR_MAINFRAME);
    ASSERT_NE(icon, nullptr);
    EXPECT_EQ(AfxGetApp()->LoadIcon(IDR_MAINFRAME), icon);
    EXPECT_EQ(AfxGetApp()->LoadIcon(999), nullptr);
    std::vector<int> sizes;
    for (const IconImage& image : AfxGetIconImages(icon)) {
        SCOPED_TRACE(image.size);
        sizes.push_back(image.size);
        ASSERT_EQ(image.argb.size(), static_cast<size_t>(image.size * image.size));
        const uint32_t corner = image.argb.front();
        const uint32_t centre = image.argb[static_cast<size_t>(image.size / 2 * image.size + image.size / 2)];
        EXPECT_EQ(corner >> 24, 0u);     // rounded tile: transparent corners
        EXPECT_EQ(centre >> 24, 0xFFu);  // opaque middle
    }
    EXPECT_EQ(sizes, (std::vector<int>{256, 128, 64, 48, 32, 16}));

    CDialogEx dialog(IDD_ORVANE_DIALOG);
    QWidget* widget = Build(dialog);
    ASSERT_NE(widget, nullptr);
    EXPECT_EQ(dialog.SetIcon(icon, TRUE), nullptr);
    EXPECT_EQ(dialog.SetIcon(icon, FALSE), nullptr);
    EXPECT_EQ(dialog.SetIcon(icon, TRUE), icon);
    const QList<QSize> available = widget->windowIcon().availableSizes();
    EXPECT_TRUE(available.contains(QSize(16, 16)));
    EXPECT_TRUE(available.contains(QSize(256, 256)));
}

// The Windows executable's icon resource is the committed app/orvane.ico. It must show what the
// drawing code draws; after changing the drawing, rewrite it with
//   ORVANE_WRITE_ICON=app/orvane.ico build/tests/framework_tests --gtest_filter='*IconFile*'
TEST_F(TemplateTest, IconFileOfTheWindowsBuildHoldsTheDrawnImages) {
    const std::vector<IconImage> drawn = DrawApplicationIcon();
    if (const char* target = std::getenv("ORVANE_WRITE_ICON")) {
        const std::vector<uint8_t> encoded = EncodeIcoFile(drawn);
        std::ofstream(target, std::ios::binary)
            .write(reinterpret_cast<const char*>(encoded.data()),
                   static_cast<std::streamsize>(encoded.size()));
    }
    std::ifstream in(ORVANE_SOURCE_DIR "/app/orvane.ico", std::ios::binary);
    ASSERT_TRUE(in.good());
    const std::vector<uint8_t> file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const std::vector<IconImage> stored = DecodeIcoFile(file);
    ASSERT_EQ(stored.size(), drawn.size());
    for (size_t i = 0; i < drawn.size(); ++i) {
        SCOPED_TRACE(drawn[i].size);
        EXPECT_EQ(stored[i].size, drawn[i].size);
        EXPECT_TRUE(stored[i].argb == drawn[i].argb);
    }
    // The 256-pixel image travels as PNG, as the system's icon loader expects of that size.
    const size_t firstImage = file[18] | file[19] << 8 | file[20] << 16 | static_cast<size_t>(file[21]) << 24;
    ASSERT_LT(firstImage + 4, file.size());
    EXPECT_EQ(file[firstImage + 1], 'P');
}

}  // namespace
