#pragma once

#include "system/ForceQuitMenu.h"

#include <QIcon>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>
#include <sys/types.h>

class QMenu;

namespace velloq {

// One running application: an installed desktop entry with the user's processes that run
// its program.
struct RunningApp {
    QString name; // the entry's display name; may be empty
    QIcon icon;
    QString entryPath;
    QList<pid_t> pids;         // ascending
    QList<quint64> startTimes; // per pid, so a reused pid is never killed
};

// Force-quit menu over /proc and the installed desktop entries. Holds no state of its own;
// the menu's items carry their application.
class LinuxForceQuitMenu final : public QObject, public ForceQuitMenu {
    Q_OBJECT
public:
    // The process-wide instance, made on first use (after the QApplication).
    static LinuxForceQuitMenu& shared();

    // `procRoot` and `applicationDirs` (empty: the installed-application folders of the
    // moment) are the sources of the listing; `ownPid` (0: this process) and every process
    // running the same program are left out.
    explicit LinuxForceQuitMenu(QString procRoot = QStringLiteral("/proc"),
                                QStringList applicationDirs = {}, pid_t ownPid = 0);
    ~LinuxForceQuitMenu() override;

    void show() override;

    // The applications in menu order: by name, case-insensitive in the user's locale, stable
    // (equal names keep the order of their first process id).
    QList<RunningApp> runningApplications() const;

    // The menu for `apps`: the disabled heading "Force Quit an App", a separator, one item per
    // application. Triggering an item calls choose().
    std::unique_ptr<QMenu> buildMenu(const QList<RunningApp>& apps);

    // Asks "Force quit <name>?" and on "Force Quit" sends SIGKILL to the application's
    // processes; logs "Could not force quit <name>" when none could be killed.
    void choose(const RunningApp& app);

private:
    QString procRoot_;
    QStringList applicationDirs_;
    pid_t ownPid_;
};

} // namespace velloq
