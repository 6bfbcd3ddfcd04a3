// Real keystrokes through XTest into a window of the Xvfb session.
#include "system/LinuxKeySender.h"

#include "support/TestEnv.h"

#include <QKeyEvent>
#include <QTest>
#include <QWidget>

#include <linux/input-event-codes.h>

#include <gtest/gtest.h>

#include <vector>

using namespace velloq;

namespace {

struct Received {
    bool press;
    quint32 evdev;
    Qt::KeyboardModifiers modifiers;
};

class Recorder final : public QWidget {
public:
    Recorder() {
        setFocusPolicy(Qt::StrongFocus);
        resize(200, 100);
    }
    std::vector<Received> events;

protected:
    void keyPressEvent(QKeyEvent* e) override { record(true, e); }
    void keyReleaseEvent(QKeyEvent* e) override { record(false, e); }

private:
    void record(bool press, QKeyEvent* e) {
        if (e->isAutoRepeat())
            return;
        events.push_back({press, e->nativeScanCode() - 8, e->modifiers()});
    }
};

class XTestKeySender : public ::testing::Test {
protected:
    void SetUp() override {
        if (!LinuxKeySender::isX11Session())
            GTEST_SKIP() << "needs an X11 session (ctest starts a private X server)";
        auto backend = XTestInjector::open();
        ASSERT_TRUE(backend) << "no XTEST on this display";
        sender_ = std::make_unique<LinuxKeySender>(std::move(backend));
        window_.show();
        window_.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&window_));
        window_.setFocus();
    }

    std::vector<Received> receive(size_t count) {
        const bool got = test::waitUntil([&] { return window_.events.size() >= count; });
        EXPECT_TRUE(got) << "received " << window_.events.size() << " of " << count;
        std::vector<Received> out = window_.events;
        window_.events.clear();
        return out;
    }

    Recorder window_;
    std::unique_ptr<LinuxKeySender> sender_;
};

} // namespace

TEST_F(XTestKeySender, CommandCArrivesAsSuperAndC) {
    sender_->press(8, KeySender::commandFlag);
    const auto events = receive(4);
    ASSERT_EQ(events.size(), 4u);
    EXPECT_TRUE(events[0].press);
    EXPECT_EQ(events[0].evdev, quint32(KEY_LEFTMETA));
    EXPECT_TRUE(events[1].press);
    EXPECT_EQ(events[1].evdev, quint32(KEY_C));
    EXPECT_EQ(events[1].modifiers, Qt::MetaModifier);
    EXPECT_FALSE(events[2].press);
    EXPECT_EQ(events[2].evdev, quint32(KEY_C));
    EXPECT_FALSE(events[3].press);
    EXPECT_EQ(events[3].evdev, quint32(KEY_LEFTMETA));
}

TEST_F(XTestKeySender, F11AloneAndThreeModifiers) {
    sender_->press(103, 0);
    auto events = receive(2);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].evdev, quint32(KEY_F11));
    EXPECT_TRUE(events[0].press);
    EXPECT_EQ(events[0].modifiers, Qt::NoModifier);
    EXPECT_FALSE(events[1].press);

    sender_->press(9, 0x1A0000);
    events = receive(8);
    ASSERT_EQ(events.size(), 8u);
    const quint32 order[] = {KEY_LEFTMETA, KEY_LEFTSHIFT, KEY_LEFTALT,   KEY_V,
                             KEY_V,        KEY_LEFTALT,   KEY_LEFTSHIFT, KEY_LEFTMETA};
    for (size_t i = 0; i < 8; ++i) {
        EXPECT_EQ(events[i].evdev, order[i]) << i;
        EXPECT_EQ(events[i].press, i < 4) << i;
    }
    // The key itself sees the whole mask.
    EXPECT_EQ(events[3].modifiers, Qt::MetaModifier | Qt::ShiftModifier | Qt::AltModifier);
    EXPECT_EQ(events[4].modifiers, Qt::MetaModifier | Qt::ShiftModifier | Qt::AltModifier);
}

TEST_F(XTestKeySender, MediaKeyUsesItsKeysym) {
    sender_->postMediaKey(KeySender::playPause, 0);
    const auto events = receive(2);
    ASSERT_EQ(events.size(), 2u);
    EXPECT_EQ(events[0].evdev, quint32(KEY_PLAYPAUSE));
    EXPECT_TRUE(events[0].press);
    EXPECT_FALSE(events[1].press);
}
