#include "ui/FollowSettings.h"

#include "controller/DockController.h"
#include "ui/ConfigEdit.h"
#include "ui/TextStyle.h"

#include <QCheckBox>
#include <QFontDatabase>
#include <QLabel>
#include <QVBoxLayout>

namespace velloq {

FollowSettings::FollowSettings(DockController& controller, QWidget* parent)
    : QWidget(parent)
    , controller_(controller)
    , follow_(new QCheckBox(QStringLiteral("Switch pages with the app in front"), this))
    , availability_(TextStyle::label(QString(), TextStyle::Size::caption, true, this, true))
    , command_(TextStyle::label(QString(), TextStyle::Size::caption, false, this)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(4);
    connect(follow_, &QCheckBox::clicked, this, [this](bool on) {
        editConfig(controller_, [on](DockConfig& config) { config.followApps = on; });
    });
    layout->addWidget(follow_);
    layout->addWidget(availability_);
    command_->setTextInteractionFlags(Qt::TextSelectableByMouse);
    command_->setFont(QFontDatabase::systemFont(QFontDatabase::FixedFont));
    layout->addWidget(command_);

    connect(&controller_, &DockController::configChanged, this, &FollowSettings::sync);
    connect(&controller_, &DockController::appInFrontAvailabilityChanged, this,
            &FollowSettings::sync);
    sync();
}

void FollowSettings::showEvent(QShowEvent* event) {
    QWidget::showEvent(event);
    // The user may have just installed or turned on what it takes.
    controller_.refreshAppInFrontAvailability();
}

void FollowSettings::sync() {
    follow_->setChecked(controller_.config().followApps);
    QString text;
    switch (controller_.appInFrontAvailability()) {
    case ActiveAppWatcher::Availability::available:
        break;
    case ActiveAppWatcher::Availability::extensionOff:
        text = QStringLiteral(
            "Velloq’s GNOME Shell extension tells it the app in front. Turn it on with:");
        break;
    case ActiveAppWatcher::Availability::unavailable:
        text = QStringLiteral("Switching pages with the app in front is not available on this "
                              "desktop");
        break;
    }
    availability_->setText(text);
    availability_->setVisible(!text.isEmpty());
    const QString command = controller_.appInFrontEnableCommand();
    command_->setText(command);
    command_->setVisible(!text.isEmpty() && !command.isEmpty());
}

} // namespace velloq
