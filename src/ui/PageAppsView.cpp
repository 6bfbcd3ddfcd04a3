#include "ui/PageAppsView.h"

#include "controller/DockController.h"
#include "ui/AppMenu.h"
#include "ui/ConfigEdit.h"
#include "ui/TextStyle.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QToolButton>
#include <QVBoxLayout>

namespace velloq {

namespace {
constexpr int kIconPx = 20;
} // namespace

PageAppsView::PageAppsView(DockController& controller, QWidget* parent)
    : QWidget(parent)
    , controller_(controller)
    , rows_(new QVBoxLayout)
    , add_(new QPushButton(QStringLiteral("Add App"), this))
    , menu_(new AppMenu(
          controller, [this](const QString& path) { add(path); },
          [this] { controller_.choosePageAppWithPanel(controller_.currentPage()); }, add_)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    layout->addWidget(
        TextStyle::label(QStringLiteral("Show this page when these apps are in front"),
                         TextStyle::Size::caption, true, this, true));
    rows_->setContentsMargins(0, 0, 0, 0);
    rows_->setSpacing(2);
    layout->addLayout(rows_);
    // A popup, not QPushButton::setMenu's modal exec: the lists fill in while it is open.
    connect(add_, &QPushButton::clicked, this, [this] {
        menu_->preload();
        menu_->popup(add_->mapToGlobal(QPoint(0, add_->height())));
    });
    layout->addWidget(add_, 0, Qt::AlignLeft);

    connect(&controller_, &DockController::configChanged, this, &PageAppsView::sync);
    connect(&controller_, &DockController::currentPageChanged, this, &PageAppsView::sync);
    sync();
}

void PageAppsView::sync() {
    const QUuid pageId = controller_.currentPage();
    const Page* page = controller_.config().page(pageId);
    setVisible(page != nullptr);
    const QStringList apps = page ? page->apps : QStringList();
    if (pageId == shownPage_ && apps == shownApps_)
        return;
    shownPage_ = pageId;
    shownApps_ = apps;
    // Later: the click that removes an app comes from its row.
    while (QLayoutItem* item = rows_->takeAt(0)) {
        item->widget()->hide();
        item->widget()->deleteLater();
        delete item;
    }
    for (const QString& path : apps) {
        const AppEntry app = describeApp(path);
        auto* row = new QWidget(this);
        auto* rowLayout = new QHBoxLayout(row);
        rowLayout->setContentsMargins(0, 0, 0, 0);
        auto* icon = new QLabel(row);
        icon->setFixedSize(kIconPx, kIconPx);
        icon->setPixmap(app.icon.pixmap(kIconPx, kIconPx));
        rowLayout->addWidget(icon);
        rowLayout->addWidget(new QLabel(app.name, row), 1);
        auto* remove = new QToolButton(row);
        remove->setIcon(TextStyle::symbolIcon(QStringLiteral("trash"), remove));
        remove->setToolTip(QStringLiteral("Remove ") + app.name);
        remove->setAccessibleName(QStringLiteral("Remove ") + app.name);
        connect(remove, &QToolButton::clicked, this, [this, path] { this->remove(path); });
        rowLayout->addWidget(remove);
        rows_->addWidget(row);
    }
}

void PageAppsView::add(const QString& path) {
    const QUuid pageId = controller_.currentPage();
    editConfig(controller_, [&](DockConfig& config) {
        if (Page* page = config.page(pageId); page && !page->apps.contains(path))
            page->apps.append(path);
    });
}

void PageAppsView::remove(const QString& path) {
    const QUuid pageId = controller_.currentPage();
    editConfig(controller_, [&](DockConfig& config) {
        if (Page* page = config.page(pageId))
            page->apps.removeAll(path);
    });
}

} // namespace velloq
