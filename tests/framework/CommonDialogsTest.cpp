// Message boxes and the file dialog, answered from the test as a user would.
#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>

#include "framework/AfxMessageBox.h"
#include "framework/CFileDialog.h"
#include "framework/FileFilter.h"
#include "framework/ToolkitTranslations.h"
#include "tests/support/GuiTestUtil.h"
#include "ui/Resources.h"

namespace {

constexpr const wchar_t* kFirmwareFilter = L"固件文件 (*.trs)|*.trs|所有文件 (*.*)|*.*||";

TEST(MessageBoxTest, ShowsTheTextUnderTheApplicationTitleWithOkOnly) {
    RegisterDialogResources();
    struct Case {
        UINT type;
        QMessageBox::Icon icon;
    };
    for (const Case& c :
         {Case{MB_OK, QMessageBox::Warning}, Case{MB_OK | MB_ICONERROR, QMessageBox::Critical},
          Case{MB_OK | MB_ICONINFORMATION, QMessageBox::Information}}) {
        QString text;
        QString title;
        QMessageBox::Icon icon = QMessageBox::NoIcon;
        int buttons = 0;
        gui_test::AnswerNextModal([&](QWidget* modal) {
            auto* box = qobject_cast<QMessageBox*>(modal);
            ASSERT_NE(box, nullptr);
            text = box->text();
            title = box->windowTitle();
            icon = box->icon();
            buttons = static_cast<int>(box->buttons().size());
            gui_test::Click(box->button(QMessageBox::Ok));
        });
        EXPECT_EQ(AfxMessageBox(L"请选择有效的串口", c.type), IDOK);
        EXPECT_EQ(text, QStringLiteral("请选择有效的串口"));
        // Without a title entry in the string table, the executable's name (here the test's).
        EXPECT_EQ(title, QFileInfo(QCoreApplication::applicationFilePath()).completeBaseName());
        EXPECT_EQ(icon, c.icon);
        EXPECT_EQ(buttons, 1);
    }
}

TEST(MessageBoxTest, EscapeDismissesIt) {
    gui_test::AnswerNextModal([](QWidget* modal) { QTest::keyClick(modal, Qt::Key_Escape); });
    EXPECT_EQ(AfxMessageBox(L"没有可用的串口"), IDOK);
}

TEST(FileFilterTest, TranslatesPairsForQtToParse) {
    struct Case {
        const wchar_t* filter;
        QStringList expected;
    };
    const Case cases[] = {
        {kFirmwareFilter, {QStringLiteral("固件文件 (*.trs) (*.trs)"), QStringLiteral("所有文件 (*.*) (*)")}},
        {L"程序文件 (*.tr3)|*.tr3|所有文件 (*.*)|*.*||",
         {QStringLiteral("程序文件 (*.tr3) (*.tr3)"), QStringLiteral("所有文件 (*.*) (*)")}},
        {L"Images|*.bmp; *.png||", {QStringLiteral("Images (*.bmp *.png)")}},
        {L"Text|*.txt", {QStringLiteral("Text (*.txt)")}},
        {L"Broken||All|*.*||", {}},
        {L"", {}},
        {nullptr, {}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(TranslateFileFilter(c.filter), c.expected)
            << QString::fromWCharArray(c.filter ? c.filter : L"(null)").toStdString();
    }
}

class FileDialogTest : public testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(m_dir.isValid());
        m_image = m_dir.filePath(QStringLiteral("固件.trs"));
        QFile file(m_image);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
    }

    QTemporaryDir m_dir;
    QString m_image;
};

TEST_F(FileDialogTest, ShowsTheFilterTextsAndReturnsTheChosenPath) {
    QStringList shownTypes;
    gui_test::AnswerNextModal([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        auto* types = dialog->findChild<QComboBox*>(QStringLiteral("fileTypeCombo"));
        ASSERT_NE(types, nullptr);
        for (int i = 0; i < types->count(); ++i)
            shownTypes << types->itemText(i);
        dialog->setDirectory(m_dir.path());
        dialog->selectFile(m_image);
        QMetaObject::invokeMethod(dialog, "accept");
    });
    CFileDialog dialog(TRUE, nullptr, nullptr, OFN_HIDEREADONLY, kFirmwareFilter);
    EXPECT_EQ(dialog.DoModal(), IDOK);
    EXPECT_EQ(shownTypes,
              (QStringList{QStringLiteral("固件文件 (*.trs)"), QStringLiteral("所有文件 (*.*)")}));
    EXPECT_EQ(QString::fromStdWString(dialog.GetPathName().Str()), m_image);
    EXPECT_EQ(dialog.GetFileName(), L"固件.trs");
}

TEST_F(FileDialogTest, CancelLeavesNoPath) {
    gui_test::AnswerNextModal([](QWidget* modal) { QTest::keyClick(modal, Qt::Key_Escape); });
    CFileDialog dialog(TRUE, nullptr, nullptr, OFN_HIDEREADONLY, kFirmwareFilter);
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    EXPECT_TRUE(dialog.GetPathName().IsEmpty());
}

// The toolkit draws these texts itself; without its Chinese catalogue they come out in English.
TEST_F(FileDialogTest, StandardTextsReadInChinese) {
    ASSERT_TRUE(AfxLoadToolkitTranslations());
    EXPECT_TRUE(AfxLoadToolkitTranslations());

    QString ok;
    gui_test::AnswerNextModal([&](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr);
        ok = box->button(QMessageBox::Ok)->text();
        gui_test::Click(box->button(QMessageBox::Ok));
    });
    AfxMessageBox(L"请选择有效的串口", MB_OK);
    EXPECT_EQ(ok, QStringLiteral("确定"));

    QStringList texts;
    gui_test::AnswerNextModal([&](QWidget* modal) {
        auto* dialog = qobject_cast<QFileDialog*>(modal);
        ASSERT_NE(dialog, nullptr);
        auto* buttons = dialog->findChild<QDialogButtonBox*>(QStringLiteral("buttonBox"));
        ASSERT_NE(buttons, nullptr);
        texts << buttons->button(QDialogButtonBox::Open)->text()
              << buttons->button(QDialogButtonBox::Cancel)->text();
        for (const char* name : {"lookInLabel", "fileNameLabel"}) {
            auto* label = dialog->findChild<QLabel*>(QLatin1String(name));
            ASSERT_NE(label, nullptr) << name;
            texts << label->text();
        }
        QTest::keyClick(modal, Qt::Key_Escape);
    });
    CFileDialog dialog(TRUE, nullptr, nullptr, OFN_HIDEREADONLY, kFirmwareFilter);
    EXPECT_EQ(dialog.DoModal(), IDCANCEL);
    EXPECT_EQ(texts, (QStringList{QStringLiteral("打开(&O)"), QStringLiteral("取消"),
                                  QStringLiteral("查找范围："), QStringLiteral("文件名称(&N)：")}));
}

}  // namespace
