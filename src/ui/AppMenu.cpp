#include "ui/AppMenu.h"

#include "controller/DockController.h"
#include "ui/TextStyle.h"

#include <QFileInfo>

namespace velloq {

AppEntry describeApp(const QString& path) {
    const std::optional<DesktopEntry> entry = DesktopEntry::read(path);
    QString name = entry ? entry->displayName() : QFileInfo(path).fileName();
    if (!entry && name.endsWith(QStringLiteral(".desktop")))
        name.chop(8);
    return {path, name, entry ? entry->icon() : QIcon(), entry ? entry->iconName : QString()};
}

AppMenu::AppMenu(DockController& controller, std::function<void(const QString&)> choose,
                 std::function<void()> other, QWidget* parent)
    : QMenu(parent)
    , controller_(controller)
    , choose_(std::move(choose))
    , other_(std::move(other)) {
    connect(this, &QMenu::aboutToShow, this, [this] {
        controller_.loadInstalledApps();
        controller_.loadRunningApps();
        fill();
    });
    auto refill = [this] {
        if (!isVisible())
            return;
        if (controller_.runningAppsLoaded() == shownRunningLoaded_ &&
            controller_.installedAppsLoaded() == shownInstalledLoaded_ &&
            controller_.runningApps() == shownRunning_ &&
            controller_.installedApps() == shownInstalled_)
            return; // unchanged: keep the user's place in the menu
        fill();
    };
    connect(&controller_, &DockController::runningAppsChanged, this, refill);
    connect(&controller_, &DockController::installedAppsChanged, this, refill);
}

void AppMenu::preload() {
    controller_.loadInstalledApps();
    if (!controller_.runningAppsLoaded())
        controller_.loadRunningApps();
}

void AppMenu::fill() {
    clear();
    shownRunning_ = controller_.runningApps();
    shownInstalled_ = controller_.installedApps();
    shownRunningLoaded_ = controller_.runningAppsLoaded();
    shownInstalledLoaded_ = controller_.installedAppsLoaded();
    addSection(QStringLiteral("Open Now"), shownRunning_, shownRunningLoaded_);
    addSection(QStringLiteral("All Apps"), shownInstalled_, shownInstalledLoaded_);
    addSeparator();
    addAction(QStringLiteral("Other…"), this, [this] { other_(); });
}

void AppMenu::addSection(const QString& title, const QList<AppEntry>& apps, bool loaded) {
    if (loaded && apps.isEmpty())
        return;
    if (!actions().isEmpty())
        addSeparator();
    addAction(title)->setEnabled(false);
    if (!loaded) {
        addAction(QStringLiteral("Loading…"))->setEnabled(false);
        return;
    }
    for (const AppEntry& app : apps) {
        const QString path = app.path;
        addAction(app.icon, TextStyle::literal(app.name), this, [this, path] { choose_(path); });
    }
}

} // namespace velloq
