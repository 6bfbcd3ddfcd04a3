#pragma once

#include <QString>

namespace velloq::AppPaths {

// $XDG_DATA_HOME/Velloq (default ~/.local/share/Velloq): config.json, CustomIcons/,
// Screensavers/, SiteIcons/ and Shortcuts/ live here. Not created by this call.
QString dataDir();

// The application's own resources: <prefix>/share/velloq beside the installed executable,
// else the source tree's resources/ folder (running from a build tree).
QString resourceDir();

// $XDG_RUNTIME_DIR, or /tmp/velloq-<uid> (mode 0700) when it is unset.
QString runtimeDir();

} // namespace velloq::AppPaths
