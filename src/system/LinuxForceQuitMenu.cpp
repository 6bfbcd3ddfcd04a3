#include "system/LinuxForceQuitMenu.h"

#include "support/DesktopEntry.h"
#include "support/Log.h"

#include <QCursor>
#include <QMenu>
#include <QMessageBox>
#include <QPushButton>
#include <QTimer>

#include <csignal>
#include <optional>
#include <utility>

#include <unistd.h>

namespace velloq {

LinuxForceQuitMenu& LinuxForceQuitMenu::shared() {
    static LinuxForceQuitMenu* instance = new LinuxForceQuitMenu(); // kept for the process life
    return *instance;
}

LinuxForceQuitMenu::LinuxForceQuitMenu(QString procRoot, QStringList applicationDirs, pid_t ownPid)
    : procRoot_(std::move(procRoot))
    , applicationDirs_(std::move(applicationDirs))
    , ownPid_(ownPid != 0 ? ownPid : ::getpid()) {
}

LinuxForceQuitMenu::~LinuxForceQuitMenu() {
    scanner_.waitForDone();
    delete menu_;
}

QList<RunningApp> LinuxForceQuitMenu::runningApplications() const {
    return Applications::runningProcesses(
        DesktopEntries::installedApplications(
            applicationDirs_.isEmpty() ? DesktopEntries::applicationDirs() : applicationDirs_),
        procRoot_, ownPid_);
}

std::unique_ptr<QMenu> LinuxForceQuitMenu::buildMenu(const QList<RunningApp>& apps) {
    auto menu = std::make_unique<QMenu>(QStringLiteral("Force Quit"));
    QAction* heading = menu->addAction(QStringLiteral("Force Quit an App"));
    heading->setEnabled(false);
    menu->addSeparator();
    for (const RunningApp& app : apps) {
        QAction* item = menu->addAction(app.name.isEmpty() ? QStringLiteral("App") : app.name);
        if (const QIcon icon = Applications::iconFor(app.iconName); !icon.isNull())
            item->setIcon(QIcon(icon.pixmap(18, 18)));
        connect(
            item, &QAction::triggered, this, [this, app] { choose(app); },
            Qt::QueuedConnection); // after the menu has closed
    }
    return menu;
}

void LinuxForceQuitMenu::show() {
    if (scanning_ || confirming_ || (menu_ && menu_->isVisible()))
        return;
    scanning_ = true;
    // The scan reads every process and entry: off the main thread. The pool is waited for
    // before this object goes.
    scanner_.start([this] {
        QList<RunningApp> apps = runningApplications();
        QMetaObject::invokeMethod(
            this, [this, apps = std::move(apps)] { popUp(apps); }, Qt::QueuedConnection);
    });
}

void LinuxForceQuitMenu::popUp(const QList<RunningApp>& apps) {
    scanning_ = false;
    if (menu_)
        menu_->deleteLater(); // the last one, closed; its chosen item has been handled
    menu_ = buildMenu(apps).release();
    menu_->popup(QCursor::pos());
    menu_->raise();
    menu_->activateWindow();
}

void LinuxForceQuitMenu::choose(const RunningApp& app) {
    const QString name = app.name.isEmpty() ? QStringLiteral("this app") : app.name;
    QMessageBox box(QMessageBox::Warning, QStringLiteral("Force Quit"),
                    QStringLiteral("Force quit ") + name + u'?');
    box.setInformativeText(QStringLiteral("You'll lose any unsaved changes in ") + name + u'.');
    if (const QIcon icon = Applications::iconFor(app.iconName); !icon.isNull())
        box.setIconPixmap(icon.pixmap(64, 64));
    QPushButton* forceQuit = box.addButton(QStringLiteral("Force Quit"), QMessageBox::AcceptRole);
    QPushButton* cancel = box.addButton(QStringLiteral("Cancel"), QMessageBox::RejectRole);
    box.setDefaultButton(forceQuit);
    box.setEscapeButton(cancel);
    QTimer::singleShot(0, &box, [&box] {
        box.raise();
        box.activateWindow();
    });
    const bool wasConfirming = std::exchange(confirming_, true);
    box.exec();
    confirming_ = wasConfirming;
    if (box.clickedButton() != forceQuit)
        return;

    bool killed = false;
    for (qsizetype i = 0; i < app.pids.size(); ++i) {
        const QString dir = procRoot_ + u'/' + QString::number(app.pids.at(i));
        // The pid may have been reused since the menu was built: kill only the same process.
        if (Applications::startTimeOf(dir) != std::optional<quint64>(app.startTimes.value(i)))
            continue;
        if (::kill(app.pids.at(i), SIGKILL) == 0)
            killed = true;
    }
    if (!killed)
        logLine(QStringLiteral("Could not force quit ") + name);
}

} // namespace velloq
