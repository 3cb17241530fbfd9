// The Qt widgets that stand for windows. Each knows its handle, routes posted window messages and
// key presses into the window layer, and takes its window out of the registry when it dies, so no
// handle outlives its widget.
#pragma once

#include <QEvent>
#include <QWidget>

#include "framework/WinTypes.h"

class QCloseEvent;

// Handles what every window widget shares: posted messages, and key presses, which pass through
// PreTranslateMessage and the dialog's Enter/Escape handling. True when the event was consumed.
bool HandleWindowEvent(HWND hwnd, QWidget* widget, QEvent* event);
// Removes the window from the registry; called by dying widgets.
void WindowWidgetDying(HWND hwnd);

template <class Base>
class ControlWidget : public Base {
public:
    ControlWidget(HWND hwnd, QWidget* parent) : Base(parent), m_hwnd(hwnd) {}
    ~ControlWidget() override { WindowWidgetDying(m_hwnd); }

protected:
    bool event(QEvent* event) override {
        if (HandleWindowEvent(m_hwnd, this, event))
            return true;
        return Base::event(event);
    }

private:
    HWND m_hwnd;
};

// A Windows radio button takes clicks anywhere in its rectangle, not only on its mark and label.
template <class Base>
class WholeAreaButton : public ControlWidget<Base> {
public:
    using ControlWidget<Base>::ControlWidget;

protected:
    bool hitButton(const QPoint& pos) const override { return this->rect().contains(pos); }
};

class DialogWidget : public QWidget {
public:
    DialogWidget(HWND hwnd, QWidget* parent, Qt::WindowFlags flags);
    ~DialogWidget() override;

    // The frame has no sizing border: it keeps this size except while maximized.
    void SetTemplateSize(const QSize& size);

protected:
    bool event(QEvent* event) override;
    void changeEvent(QEvent* event) override;
    // The close box asks the dialog to cancel, as Windows' default dialog procedure does.
    void closeEvent(QCloseEvent* event) override;

private:
    HWND m_hwnd;
    QSize m_templateSize;
};
