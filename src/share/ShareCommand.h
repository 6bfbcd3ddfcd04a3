#pragma once

// The command line's export and import (velloq export, velloq import): what the program asks
// and what it is told. Header only, Qt Core only: the program links nothing of the app, and
// hands a request to the app module when Velloq is not running to carry it out.

#include <QString>
#include <QStringList>

#include <optional>

namespace velloq {

class ConfigStore;

namespace ShareCommand {

struct Request {
    enum class Kind { exportFile, importFile };
    Kind kind = Kind::exportFile;
    QString file;                // absolute
    std::optional<QString> page; // export: one page, "home", an id or a name; else everything
    bool replace = false;        // import: a whole setup may replace the current one
};

struct Result {
    enum class Status { done, failed, wouldReplace };
    Status status = Status::failed;
    QString error;       // failed: one sentence
    QStringList leftOut; // export: images that could not be read, so the file has none there
};

// What a file holding a whole setup, imported without --replace, is told.
inline QString wouldReplace(const QString& fileName) {
    return QStringLiteral("%1 holds a whole setup, which would replace yours: import it with "
                          "--replace to do that")
        .arg(fileName);
}

inline QString noSuchPage(const QString& page) {
    return QStringLiteral("There is no page \"%1\"").arg(page);
}

// The app module's entry point that runs a request on its own (no running Velloq), and its
// type: void velloq_app_share(const Request&, Result&).
inline constexpr const char* kModuleEntry = "velloq_app_share";
using ModuleEntry = void (*)(const Request&, Result&);

// Carries out `request` on the configuration in `store` and the files beside it, as the
// running Velloq would: an export writes what is saved; an import is checked in full first,
// its images copied in, and the configuration saved (a replaced one kept beside it).
// Implemented in velloq_share.
Result run(const Request& request, ConfigStore& store);

} // namespace ShareCommand

} // namespace velloq
