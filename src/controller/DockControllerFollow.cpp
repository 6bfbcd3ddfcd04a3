// Pages that follow the app in front: the follower decides, the controller shows.

#include "controller/DockController.h"

#include "follow/PageFollower.h"

#include <QTimer>

namespace velloq {

void DockController::startFollowingApps() {
    connect(follower_.get(), &PageFollower::appInFront, this, &DockController::appInFront);
    connect(&follower_->watcher(), &ActiveAppWatcher::availabilityChanged, this,
            &DockController::appInFrontAvailabilityChanged);
    follower_->setConfig(config_);
}

void DockController::appInFront(const std::optional<QUuid>& page) {
    // While the screensaver plays this changes only what it returns to.
    showPage(page.value_or(userPage_));
}

ActiveAppWatcher::Availability DockController::appInFrontAvailability() const {
    return follower_->watcher().availability();
}

QString DockController::appInFrontEnableCommand() const {
    return follower_->watcher().enableCommand();
}

void DockController::refreshAppInFrontAvailability() {
    follower_->watcher().refreshAvailability();
}

bool DockController::followingApps() const {
    return follower_->watching();
}

void DockController::choosePageAppWithPanel(const QUuid& page) {
    QTimer::singleShot(0, this, [this, page] {
        const std::optional<QString> path =
            runPanel({QStringLiteral("Choose an app for this page"), QStringLiteral("Choose"),
                      QStringLiteral("Applications (*.desktop)"),
                      QStringLiteral("/usr/share/applications")});
        if (!path)
            return;
        DockConfig next = config_;
        Page* target = next.page(page);
        if (target && !target->apps.contains(*path)) {
            target->apps.append(*path);
            changeConfig(next, EditHistory::Merge::never);
        }
    });
}

} // namespace velloq
