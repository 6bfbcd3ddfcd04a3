// The application shell with its real services on the session's X server, which has no
// system tray: the window opens at start and closing it keeps Velloq serving the dock; under
// openbox, the tray click brings a covered or minimised window up.
#include "EmulatedDock.h"
#include "Openbox.h"
#include "device/DeviceModel.h"
#include "support/TestEnv.h"
#include "ui/VelloqApp.h"

#include <QSystemTrayIcon>
#include <QTest>
#include <QThreadPool>

#include <gtest/gtest.h>

using namespace velloq;
using namespace velloq::test;

TEST(ShellTest, WithoutATrayTheWindowOpensAtStartAndClosingItKeepsTheDockServed) {
    if (QSystemTrayIcon::isSystemTrayAvailable())
        GTEST_SKIP() << "this X server has a system tray";
    EmulatedDock emulator(*DockModels::lookup(0x0300, 0x1002));
    ASSERT_TRUE(emulator.plugIn());
    {
        VelloqApp shell;
        EXPECT_EQ(shell.window(), nullptr) << "made when the event loop runs, not before";
        ASSERT_TRUE(waitUntil([&] { return shell.window() && shell.window()->isVisible(); }));
        ASSERT_TRUE(waitUntil([&] { return shell.controller().isConnected(); }));

        MenuView* window = shell.window();
        window->close();
        EXPECT_FALSE(window->isVisible());
        ASSERT_TRUE(emulator.tapKey(0));
        EXPECT_TRUE(shell.controller().isConnected());

        shell.toggleWindow();
        EXPECT_EQ(shell.window(), window) << "the window is made once";
        EXPECT_TRUE(window->isVisible());
        ASSERT_TRUE(waitUntil([&] { return window->isActiveWindow(); }));
        shell.toggleWindow();
        EXPECT_FALSE(window->isVisible());
    }
    QThreadPool::globalInstance()->waitForDone();
}

TEST(ShellTest, UnderAWindowManagerAClickShowsACoveredOrMinimisedWindowAndHidesOnlyTheActiveOne) {
    Openbox openbox;
    if (!openbox.running())
        GTEST_SKIP() << "openbox is not installed";
    {
        VelloqApp shell;
        ASSERT_TRUE(waitUntil([&] { return shell.window() && shell.window()->isActiveWindow(); }));
        MenuView* window = shell.window();
        const auto upAndActive = [&] {
            return waitUntil([&] {
                return window->isVisible() && !window->isMinimized() && window->isActiveWindow();
            });
        };

        // Covered by another window: the click brings it up instead of hiding it.
        QWidget other;
        other.setGeometry(window->geometry().adjusted(-20, -20, 20, 20));
        other.show();
        other.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&other));
        shell.toggleWindow();
        EXPECT_TRUE(upAndActive()) << "covered";

        // Minimised: the click, "Open Velloq" and a second launch restore it.
        window->showMinimized();
        ASSERT_TRUE(waitUntil([&] { return window->isMinimized(); }));
        shell.toggleWindow();
        EXPECT_TRUE(upAndActive()) << "minimised, then clicked";
        window->showMinimized();
        ASSERT_TRUE(waitUntil([&] { return window->isMinimized(); }));
        shell.showWindow();
        EXPECT_TRUE(upAndActive()) << "minimised, then opened";
        shell.showWindow(); // opening the active window leaves it open
        EXPECT_TRUE(window->isVisible());

        // Only the active window hides on a click.
        shell.toggleWindow();
        EXPECT_FALSE(window->isVisible());
    }
    QThreadPool::globalInstance()->waitForDone();
}
