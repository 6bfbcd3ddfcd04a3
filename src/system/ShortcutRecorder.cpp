#include "system/ShortcutRecorder.h"

#include "system/KeyCodes.h"

#include <QGuiApplication>
#include <QKeyEvent>
#include <QKeySequence>
#include <QWidget>

namespace velloq {

namespace ShortcutRecording {

namespace {

constexpr uint16_t kEscape = 53;

bool isModifierKey(int key) {
    switch (key) {
    case Qt::Key_Shift:
    case Qt::Key_Control:
    case Qt::Key_Meta:
    case Qt::Key_Alt:
    case Qt::Key_AltGr:
    case Qt::Key_CapsLock:
    case Qt::Key_NumLock:
    case Qt::Key_ScrollLock:
    case Qt::Key_Super_L:
    case Qt::Key_Super_R:
    case Qt::Key_Hyper_L:
    case Qt::Key_Hyper_R:
    case Qt::Key_Mode_switch:
        return true;
    default:
        return false;
    }
}

std::optional<QString> fixedName(uint16_t keyCode) {
    switch (keyCode) {
    case 36:
        return QStringLiteral("Enter");
    case 48:
        return QStringLiteral("Tab");
    case 49:
        return QStringLiteral("Space");
    case 51:
        return QStringLiteral("Backspace");
    case 53:
        return QStringLiteral("Esc");
    case 117:
        return QStringLiteral("Delete");
    case 123:
        return QStringLiteral("Left");
    case 124:
        return QStringLiteral("Right");
    case 125:
        return QStringLiteral("Down");
    case 126:
        return QStringLiteral("Up");
    case 115:
        return QStringLiteral("Home");
    case 119:
        return QStringLiteral("End");
    case 116:
        return QStringLiteral("PgUp");
    case 121:
        return QStringLiteral("PgDn");
    case 122:
        return QStringLiteral("F1");
    case 120:
        return QStringLiteral("F2");
    case 99:
        return QStringLiteral("F3");
    case 118:
        return QStringLiteral("F4");
    case 96:
        return QStringLiteral("F5");
    case 97:
        return QStringLiteral("F6");
    case 98:
        return QStringLiteral("F7");
    case 100:
        return QStringLiteral("F8");
    case 101:
        return QStringLiteral("F9");
    case 109:
        return QStringLiteral("F10");
    case 103:
        return QStringLiteral("F11");
    case 111:
        return QStringLiteral("F12");
    default:
        return std::nullopt;
    }
}

bool isPrintable(const QString& text) {
    if (text.isEmpty())
        return false;
    for (const QChar c : text) {
        if (!c.isPrint())
            return false;
    }
    return true;
}

} // namespace

uint64_t maskFor(Qt::KeyboardModifiers modifiers) {
    uint64_t mask = 0;
    if (modifiers & Qt::ControlModifier)
        mask |= KeyCombo::kControl;
    if (modifiers & Qt::AltModifier)
        mask |= KeyCombo::kOption;
    if (modifiers & Qt::ShiftModifier)
        mask |= KeyCombo::kShift;
    if (modifiers & Qt::MetaModifier)
        mask |= KeyCombo::kCommand;
    return mask;
}

QString modifierPrefix(Qt::KeyboardModifiers modifiers) {
    QString prefix;
    if (modifiers & Qt::ControlModifier)
        prefix += QStringLiteral("Ctrl+");
    if (modifiers & Qt::AltModifier)
        prefix += QStringLiteral("Alt+");
    if (modifiers & Qt::ShiftModifier)
        prefix += QStringLiteral("Shift+");
    if (modifiers & Qt::MetaModifier)
        prefix += QStringLiteral("Super+");
    return prefix;
}

std::optional<uint16_t> storedKeyCode(quint32 nativeScanCode) {
    if (nativeScanCode < 8 || nativeScanCode > 0xFFFF + 8)
        return std::nullopt;
    return KeyCodes::fromEvdev(static_cast<uint16_t>(nativeScanCode - 8));
}

QString keyName(uint16_t keyCode, int qtKey, const QString& text) {
    if (const std::optional<QString> name = fixedName(keyCode))
        return *name;
    // Qt's key is the character without Ctrl/Alt/Super applied (as the characters ignoring
    // modifiers are); special keys lie above the Unicode range.
    if (qtKey > 0x20 && qtKey < 0x110000) {
        const char32_t ucs4 = static_cast<char32_t>(qtKey);
        const QString character = QString::fromUcs4(&ucs4, 1);
        if (isPrintable(character))
            return character.toUpper();
    }
    if (isPrintable(text) && text != u" ")
        return text.toUpper();
    const QString named = QKeySequence(qtKey).toString(QKeySequence::NativeText);
    if (!named.isEmpty() && qtKey != Qt::Key_unknown && qtKey != 0)
        return named;
    return QStringLiteral("?");
}

Decision interpret(const QKeyEvent& event) {
    if (isModifierKey(event.key()))
        return {};
    const std::optional<uint16_t> code = storedKeyCode(event.nativeScanCode());
    if (!code)
        return {};
    const Qt::KeyboardModifiers held = event.modifiers();
    const uint64_t mask = maskFor(held);
    if (*code == kEscape && mask == 0)
        return {Decision::cancel, {}};
    KeyCombo combo;
    combo.keyCode = *code;
    combo.flags = mask;
    combo.display = modifierPrefix(held) + keyName(*code, event.key(), event.text());
    return {Decision::record, combo};
}

} // namespace ShortcutRecording

namespace {

// The top-level window a key event is delivered to: first the window, then its focus widget.
QWindow* windowOf(QObject* receiver) {
    if (auto* window = qobject_cast<QWindow*>(receiver))
        return window;
    if (receiver->isWidgetType())
        return static_cast<QWidget*>(receiver)->window()->windowHandle();
    return nullptr;
}

} // namespace

ShortcutRecorder::ShortcutRecorder(Handler onDecision, QObject* parent)
    : QObject(parent)
    , onDecision_(std::move(onDecision))
    , window_(QGuiApplication::focusWindow()) {
    if (QCoreApplication* app = QCoreApplication::instance())
        app->installEventFilter(this);
}

ShortcutRecorder::~ShortcutRecorder() {
    stop();
}

void ShortcutRecorder::stop() {
    if (QCoreApplication* app = QCoreApplication::instance())
        app->removeEventFilter(this);
    onDecision_ = nullptr;
}

bool ShortcutRecorder::eventFilter(QObject* watched, QEvent* event) {
    const QEvent::Type type = event->type();
    if (type != QEvent::KeyPress && type != QEvent::ShortcutOverride)
        return QObject::eventFilter(watched, event);
    if (!window_ || !window_->isActive() || windowOf(watched) != window_)
        return false;
    auto* key = static_cast<QKeyEvent*>(event);
    const ShortcutRecording::Decision decision = ShortcutRecording::interpret(*key);
    if (decision.kind == ShortcutRecording::Decision::pass || !onDecision_)
        return false;
    if (type == QEvent::ShortcutOverride) {
        // Claim the key so no shortcut of the window fires; the press follows.
        key->accept();
        return true;
    }
    // The handler may stop or delete this recorder; copy it first.
    const Handler handler = onDecision_;
    return handler(decision);
}

} // namespace velloq
