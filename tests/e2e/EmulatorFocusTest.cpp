// The emulator's window on the private X server: its size, and where its keys go after the
// other controls were used (focus and popups need a real window system).

#include "DockView.h"
#include "DockWindow.h"
#include "EmulatedDock.h"

#include "device/EmulatorDiscovery.h"
#include "device/StreamDock.h"
#include "e2e/RecordingDelegate.h"
#include "support/TestEnv.h"

#include <QAbstractItemView>
#include <QApplication>
#include <QComboBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTest>

#include <gtest/gtest.h>

namespace velloq {
namespace {

using Events = test::RecordingDelegate;

TEST(EmulatorWindow, FitsA1280x800ScreenAndItsKeysWorkWhereverFocusIs) {
    EmulatedDock emulator(DockModels::table()[1]);
    ASSERT_TRUE(emulator.plugIn());
    DockWindow window(&emulator);
    // Room for the title bar and a panel on an 800-pixel screen.
    EXPECT_LE(window.width(), 1280);
    EXPECT_LE(window.height(), 720);
    EXPECT_LE(window.minimumSizeHint().height(), 720);
    window.show();
    window.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(&window));

    std::vector<std::unique_ptr<DiscoverySource>> sources;
    sources.push_back(std::make_unique<EmulatorDiscovery>());
    StreamDock dock(std::move(sources));
    Events delegate;
    dock.setDelegate(&delegate);
    dock.start();
    ASSERT_TRUE(test::waitUntil([&] { return delegate.connects == 1; }));

    // A key typed at whatever has the focus in the window.
    auto type = [&](Qt::Key key) {
        QWidget* focus = QApplication::focusWidget();
        QTest::keyClick(focus ? focus : &window, key);
    };
    auto* view = window.findChild<DockView*>();
    auto* plug = window.findChild<QPushButton*>();
    QTest::mouseClick(plug, Qt::LeftButton); // Unplug
    ASSERT_TRUE(test::waitUntil([&] { return !dock.hasDevice(); }));
    QTest::mouseClick(plug, Qt::LeftButton); // Plug in
    ASSERT_TRUE(test::waitUntil([&] { return delegate.connects == 2; }));
    EXPECT_EQ(QApplication::focusWidget(), view);
    type(Qt::Key_3);
    ASSERT_TRUE(test::waitUntil([&] { return !delegate.events.empty(); }));
    EXPECT_EQ(delegate.events, std::vector<DockEvent>{DockEvent::key(2)});
    delegate.events.clear();

    auto* models = window.findChild<QComboBox*>();
    QTest::mouseClick(models, Qt::LeftButton);
    ASSERT_TRUE(test::waitUntil([&] { return QApplication::activePopupWidget() != nullptr; }));
    QAbstractItemView* list = models->view();
    list->setCurrentIndex(list->model()->index(2, 0));
    QTest::keyClick(list, Qt::Key_Return);
    ASSERT_TRUE(test::waitUntil([&] { return delegate.connects == 3; }));
    ASSERT_TRUE(test::waitUntil([&] { return emulator.brightness() == 50; }));
    ASSERT_TRUE(test::waitUntil([&] { return !QApplication::activePopupWidget(); }));
    EXPECT_EQ(QApplication::focusWidget(), view);
    type(Qt::Key_1);

    // The one field that is typed into gives the keys back when done.
    auto* slow = window.findChild<QSpinBox*>();
    QTest::mouseClick(slow, Qt::LeftButton);
    ASSERT_EQ(QApplication::focusWidget(), slow);
    QTest::keyClick(slow, Qt::Key_Up); // digits and arrows belong to the field meanwhile
    QTest::keyClick(slow, Qt::Key_Return);
    EXPECT_EQ(emulator.reportRateLimit(), 10);
    type(Qt::Key_2);

    const std::vector<DockEvent> expected{DockEvent::key(0), DockEvent::key(1)};
    ASSERT_TRUE(test::waitUntil([&] { return delegate.events.size() >= expected.size(); }));
    EXPECT_EQ(delegate.events, expected);
    dock.setDelegate(nullptr);
}

} // namespace
} // namespace velloq
