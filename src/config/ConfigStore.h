#pragma once

#include "config/DockConfig.h"

#include <QByteArray>
#include <QString>

#include <optional>

namespace velloq {

// Loads and saves the configuration file for the controller, which owns one.
//
// The reader is tolerant: an unreadable or damaged file (or a damaged member) silently gives
// defaults. So that the first save does not destroy what it could not read (a hand edit, a
// newer version's settings), the store remembers that the loaded file was damaged and, before
// the first save replaces it, keeps the original beside it as
// "config.json.unreadable-YYYYMMDD-HHMMSS" and logs one line naming it. It does this once.
class ConfigStore {
public:
    explicit ConfigStore(QString path = DockConfig::fileURL());

    // Reads and decodes the file; defaults if it is missing, unreadable or not a JSON object.
    // Logs nothing and writes nothing.
    DockConfig load();

    // Keeps the damaged original first (see above), then writes atomically. False, with the
    // log line "Could not save config: <reason>", when either step fails; the file is then
    // left as it was and the next save tries again.
    bool save(const DockConfig& config);

    const QString& path() const { return path_; }
    // Whether the last load found a file it could not read or decode in whole or in part,
    // and its copy has not been kept yet.
    bool needsKeeping() const { return needsKeeping_; }
    // Where the damaged original was kept, once it was.
    const std::optional<QString>& keptCopy() const { return keptCopy_; }

private:
    bool keepOriginal(QString* error);

    QString path_;
    bool needsKeeping_ = false;
    QByteArray loadedBytes_; // what load() read, for filesystems without hard links
    std::optional<QString> keptCopy_;
};

} // namespace velloq
