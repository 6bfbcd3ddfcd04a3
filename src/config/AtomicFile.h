#pragma once

#include <QByteArray>
#include <QString>

namespace velloq::AtomicFile {

// Creates `dir` and its missing parents. On failure `error` names the folder and the reason.
bool makePath(const QString& dir, QString* error);

// Replaces `path` with `bytes` so that a crash or power loss leaves either the old or the new
// file: a temporary file in the same folder, fsync, rename over `path`, fsync of the folder.
// The folder must exist. A new file gets mode 0644; a replaced one keeps its mode. A symbolic
// link is written through, not replaced.
bool write(const QString& path, const QByteArray& bytes, QString* error);

} // namespace velloq::AtomicFile
