#pragma once

#include <QString>

namespace velloq::Autostart {

// $XDG_CONFIG_HOME/autostart/velloq.desktop (default ~/.config/autostart/velloq.desktop).
QString entryPath();

// Velloq starts at login when its autostart entry exists and is not Hidden.
bool isEnabled();

// Writes the entry (starting `executable`) or removes it. On failure gives false and the
// reason in `error`.
bool setEnabled(bool enabled, const QString& executable, QString* error);

// The note shown under the toggle after a failed change.
QString failureNote(const QString& reason);

} // namespace velloq::Autostart
