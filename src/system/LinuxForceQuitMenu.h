#pragma once

#include "system/Applications.h"
#include "system/ForceQuitMenu.h"

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QThreadPool>

#include <memory>
#include <sys/types.h>

class QMenu;

namespace velloq {

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

    // Lists the applications on a worker and pops the menu up, raised and activated, when
    // the list arrives; returns at once. Ignored while a menu or its confirmation is open.
    void show() override;

    // The applications in menu order: by name, case-insensitive in the user's locale, stable
    // (equal names keep the order of their first process id).
    QList<RunningApp> runningApplications() const;

    // The menu for `apps`: the disabled heading "Force Quit an App", a separator, one item per
    // application. Triggering an item calls choose().
    std::unique_ptr<QMenu> buildMenu(const QList<RunningApp>& apps);

    // Asks "Force quit <name>?" (raised and activated, so that it never opens behind the front
    // window) and on "Force Quit" sends SIGKILL to the application's processes; logs "Could not
    // force quit <name>" when none could be killed.
    void choose(const RunningApp& app);

private:
    void popUp(const QList<RunningApp>& apps);

    bool scanning_ = false;
    bool confirming_ = false;
    QPointer<QMenu> menu_; // the last menu shown
    QThreadPool scanner_;
    QString procRoot_;
    QStringList applicationDirs_;
    pid_t ownPid_;
};

} // namespace velloq
