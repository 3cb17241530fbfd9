// Fitting dialogs to the work area of their screen.
#include "framework/qt/WorkAreaFit.h"

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QWidget>
#include <algorithm>

#include "framework/qt/DialogUnits.h"

namespace {

// Before a window is shown nobody can say how tall the window manager's caption will be; this
// allowance covers the usual desktops' captions and borders. A shown window's own frame, when it
// is larger, counts instead.
constexpr QMargins kFrameAllowance(8, 40, 8, 8);

ScreenArea ToArea(const QRect& rect) {
    return ScreenArea{rect.x(), rect.y(), rect.width(), rect.height()};
}

}  // namespace

QRect WorkAreaFit::WorkArea(const QWidget* owner) {
    const QScreen* screen = owner != nullptr && owner->isVisible() ? owner->screen() : nullptr;
    if (screen == nullptr)
        screen = QGuiApplication::primaryScreen();
    return screen != nullptr ? screen->availableGeometry() : QRect();
}

QMargins WorkAreaFit::FrameMargins() {
    QMargins margins = kFrameAllowance;
    for (const QWidget* window : QApplication::topLevelWidgets()) {
        if (!window->isVisible() || window->isMaximized() || window->isFullScreen())
            continue;
        const QRect frame = window->frameGeometry();
        const QRect client = window->geometry();
        margins.setLeft(std::max(margins.left(), client.left() - frame.left()));
        margins.setTop(std::max(margins.top(), client.top() - frame.top()));
        margins.setRight(std::max(margins.right(), frame.right() - client.right()));
        margins.setBottom(std::max(margins.bottom(), frame.bottom() - client.bottom()));
    }
    return margins;
}

WORD WorkAreaFit::PointSize(const DialogTemplate& dialogTemplate, const QRect& workArea) {
    if (!workArea.isValid())
        return dialogTemplate.pointSize;
    const QMargins margins = FrameMargins();
    return FitDialogPointSize(dialogTemplate, ToArea(workArea), [&](WORD pointSize) {
        const QFont font = DialogUnits::DialogFont(dialogTemplate.fontName, pointSize, dialogTemplate.weight);
        const QRect client = DialogUnits::MapDialogRect(DialogUnits::BaseUnits(font), 0, 0, dialogTemplate.cx,
                                                        dialogTemplate.cy);
        return ScreenArea{0, 0, client.width() + margins.left() + margins.right(),
                          client.height() + margins.top() + margins.bottom()};
    });
}

void WorkAreaFit::Place(QWidget* widget, const QWidget* owner, const QRect& workArea) {
    const QMargins margins = FrameMargins();
    const QSize frameSize = widget->size().grownBy(margins);
    const QRect around = owner != nullptr && owner->isVisible() ? owner->frameGeometry() : workArea;
    if (!around.isValid())
        return;
    QRect frame(QPoint(0, 0), frameSize);
    frame.moveCenter(around.center());
    if (workArea.isValid()) {
        const ScreenArea placed = PlaceInsideWorkArea(ToArea(frame), ToArea(workArea));
        frame.moveTopLeft(QPoint(placed.x, placed.y));
    }
    // A top-level window's position is its frame's.
    widget->move(frame.topLeft());
}
