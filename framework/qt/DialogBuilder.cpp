// Building dialogs from templates.
#include "framework/qt/DialogBuilder.h"

#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QRegularExpressionValidator>
#include <QResizeEvent>
#include <QScrollBar>
#include <QStyle>
#include <algorithm>
#include <cwchar>

#include "framework/qt/ControlWidgets.h"
#include "framework/qt/DialogUnits.h"
#include "framework/qt/WindowRegistry.h"

namespace {

bool ClassIs(const wchar_t* className, const wchar_t* name) {
    if (className == nullptr)
        return false;
    for (; *className != 0 && *name != 0; ++className, ++name) {
        if (std::towupper(*className) != std::towupper(*name))
            return false;
    }
    return *className == *name;
}

QString Text(const wchar_t* text) {
    return QString::fromWCharArray(text ? text : L"");
}

Qt::Alignment TextAlignment(DWORD style) {
    switch (style & 0x3) {
        case SS_CENTER:
            return Qt::AlignHCenter;
        case SS_RIGHT:
            return Qt::AlignRight;
        default:
            return Qt::AlignLeft;
    }
}

// A hidden widget receives its resize event only when first shown; the log's wrapping width (and
// so its line count) must be right before that, for dialogs driven without being shown.
void DeliverPendingResize(QWidget* widget) {
    QResizeEvent event(widget->size(), QSize());
    QApplication::sendEvent(widget, &event);
}

}  // namespace

HWND DialogBuilder::Build(const DialogTemplate& dialogTemplate, WORD pointSize, CWnd& dialog,
                          QWidget* owner) {
    if (qobject_cast<QApplication*>(QCoreApplication::instance()) == nullptr)
        return nullptr;

    auto record = std::make_unique<WindowRecord>();
    record->kind = WindowKind::Dialog;
    record->style = dialogTemplate.style;
    record->dialog = std::make_unique<DialogState>();
    record->dialog->dialogTemplate = &dialogTemplate;
    WindowRecord* dialogRecord = record.get();
    const HWND hwnd = WindowRegistry::Add(std::move(record));

    Qt::WindowFlags flags = (dialogTemplate.exStyle & WS_EX_APPWINDOW) ? Qt::Window : Qt::Dialog;
    flags |= Qt::CustomizeWindowHint;
    if ((dialogTemplate.style & WS_CAPTION) == WS_CAPTION)
        flags |= Qt::WindowTitleHint;
    if (dialogTemplate.style & WS_SYSMENU)
        flags |= Qt::WindowSystemMenuHint | Qt::WindowCloseButtonHint;
    if (dialogTemplate.style & WS_MINIMIZEBOX)
        flags |= Qt::WindowMinimizeButtonHint;
    if (dialogTemplate.style & WS_MAXIMIZEBOX)
        flags |= Qt::WindowMaximizeButtonHint;
    auto* widget = new DialogWidget(hwnd, owner, flags);
    dialogRecord->widget = widget;

    const QFont font =
        (dialogTemplate.style & DS_SETFONT)
            ? DialogUnits::DialogFont(dialogTemplate.fontName, pointSize, dialogTemplate.weight)
            : QApplication::font();
    widget->setFont(font);
    widget->setWindowTitle(Text(dialogTemplate.caption));
    const DialogBaseUnits units = DialogUnits::BaseUnits(font);
    const QRect client = DialogUnits::MapDialogRect(units, 0, 0, dialogTemplate.cx, dialogTemplate.cy);
    widget->SetTemplateSize(client.size());

    QButtonGroup* radioGroup = nullptr;
    for (const DialogItemTemplate& item : dialogTemplate.items)
        AddControl(hwnd, widget, item, units, radioGroup);

    dialog.Attach(hwnd);
    return hwnd;
}

void DialogBuilder::AddControl(HWND dialog, QWidget* dialogWidget, const DialogItemTemplate& item,
                               const DialogBaseUnits& units, QButtonGroup*& radioGroup) {
    WindowRecord* dialogRecord = WindowRegistry::Find(dialog);
    auto record = std::make_unique<WindowRecord>();
    record->parent = dialog;
    record->controlId = item.id;
    record->style = item.style;
    WindowRecord* controlRecord = record.get();
    const HWND hwnd = WindowRegistry::Add(std::move(record));

    // WS_GROUP ends the running radio group; the next radio button starts a new one.
    if (item.style & WS_GROUP)
        radioGroup = nullptr;

    QRect geometry = DialogUnits::MapDialogRect(units, item.x, item.y, item.cx, item.cy);
    QWidget* widget = nullptr;
    if (ClassIs(item.className, L"BUTTON")) {
        const DWORD type = item.style & BS_TYPEMASK;
        if (type == BS_GROUPBOX) {
            auto* box = new ControlWidget<QGroupBox>(hwnd, dialogWidget);
            box->setTitle(Text(item.text));
            // A group box is a frame drawn behind its sibling controls; it must not take their clicks.
            box->setAttribute(Qt::WA_TransparentForMouseEvents);
            box->setFocusPolicy(Qt::NoFocus);
            controlRecord->kind = WindowKind::GroupBox;
            widget = box;
        } else if (type == BS_AUTORADIOBUTTON) {
            auto* radio = new WholeAreaButton<QRadioButton>(hwnd, dialogWidget);
            radio->setText(Text(item.text));
            radio->setAutoExclusive(false);
            if (radioGroup == nullptr) {
                radioGroup = new QButtonGroup(dialogWidget);
                radioGroup->setExclusive(true);
                dialogRecord->dialog->radioGroups.push_back(radioGroup);
            }
            radioGroup->addButton(radio);
            QObject::connect(radio, &QAbstractButton::clicked, radio,
                             [hwnd] { WindowRegistry::Notify(hwnd, BN_CLICKED); });
            controlRecord->kind = WindowKind::RadioButton;
            widget = radio;
        } else {
            auto* button = new ControlWidget<QPushButton>(hwnd, dialogWidget);
            button->setText(Text(item.text));
            button->setAutoDefault(false);
            if (type == BS_DEFPUSHBUTTON) {
                button->setDefault(true);
                dialogRecord->dialog->defaultButtonId = item.id;
            }
            QObject::connect(button, &QAbstractButton::clicked, button,
                             [hwnd] { WindowRegistry::Notify(hwnd, BN_CLICKED); });
            controlRecord->kind = WindowKind::PushButton;
            widget = button;
        }
    } else if (ClassIs(item.className, L"EDIT")) {
        if (item.style & ES_MULTILINE) {
            auto* edit = new ControlWidget<QPlainTextEdit>(hwnd, dialogWidget);
            edit->setReadOnly((item.style & ES_READONLY) != 0);
            edit->setUndoRedoEnabled(false);
            edit->setLineWrapMode((item.style & ES_AUTOHSCROLL) ? QPlainTextEdit::NoWrap
                                                                : QPlainTextEdit::WidgetWidth);
            edit->setWordWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
            edit->setVerticalScrollBarPolicy((item.style & WS_VSCROLL) ? Qt::ScrollBarAlwaysOn
                                                                       : Qt::ScrollBarAlwaysOff);
            edit->setHorizontalScrollBarPolicy((item.style & WS_HSCROLL) ? Qt::ScrollBarAlwaysOn
                                                                         : Qt::ScrollBarAlwaysOff);
            if (item.style & ES_READONLY) {
                edit->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
            }
            controlRecord->kind = WindowKind::MultiLineEdit;
            widget = edit;
        } else {
            auto* edit = new ControlWidget<QLineEdit>(hwnd, dialogWidget);
            edit->setReadOnly((item.style & ES_READONLY) != 0);
            edit->setFrame((item.style & WS_BORDER) != 0 || (item.exStyle & WS_EX_CLIENTEDGE) != 0);
            edit->setAlignment(TextAlignment(item.style) | Qt::AlignVCenter);
            if (item.style & ES_NUMBER) {
                edit->setValidator(
                    new QRegularExpressionValidator(QRegularExpression(QStringLiteral("[0-9]*")), edit));
            }
            edit->setText(Text(item.text));
            // Only the user's typing notifies here; text set from code notifies in SetWindowText.
            QObject::connect(edit, &QLineEdit::textEdited, edit,
                             [hwnd] { WindowRegistry::Notify(hwnd, EN_CHANGE); });
            controlRecord->kind = WindowKind::Edit;
            widget = edit;
        }
    } else if (ClassIs(item.className, L"COMBOBOX")) {
        auto* combo = new ControlWidget<QComboBox>(hwnd, dialogWidget);
        combo->setEditable(false);
        combo->setInsertPolicy(QComboBox::InsertAtBottom);
        // The template's height includes the drop-down list; the closed box is as tall as its font
        // needs, and the list shows as many items as fit into the rest.
        const int closedHeight = std::min(geometry.height(), combo->sizeHint().height());
        const int itemHeight = std::max(1, combo->fontMetrics().height() + 2);
        combo->setMaxVisibleItems(std::max(1, (geometry.height() - closedHeight) / itemHeight));
        geometry.setHeight(closedHeight);
        QObject::connect(combo, &QComboBox::activated, combo,
                         [hwnd] { WindowRegistry::Notify(hwnd, CBN_SELCHANGE); });
        controlRecord->kind = WindowKind::ComboBox;
        widget = combo;
    } else if (ClassIs(item.className, L"msctls_progress32")) {
        auto* progress = new ControlWidget<QProgressBar>(hwnd, dialogWidget);
        progress->setRange(0, 100);
        progress->setValue(0);
        progress->setTextVisible(false);
        controlRecord->kind = WindowKind::Progress;
        widget = progress;
    } else {
        // STATIC, and any class this layer does not know, shows its text.
        auto* label = new ControlWidget<QLabel>(hwnd, dialogWidget);
        label->setTextFormat(Qt::PlainText);
        label->setText(Text(item.text));
        label->setWordWrap(true);
        label->setAlignment(TextAlignment(item.style) | Qt::AlignTop);
        controlRecord->kind = WindowKind::Static;
        widget = label;
    }

    controlRecord->widget = widget;
    widget->setProperty("controlId", item.id);
    // Tab visits the template's tab stops only (the window layer moves the focus itself); a click
    // still focuses any control that can hold the focus.
    switch (controlRecord->kind) {
        case WindowKind::PushButton:
        case WindowKind::RadioButton:
        case WindowKind::Edit:
        case WindowKind::MultiLineEdit:
        case WindowKind::ComboBox:
            widget->setFocusPolicy((item.style & WS_TABSTOP) ? Qt::StrongFocus : Qt::ClickFocus);
            break;
        default:
            widget->setFocusPolicy(Qt::NoFocus);
            break;
    }
    widget->setGeometry(geometry);
    if (item.style & WS_DISABLED)
        widget->setEnabled(false);
    if (!(item.style & WS_VISIBLE))
        widget->setVisible(false);
    if (controlRecord->kind == WindowKind::GroupBox)
        widget->lower();
    if (controlRecord->kind == WindowKind::MultiLineEdit)
        DeliverPendingResize(widget);
    dialogRecord->dialog->controls.emplace(item.id, hwnd);
    dialogRecord->dialog->items.push_back(hwnd);
}
