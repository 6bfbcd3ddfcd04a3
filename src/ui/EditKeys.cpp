#include "ui/EditKeys.h"

#include "controller/DockController.h"
#include "ui/DeviceMockView.h"
#include "ui/KeyDrag.h"

#include <QApplication>
#include <QClipboard>
#include <QKeyEvent>
#include <QMimeData>
#include <QWidget>

namespace velloq {

EditKeys::EditKeys(DockController& controller, QWidget* scope)
    : QObject(scope)
    , controller_(controller)
    , scope_(scope) {
    // Text fields take these keys before any shortcut could see them.
    qApp->installEventFilter(this);
}

EditKeys::~EditKeys() {
    qApp->removeEventFilter(this);
}

void EditKeys::copySelected() {
    const Selection selected = controller_.selected();
    if (selected.kind != Selection::Kind::key || selected.index >= controller_.currentKeys().size())
        return;
    const std::optional<QString> icon =
        selected.index < DockController::kScreenKeys &&
                selected.index < controller_.currentCustomIcons().size()
            ? controller_.currentCustomIcons()[selected.index]
            : std::nullopt;
    QGuiApplication::clipboard()->setMimeData(
        KeyDrag::buttonData({controller_.currentKeys()[selected.index], icon}));
}

void EditKeys::pasteOnSelected() {
    const Selection selected = controller_.selected();
    const std::optional<KeyDrag::Button> button =
        KeyDrag::buttonOf(QGuiApplication::clipboard()->mimeData());
    if (!button)
        refuse(QStringLiteral("The clipboard holds no button to paste."));
    else if (selected.kind != Selection::Kind::key)
        refuse(QStringLiteral("A button can only be pasted on a button."));
    else if (!controller_.pasteButton(selected.index, button->action, button->customIcon))
        refuse(QStringLiteral("Could not paste: the button’s image could not be copied."));
}

void EditKeys::refuse(const QString& text) {
    if (!scope_)
        return;
    if (auto* preview = scope_->window()->findChild<DeviceMockView*>())
        preview->showNote(text);
}

bool EditKeys::eventFilter(QObject* watched, QEvent* event) {
    if (event->type() != QEvent::KeyPress || !scope_ || !watched->isWidgetType())
        return false;
    auto* widget = static_cast<QWidget*>(watched);
    if (widget->window() != scope_->window() || controller_.recordingKey())
        return false;
    if (widget->testAttribute(Qt::WA_InputMethodEnabled))
        return false; // a text field's own undo, redo, copy and paste act on its text
    auto* key = static_cast<QKeyEvent*>(event);
    if (key->matches(QKeySequence::Undo)) {
        controller_.undo();
        return true;
    }
    // Ctrl+Shift+Z also where the desktop's redo is another key.
    if (key->matches(QKeySequence::Redo) ||
        key->keyCombination() ==
            QKeyCombination(Qt::ControlModifier | Qt::ShiftModifier, Qt::Key_Z)) {
        controller_.redo();
        return true;
    }
    if (key->matches(QKeySequence::Copy)) {
        copySelected();
        return true;
    }
    if (key->matches(QKeySequence::Paste)) {
        pasteOnSelected();
        return true;
    }
    return false;
}

} // namespace velloq
