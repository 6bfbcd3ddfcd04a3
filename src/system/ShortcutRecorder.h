#pragma once

#include "config/ActionModel.h"

#include <QObject>
#include <QPointer>
#include <QString>
#include <QWindow>

#include <cstdint>
#include <functional>
#include <optional>

class QKeyEvent;

namespace velloq {

// Turning key presses in Velloq's own windows into a recorded KeyCombo.
namespace ShortcutRecording {

// The stored modifier mask of held modifiers: Ctrl 0x40000, Alt 0x80000, Shift 0x20000,
// Super 0x100000. Other modifiers are ignored.
uint64_t maskFor(Qt::KeyboardModifiers modifiers);

// The held modifiers in the order Ctrl, Alt, Shift, Super, each followed by "+".
QString modifierPrefix(Qt::KeyboardModifiers modifiers);

// The stored key code of a key from Qt's native scan code (an X keycode: evdev + 8, on xcb
// and Wayland alike). Absent for keys the configuration has no code for.
std::optional<uint16_t> storedKeyCode(quint32 nativeScanCode);

// A key's name in a display text: the fixed names of the named keys by stored code ("Enter",
// "Esc", "F5", "PgUp" …), else the character the key gives, upper-cased; "?" when it gives
// none.
QString keyName(uint16_t keyCode, int qtKey, const QString& text);

// What one key press means while recording.
struct Decision {
    enum Kind {
        pass,   // not ours to take (a modifier alone, a key without a stored code)
        cancel, // plain Escape: stop without recording
        record, // the combo to bind
    };
    Kind kind = pass;
    KeyCombo combo;
};

Decision interpret(const QKeyEvent& event);

} // namespace ShortcutRecording

// While it lives (until stop()), watches the key presses of the window that has the focus when
// it starts (the one whose control started it) and hands each cancel or record decision to
// `onDecision`, which says whether to swallow the press. Presses in Velloq's other windows
// (a dialog), presses while its window is not the active one and undecided presses are
// delivered as usual.
class ShortcutRecorder : public QObject {
    Q_OBJECT

public:
    using Handler = std::function<bool(const ShortcutRecording::Decision&)>;

    explicit ShortcutRecorder(Handler onDecision, QObject* parent = nullptr);
    ~ShortcutRecorder() override;

    // Stops watching at once (the object itself may then be deleted later).
    void stop();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Handler onDecision_;
    QPointer<QWindow> window_;
};

} // namespace velloq
