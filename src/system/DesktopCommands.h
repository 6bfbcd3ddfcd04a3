#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

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

// Runs `program` without waiting for it; `succeeded` gets its standard output when it exits
// with status 0. A program that cannot start, exits otherwise or is still running after
// `timeoutMs` (then it is killed) is logged "Could not run <program>: <reason>". `context`
// owns the process.
void runWithTimeLimit(const QString& program, const QStringList& arguments, QObject* context,
                      int timeoutMs, std::function<void(const QByteArray&)> succeeded = {});

constexpr int kCommandTimeoutMs = 5000;

// GNOME (and other desktops): gsettings color-scheme 'prefer-dark' ⇄ 'default'; Plasma:
// plasma-apply-colorscheme BreezeDark ⇄ BreezeLight from the scheme in kdeglobals. Both run
// with runWithTimeLimit, so failures are logged "Could not run <command>: <reason>".
void toggleDarkMode(QObject* context, int timeoutMs = kCommandTimeoutMs);

} // namespace DesktopCommands

} // namespace velloq
