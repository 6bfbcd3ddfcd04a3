#include "ui/AppPicker.h"

#include "controller/DockController.h"
#include "support/DesktopEntry.h"
#include "ui/TextStyle.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPushButton>

namespace velloq {

namespace {
constexpr int kCurrentIconPx = 24;
} // namespace

AppPicker::AppPicker(DockController& controller, int index, const QString& path, QWidget* parent,
                     const ActionPath& inside)
    : QWidget(parent)
    , controller_(controller)
    , index_(index)
    , inside_(inside)
    , icon_(new QLabel(this))
    , name_(new QLabel(this))
    , choose_(new QPushButton(QStringLiteral("Choose App"), this))
    , menu_(new QMenu(choose_)) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    icon_->setFixedSize(kCurrentIconPx, kCurrentIconPx);
    layout->addWidget(icon_);
    layout->addWidget(name_, 1);
    // A popup, not QPushButton::setMenu's modal exec: the lists fill in while it is open.
    connect(choose_, &QPushButton::clicked, this,
            [this] { menu_->popup(choose_->mapToGlobal(QPoint(0, choose_->height()))); });
    layout->addWidget(choose_);

    connect(menu_, &QMenu::aboutToShow, this, [this] {
        controller_.loadInstalledApps();
        controller_.loadRunningApps();
        fillMenu();
    });
    auto refill = [this] {
        if (!menu_->isVisible())
            return;
        if (controller_.runningAppsLoaded() == shownRunningLoaded_ &&
            controller_.installedAppsLoaded() == shownInstalledLoaded_ &&
            controller_.runningApps() == shownRunning_ &&
            controller_.installedApps() == shownInstalled_)
            return; // unchanged: keep the user's place in the menu
        fillMenu();
    };
    connect(&controller_, &DockController::runningAppsChanged, this, refill);
    connect(&controller_, &DockController::installedAppsChanged, this, refill);

    path_ = path;
    showPath();
}

void AppPicker::setPath(const QString& path) {
    if (path == path_)
        return;
    path_ = path;
    showPath();
}

void AppPicker::showPath() {
    if (path_.isEmpty()) {
        icon_->clear();
        icon_->hide();
        name_->setText(QStringLiteral("No app chosen yet"));
        TextStyle::setColor(name_, TextStyle::secondaryColor(this));
        return;
    }
    name_->setPalette(palette());
    const std::optional<DesktopEntry> entry = DesktopEntry::read(path_);
    QString name = entry ? entry->displayName() : QFileInfo(path_).fileName();
    if (!entry && name.endsWith(QStringLiteral(".desktop")))
        name.chop(8);
    name_->setText(name);
    const QIcon icon = entry ? entry->icon() : QIcon();
    icon_->setPixmap(icon.pixmap(kCurrentIconPx, kCurrentIconPx));
    icon_->setVisible(!icon.isNull());
}

void AppPicker::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // Start the scans now, so the lists are usually there when the menu opens.
    controller_.loadInstalledApps();
    if (!controller_.runningAppsLoaded())
        controller_.loadRunningApps();
}

void AppPicker::fillMenu() {
    menu_->clear();
    shownRunning_ = controller_.runningApps();
    shownInstalled_ = controller_.installedApps();
    shownRunningLoaded_ = controller_.runningAppsLoaded();
    shownInstalledLoaded_ = controller_.installedAppsLoaded();
    addSection(QStringLiteral("Open Now"), shownRunning_, shownRunningLoaded_);
    addSection(QStringLiteral("All Apps"), shownInstalled_, shownInstalledLoaded_);
    menu_->addSeparator();
    menu_->addAction(QStringLiteral("Other…"), this,
                     [this] { controller_.chooseAppWithPanel(index_, inside_); });
}

void AppPicker::addSection(const QString& title, const QList<AppEntry>& apps, bool loaded) {
    if (loaded && apps.isEmpty())
        return;
    if (!menu_->actions().isEmpty())
        menu_->addSeparator();
    menu_->addAction(title)->setEnabled(false);
    if (!loaded) {
        menu_->addAction(QStringLiteral("Loading…"))->setEnabled(false);
        return;
    }
    for (const AppEntry& app : apps) {
        const QString path = app.path;
        menu_->addAction(app.icon, TextStyle::literal(app.name), this, [this, path] {
            controller_.setInnerAction(ButtonAction::app(path), index_, inside_);
        });
    }
}

} // namespace velloq
