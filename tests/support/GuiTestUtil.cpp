// GUI test helpers and the test executable's QApplication.
#include "tests/support/GuiTestUtil.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDeadlineTimer>
#include <QMessageBox>
#include <QPointer>
#include <QTest>
#include <QTimer>
#include <memory>

#include "framework/WidgetAccess.h"
#include "tests/support/TestTime.h"

using namespace std::chrono_literals;

namespace {

constexpr std::chrono::milliseconds kModalPollInterval = 5ms;

// One QApplication for the whole run; made before the first test, after gtest has read its flags.
class QtApplicationEnvironment : public testing::Environment {
public:
    void SetUp() override {
        // The offscreen platform's own screen (800 x 600) is smaller than any desktop the program
        // meets; a plain "offscreen" gets a 1920 x 1080 one. A run may name another screen:
        // QT_QPA_PLATFORM=offscreen:configfile=<tests/support/screen-*.json>.
        const QByteArray platform = qgetenv("QT_QPA_PLATFORM");
        if (platform.isEmpty() || platform == "offscreen")
            qputenv("QT_QPA_PLATFORM", "offscreen:configfile=" ORVANE_TEST_SCREENS "/screen-1920x1080.json");
        if (QCoreApplication::instance() == nullptr)
            m_app = std::make_unique<QApplication>(m_argc, m_argv);
    }
    void TearDown() override { m_app.reset(); }

private:
    int m_argc = 1;
    char m_name[16] = "gui_tests";
    char* m_argv[2] = {m_name, nullptr};
    std::unique_ptr<QApplication> m_app;
};

[[maybe_unused]] testing::Environment* const g_environment =
    testing::AddGlobalTestEnvironment(new QtApplicationEnvironment);

QWidget* FindIn(QWidget* widget, int id) {
    const QVariant value = widget->property("controlId");
    if (value.isValid() && value.toInt() == id)
        return widget;
    for (QObject* child : widget->children()) {
        if (auto* childWidget = qobject_cast<QWidget*>(child)) {
            if (QWidget* found = FindIn(childWidget, id))
                return found;
        }
    }
    return nullptr;
}

}  // namespace

namespace gui_test {

QWidget* FindControl(QWidget* root, int id) {
    return root != nullptr ? FindIn(root, id) : nullptr;
}

QWidget* WidgetOf(const CWnd& wnd) {
    return WidgetOf(wnd.GetSafeHwnd());
}

QWidget* WidgetOf(HWND hwnd) {
    return AfxGetWidget(hwnd);
}

void Click(QWidget* widget) {
    ASSERT_NE(widget, nullptr);
    QTest::mouseClick(widget, Qt::LeftButton, Qt::NoModifier, widget->rect().center());
}

void AnswerNextModal(std::function<void(QWidget*)> answer, std::chrono::milliseconds timeout) {
    QPointer<QWidget> before = QApplication::activeModalWidget();
    auto* timer = new QTimer;
    auto deadline = std::make_shared<QDeadlineTimer>(test_time::Limit(timeout));
    QObject::connect(timer, &QTimer::timeout, [timer, before, deadline, answer = std::move(answer)] {
        QWidget* modal = QApplication::activeModalWidget();
        if (modal != nullptr && modal != before.data() && modal->isVisible()) {
            timer->stop();
            timer->deleteLater();
            answer(modal);
        } else if (deadline->hasExpired()) {
            timer->stop();
            timer->deleteLater();
            ADD_FAILURE() << "no modal window appeared";
        }
    });
    timer->start(kModalPollInterval);
}

void AcceptNextMessageBox(QString* text, QString* title) {
    AnswerNextModal([text, title](QWidget* modal) {
        auto* box = qobject_cast<QMessageBox*>(modal);
        ASSERT_NE(box, nullptr) << "the modal window is not a message box";
        if (text != nullptr)
            *text = box->text();
        if (title != nullptr)
            *title = box->windowTitle();
        Click(box->button(QMessageBox::Ok));
    });
}

bool WaitFor(const std::function<bool()>& condition, std::chrono::milliseconds timeout) {
    return QTest::qWaitFor(condition, static_cast<int>(test_time::Limit(timeout).count()));
}

}  // namespace gui_test
