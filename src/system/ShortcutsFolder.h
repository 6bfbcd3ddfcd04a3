#pragma once

#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class QObject;

namespace velloq {

class ProcessLauncher;

// The user's named shortcuts: the executable files in the folder "Shortcuts" beside
// config.json. Running one executes that file with no arguments, never through a shell.
namespace ShortcutsFolder {

// AppPaths::dataDir() + "/Shortcuts".
QString path();

// Names as the picker shows them: each trimmed of spaces and tabs, empty ones dropped, sorted
// stably by the locale's case-insensitive order.
QStringList tidyNames(const QStringList& names);

// The tidied names of the executable regular files in `folder` (hidden ones skipped). Creates
// the folder when it is missing, so the user finds where scripts go. Absent when it cannot be
// listed.
std::optional<QStringList> listNames(const QString& folder = path());

// Lists on a worker thread and calls `done` on the main thread with the result; `done` is
// not called when the listing fails or `context` is gone.
void listNamesInBackground(QObject* context, std::function<void(const QStringList&)> done,
                           const QString& folder = path());

// The script a name stands for. Refused (absent, with the reason) for an empty name, one with
// "/" or a leading ".", and a name that is no executable file of the folder. A name the listing
// trimmed still finds its file.
std::optional<QString> scriptFor(const QString& name, QString* reason,
                                 const QString& folder = path());

// Runs the named script detached. Logs "Could not run <name or script>: <reason>" when it
// cannot start and when it ends with a status other than 0; `failed` (when given) then runs
// with the reason, at once or when the script has ended (unless `context` is gone by then).
bool run(ProcessLauncher& launcher, const QString& name, const QString& folder = path(),
         QObject* context = nullptr, std::function<void(const QString& reason)> failed = {});

} // namespace ShortcutsFolder

} // namespace velloq
