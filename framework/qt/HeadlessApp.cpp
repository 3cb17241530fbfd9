#include "framework/HeadlessApp.h"

#include <QApplication>
#include <QDeadlineTimer>
#include <QEventLoop>
#include <QTimer>
#include <cstdio>
#include <memory>

#include "framework/ToolkitTranslations.h"

namespace {
// How long one pass of the event loop may wait for something to arrive.
constexpr int kPumpSliceMs = 5;

// Without a display the toolkit remarks on things that do not matter here (no runtime directory
// for root, windows that cannot be raised); keep those off the tool's output.
void QuietMessages(QtMsgType type, const QMessageLogContext&, const QString& message) {
    if (type == QtDebugMsg || type == QtInfoMsg)
        return;
    if (message.startsWith(QLatin1String("QStandardPaths:")) ||
        message.startsWith(QLatin1String("This plugin does not support")))
        return;
    std::fprintf(stderr, "%s\n", message.toLocal8Bit().constData());
}
}  // namespace

int AfxRunWithoutDisplay(const std::function<int()>& body) {
    if (QCoreApplication::instance() != nullptr)
        return body();
    // The offscreen platform needs no display server; set before the application reads it.
    qputenv("QT_QPA_PLATFORM", "offscreen");
    qInstallMessageHandler(QuietMessages);
    static int argc = 1;
    static char name[] = "orvane-cli";
    static char* argv[] = {name, nullptr};
    auto app = std::make_unique<QApplication>(argc, argv);
    AfxLoadToolkitTranslations();
    const int result = body();
    // Windows destroyed from inside a handler are deleted later; without a further pass of the
    // event loop that would never happen, so delete them before the application goes.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    app.reset();
    return result;
}

bool AfxPumpMessagesUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    QDeadlineTimer deadline(timeout.count());
    // The ticking timer bounds each wait for events, so the condition and the deadline are
    // looked at regularly even when nothing else happens.
    QTimer tick;
    tick.start(kPumpSliceMs);
    QEventLoop loop;
    while (!done()) {
        if (deadline.hasExpired())
            return done();
        loop.processEvents(QEventLoop::WaitForMoreEvents);
    }
    return true;
}
