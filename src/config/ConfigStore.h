#pragma once

#include "config/DockConfig.h"

#include <QByteArray>
#include <QLockFile>
#include <QString>

#include <condition_variable>
#include <mutex>
#include <optional>
#include <thread>

namespace velloq {

// Loads and saves the configuration file for the controller, which owns one.
//
// The reader is tolerant: an unreadable or damaged file (or a damaged member) silently gives
// defaults. So that the first save does not destroy what it could not read (a hand edit, a
// newer version's settings), the store remembers that the loaded file was damaged and, before
// the first save replaces it, keeps the original beside it as
// "config.json.unreadable-YYYYMMDD-HHMMSS" and logs one line naming it. It does this once.
// Something that is not a regular file at the path (a named pipe, a folder) is not read at
// all: one log line, defaults, and it is moved aside the same way.
//
// A configuration that an import replaces is kept the same way, as
// "config.json.replaced-YYYYMMDD-HHMMSS", before the file is replaced.
//
// saveInBackground() lets the controller save on every change without waiting on the disk:
// a writer thread writes the newest configuration it was given; one that is replaced while
// waiting is never written, so saves land in order and the last one always reaches the file.
class ConfigStore {
public:
    explicit ConfigStore(QString path = DockConfig::fileURL());
    // Writes what is still waiting first.
    ~ConfigStore();
    ConfigStore(const ConfigStore&) = delete;
    ConfigStore& operator=(const ConfigStore&) = delete;

    // Reads and decodes the file; defaults if it is missing, unreadable or not a JSON object.
    // Writes nothing.
    DockConfig load();

    // Keeps the damaged original first (see above), and `replaced` when given, then writes
    // atomically. False, with the log line "Could not save config: <reason>", when a step
    // fails; the file is then left as it was and the next save tries again (keeping first
    // what it could not keep). Waits for background saves first.
    bool save(const DockConfig& config, const std::optional<DockConfig>& replaced = std::nullopt);

    // Saves on the writer thread and returns at once; failures are logged as by save().
    void saveInBackground(const DockConfig& config,
                          const std::optional<DockConfig>& replaced = std::nullopt);
    // Returns once every configuration handed to saveInBackground() was saved (or failed).
    void flush();

    const QString& path() const { return path_; }
    // Whether the last load found a file it could not read or decode in whole or in part,
    // and its copy has not been kept yet.
    bool needsKeeping() const;
    // Where the damaged original was kept, once it was.
    std::optional<QString> keptCopy() const;

private:
    bool saveNow(const DockConfig& config, QList<DockConfig> replaced);
    bool keepOriginal(QString* error);
    bool keepReplaced(const DockConfig& replaced, QString* error);
    void runWriter();

    const QString path_;

    // The file and what is known of it; held for a whole load or save.
    mutable std::mutex fileMutex_;
    bool needsKeeping_ = false;
    QByteArray loadedBytes_; // what load() read, for filesystems without hard links
    std::optional<QString> keptCopy_;
    QList<DockConfig> unkept_; // replaced configurations still to keep, oldest first

    // The background writer.
    std::mutex queueMutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::optional<DockConfig> waiting_;
    QList<DockConfig> replacedWaiting_; // to keep before `waiting_` is written
    bool writing_ = false;
    bool stopping_ = false;
    std::thread writer_; // started by the first saveInBackground()
};

// One program at a time changes the saved configuration: the running Velloq, from before it
// loads it until it quits, or an import run on its own while Velloq does not run. Otherwise a
// Velloq started during such an import could load the old file and later save over the import.
// A lock file beside the configuration; the lock of a holder that crashed is taken over.
class ConfigLock {
public:
    explicit ConfigLock(const QString& configPath = DockConfig::fileURL());

    // Waits at most `ms` for the lock; false when another program still holds it.
    bool tryLock(int ms);

private:
    QLockFile file_;
};

} // namespace velloq
