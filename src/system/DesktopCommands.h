#pragma once

#include <QString>

#include <functional>

class QObject;

namespace velloq {

class ProcessLauncher;

// Desktop requests of the built-in functions that are neither keystrokes nor audio: which
// desktop runs, the screenshot portal, the launcher, display sleep and the dark-mode switch.
namespace DesktopCommands {

enum class Desktop { gnome, plasma, other };

// From $XDG_CURRENT_DESKTOP.
Desktop currentDesktop();
// $DISPLAY set, and neither $WAYLAND_DISPLAY nor XDG_SESSION_TYPE=wayland.
bool isX11Session();

// Asks the screenshot portal for an interactive screenshot, without waiting. `fallback` runs
// only when no portal is on the bus or it refused (callSessionServiceOrFallBack); `context`
// owns the pending call.
void requestScreenshot(QObject* context, std::function<void()> fallback);
// Shows KRunner (org.kde.krunner) the same way.
void showRunner(QObject* context, std::function<void()> fallback);

// Turns the displays off: X11 `xset dpms force off`; Plasma on Wayland
// `kscreen-doctor --dpms off`; GNOME on Wayland Mutter's PowerSaveMode = 3, without waiting.
// Failures are logged "Could not run <command>: <reason>".
void sleepDisplay(ProcessLauncher& launcher, QObject* context);

// GNOME (and other desktops): gsettings color-scheme 'prefer-dark' ⇄ 'default', read
// without blocking; Plasma: plasma-apply-colorscheme BreezeDark ⇄ BreezeLight from the
// scheme in kdeglobals. Failures are logged "Could not run <command>: <reason>". `context`
// owns the pending read; `launcher` must outlive it.
void toggleDarkMode(ProcessLauncher& launcher, QObject* context);

} // namespace DesktopCommands

} // namespace velloq
