#pragma once

#include "controller/DockController.h"
#include "support/Clock.h"
#include "system/BacklightBrightness.h"
#include "system/LinuxDesktopMediaKeys.h"
#include "system/LinuxDockFeatures.h"
#include "system/LinuxKeySender.h"
#include "system/LinuxPermissions.h"
#include "system/MonitorBrightness.h"
#include "system/PulseSystemAudio.h"
#include "ui/MenuView.h"

#include <QMenu>
#include <QSystemTrayIcon>

#include <memory>

namespace velloq {

// The application shell: the real services, the one controller, the tray icon and the main
// window, which is made the first time it opens. Lives for the whole run; the controller
// starts once the event loop runs, and quitting blanks the dock and waits until that has been
// written. Without a system tray the window opens at start; closing it keeps Velloq running.
class VelloqApp {
public:
    VelloqApp();
    ~VelloqApp();
    VelloqApp(const VelloqApp&) = delete;
    VelloqApp& operator=(const VelloqApp&) = delete;

    // Before QApplication exists: prefer X11 (XWayland) on a Wayland session, since an
    // unfocused Wayland client may not set the clipboard, which pasting snippets needs.
    static void choosePlatform();

    DockController& controller() { return *controller_; }

    // Shows the window restored and raised, making it on first use; next to the tray icon
    // when there is one, else at the top right of the screen. "Open Velloq" and a second
    // launch.
    void showWindow();
    // Shows the window and imports the files there, asking first (files opened from the file
    // manager).
    void openFiles(const QStringList& paths);
    // The tray icon's click: hides the window when it is the active window, else shows it as
    // showWindow() does (also when it is covered or minimised).
    void toggleWindow();
    // The main window, once made.
    MenuView* window() const { return window_.get(); }

    // SIGTERM and SIGINT (logout, Ctrl+C) quit through the event loop, so the dock is blanked
    // as on "Quit". Call once, after QApplication exists.
    static void quitOnTerminationSignals();

    // What quitting does, once: sends the dock's shutdown batch and writes the last save. Runs
    // when the event loop ends, and from an exit handler when the process ends without it
    // (Qt exits at once when the X connection breaks).
    void finish();

private:
    QPoint windowPosition() const;

    SteadyClock clock_;
    LinuxKeySender keys_;
    PulseSystemAudio audio_;
    // The backlight, else external monitors over DDC/CI.
    BacklightBrightness backlight_;
    MonitorBrightness monitors_{makeDdcutilBus()};
    FirstDisplayBrightness brightness_{backlight_, monitors_};
    LinuxDesktopMediaKeys mediaKeys_;
    LinuxDockFeatures dockFeatures_{keys_};
    LinuxPermissions permissions_{keys_};
    std::unique_ptr<DockController> controller_;
    std::unique_ptr<MenuView> window_;
    QMenu menu_;
    QSystemTrayIcon tray_;
    bool hasTray_ = false;
    bool finished_ = false;
};

} // namespace velloq
