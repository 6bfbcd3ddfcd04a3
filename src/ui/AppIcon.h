#pragma once

#include <QIcon>

namespace velloq {

// Velloq's icon: the installed theme icon "app.velloq.Velloq", else the same artwork built
// into the program (running from a build tree). Needs the QGuiApplication.
QIcon appIcon();

} // namespace velloq
