#include "ui/AppPicker.h"

#include "controller/DockController.h"
#include "ui/AppMenu.h"
#include "ui/TextStyle.h"

#include <QHBoxLayout>
#include <QLabel>
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
    , menu_(new AppMenu(
          controller,
          [this](const QString& app) {
              controller_.setInnerAction(ButtonAction::app(app), index_, inside_);
          },
          [this] { controller_.chooseAppWithPanel(index_, inside_); }, choose_)) {
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    icon_->setFixedSize(kCurrentIconPx, kCurrentIconPx);
    layout->addWidget(icon_);
    layout->addWidget(name_, 1);
    // A popup, not QPushButton::setMenu's modal exec: the lists fill in while it is open.
    connect(choose_, &QPushButton::clicked, this,
            [this] { menu_->popup(choose_->mapToGlobal(QPoint(0, choose_->height()))); });
    layout->addWidget(choose_);

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
    const AppEntry app = describeApp(path_);
    name_->setText(app.name);
    icon_->setPixmap(app.icon.pixmap(kCurrentIconPx, kCurrentIconPx));
    icon_->setVisible(!app.icon.isNull());
}

void AppPicker::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    menu_->preload();
}

} // namespace velloq
