#pragma once

#include "config/DockConfig.h"

#include <QString>
#include <QStringList>
#include <QUuid>

#include <optional>

namespace velloq::SetupExport {

struct Result {
    bool ok = false;
    QString error;       // one sentence, when not ok
    QStringList leftOut; // images that could not be read or decoded: the file has none there
};

// Writes the whole `config` (no `page`), or one page of it (the nil id being home), to `path`
// as a .velloq file with the images it names. Nothing else goes in: no file that the
// configuration does not name. `applicationDirs` give app actions their desktop-file IDs.
// Refuses what an import would refuse (too many or too large images). Any thread.
Result write(const DockConfig& config, const std::optional<QUuid>& page, const QString& path,
             const QStringList& applicationDirs);

// The file name offered: the page's name ("Home" for home) or "Velloq setup", with ".velloq".
QString suggestedFileName(const DockConfig& config, const std::optional<QUuid>& page);

} // namespace velloq::SetupExport
