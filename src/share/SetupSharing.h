#pragma once

#include "share/SetupExport.h"
#include "share/SetupImport.h"

#include <QObject>
#include <QString>
#include <QUuid>

#include <atomic>
#include <functional>
#include <memory>
#include <optional>

namespace velloq {

class DockController;

// Exports and imports for a running controller: the files are written and read on worker
// threads, and the answers arrive on the main thread, unless `context` is gone by then. The
// window and the D-Bus interface both go through here.
namespace SetupSharing {

// Writes the whole setup (no `page`) or one page (nil: home) as it is now.
void exportTo(DockController& controller, QObject* context, const QString& path,
              const std::optional<QUuid>& page, std::function<void(SetupExport::Result)> done);

// A file read and checked, or why not.
struct ReadResult {
    std::optional<SetupImport::Checked> checked;
    QString error;
};
// Reads and checks `path`; `progress` gets the share done (0 to 1) now and then. Storing true
// in the flag it gives stops the reading.
std::shared_ptr<std::atomic<bool>> read(DockController& controller, QObject* context,
                                        const QString& path, std::function<void(double)> progress,
                                        std::function<void(ReadResult)> done);

// The import made, or why not (nothing changed then).
struct Applied {
    bool ok = false;
    QString error;
    QUuid page; // the page added; nil for a setup
};
// Copies the images in on a worker, then changes the configuration as one undo step: a page
// is added; a setup replaces the configuration, which is kept beside the file first.
void apply(DockController& controller, QObject* context, SetupImport::Checked checked,
           std::function<void(Applied)> done);

} // namespace SetupSharing

} // namespace velloq
