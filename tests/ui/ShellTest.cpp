// The application shell with its real services on the session's X server, which has no
// system tray: the window opens at start and closing it keeps Velloq serving the dock.
#include "EmulatedDock.h"
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
        shell.toggleWindow();
        EXPECT_FALSE(window->isVisible());
    }
    QThreadPool::globalInstance()->waitForDone();
}
