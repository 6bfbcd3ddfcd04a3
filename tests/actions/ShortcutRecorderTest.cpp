#include "system/ShortcutRecorder.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QTest>
#include <QWidget>

#include <gtest/gtest.h>

#include <linux/input-event-codes.h>

using namespace velloq;
using ShortcutRecording::Decision;

namespace {

// A key press as the xcb platform delivers it: the native scan code is the X keycode.
QKeyEvent press(int qtKey, Qt::KeyboardModifiers modifiers, int evdev, const QString& text = {}) {
    return QKeyEvent(QEvent::KeyPress, qtKey, modifiers, static_cast<quint32>(evdev + 8), 0, 0,
                     text);
}

struct KeyWidget : QWidget {
    int presses = 0;
    void keyPressEvent(QKeyEvent* event) override {
        ++presses;
        event->accept();
    }
};

bool activate(QWidget& window) {
    window.show();
    window.activateWindow();
    return QTest::qWaitForWindowActive(&window);
}

} // namespace

TEST(ShortcutRecording, DisplayTextAndMaskFollowTheFixedOrder) {
    const Decision k = ShortcutRecording::interpret(
        press(Qt::Key_K, Qt::ShiftModifier | Qt::MetaModifier, KEY_K, QStringLiteral("K")));
    ASSERT_EQ(k.kind, Decision::record);
    EXPECT_EQ(k.combo, (KeyCombo{40, 0x120000, QStringLiteral("Shift+Super+K")}));

    const Decision del = ShortcutRecording::interpret(
        press(Qt::Key_Backspace, Qt::ControlModifier | Qt::AltModifier, KEY_BACKSPACE));
    ASSERT_EQ(del.kind, Decision::record);
    EXPECT_EQ(del.combo, (KeyCombo{51, 0xC0000, QStringLiteral("Ctrl+Alt+Backspace")}));

    const Decision all = ShortcutRecording::interpret(
        press(Qt::Key_A,
              Qt::MetaModifier | Qt::ShiftModifier | Qt::AltModifier | Qt::ControlModifier, KEY_A));
    EXPECT_EQ(all.combo.display, u"Ctrl+Alt+Shift+Super+A");
    EXPECT_EQ(all.combo.flags, 0x1E0000u);

    // A key alone is accepted, with its fixed name.
    const Decision f5 = ShortcutRecording::interpret(press(Qt::Key_F5, Qt::NoModifier, KEY_F5));
    EXPECT_EQ(f5.combo, (KeyCombo{96, 0, QStringLiteral("F5")}));
    // Other keys show their character upper-cased, whatever Ctrl does to the text.
    const Decision ctrlComma = ShortcutRecording::interpret(
        press(Qt::Key_Comma, Qt::ControlModifier, KEY_COMMA, QStringLiteral(",")));
    EXPECT_EQ(ctrlComma.combo, (KeyCombo{43, 0x40000, QStringLiteral("Ctrl+,")}));
    const Decision ctrlJ = ShortcutRecording::interpret(
        press(Qt::Key_J, Qt::ControlModifier, KEY_J, QStringLiteral("\x0a")));
    EXPECT_EQ(ctrlJ.combo.display, u"Ctrl+J");
}

TEST(ShortcutRecording, PlainEscapeCancelsAndShiftEscapeRecords) {
    EXPECT_EQ(ShortcutRecording::interpret(press(Qt::Key_Escape, Qt::NoModifier, KEY_ESC)).kind,
              Decision::cancel);
    // Keypad state is not one of the four modifiers.
    EXPECT_EQ(ShortcutRecording::interpret(press(Qt::Key_Escape, Qt::KeypadModifier, KEY_ESC)).kind,
              Decision::cancel);
    const Decision shifted =
        ShortcutRecording::interpret(press(Qt::Key_Escape, Qt::ShiftModifier, KEY_ESC));
    ASSERT_EQ(shifted.kind, Decision::record);
    EXPECT_EQ(shifted.combo, (KeyCombo{53, 0x20000, QStringLiteral("Shift+Esc")}));
}

TEST(ShortcutRecording, ModifiersAloneAndUnknownKeysPass) {
    EXPECT_EQ(
        ShortcutRecording::interpret(press(Qt::Key_Shift, Qt::ShiftModifier, KEY_LEFTSHIFT)).kind,
        Decision::pass);
    EXPECT_EQ(
        ShortcutRecording::interpret(press(Qt::Key_Control, Qt::ControlModifier, KEY_LEFTCTRL))
            .kind,
        Decision::pass);
    EXPECT_EQ(
        ShortcutRecording::interpret(QKeyEvent(QEvent::KeyPress, Qt::Key_A, Qt::NoModifier)).kind,
        Decision::pass); // no scan code
    EXPECT_EQ(ShortcutRecording::keyName(0xFFF0, 0, QString()), u"?");
}

TEST(ShortcutRecorder, SwallowsDecidedKeysAndLetsOthersThrough) {
    KeyWidget widget;
    ASSERT_TRUE(activate(widget)); // recording starts from a control of the active window

    QList<Decision> decisions;
    {
        ShortcutRecorder recorder([&](const Decision& d) {
            decisions << d;
            return true;
        });
        QKeyEvent shift = press(Qt::Key_Shift, Qt::ShiftModifier, KEY_LEFTSHIFT);
        QCoreApplication::sendEvent(&widget, &shift);
        QKeyEvent k = press(Qt::Key_K, Qt::ShiftModifier, KEY_K, QStringLiteral("K"));
        QCoreApplication::sendEvent(&widget, &k);
        QKeyEvent escape = press(Qt::Key_Escape, Qt::NoModifier, KEY_ESC);
        QCoreApplication::sendEvent(&widget, &escape);
    }
    EXPECT_EQ(widget.presses, 1); // only the Shift key reached the widget
    ASSERT_EQ(decisions.size(), 2);
    EXPECT_EQ(decisions.at(0).combo.display, u"Shift+K");
    EXPECT_EQ(decisions.at(1).kind, Decision::cancel);

    // With no recorder, keys pass untouched.
    QKeyEvent k = press(Qt::Key_K, Qt::NoModifier, KEY_K, QStringLiteral("k"));
    QCoreApplication::sendEvent(&widget, &k);
    EXPECT_EQ(widget.presses, 2);
    EXPECT_EQ(decisions.size(), 2);
}

TEST(ShortcutRecorder, TakesKeysOnlyFromItsOwnWindowWhileItIsActive) {
    KeyWidget own;
    KeyWidget dialog;
    ASSERT_TRUE(activate(own));
    int decisions = 0;
    ShortcutRecorder recorder([&](const Decision&) {
        ++decisions;
        return true;
    });
    const auto ctrlC = [](QWidget& target) {
        QKeyEvent c = press(Qt::Key_C, Qt::ControlModifier, KEY_C, QStringLiteral("\x03"));
        QCoreApplication::sendEvent(&target, &c);
    };

    ASSERT_TRUE(activate(dialog)); // another window of Velloq comes up and takes the keys
    ctrlC(dialog);
    EXPECT_EQ(dialog.presses, 1);
    ctrlC(own); // its own window, while another is active
    EXPECT_EQ(own.presses, 1);
    EXPECT_EQ(decisions, 0);

    ASSERT_TRUE(activate(own));
    ctrlC(own);
    EXPECT_EQ(decisions, 1);
    EXPECT_EQ(own.presses, 1);
}
