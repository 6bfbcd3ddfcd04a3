#include "ui/ToggleEditor.h"

#include "controller/DockController.h"
#include "ui/ActionEditor.h"
#include "ui/TextStyle.h"

#include <QGroupBox>
#include <QLabel>
#include <QVBoxLayout>

namespace velloq {

ToggleEditor::ToggleEditor(DockController& controller, int index, const ActionPath& inside,
                           QWidget* parent)
    : QWidget(parent)
    , controller_(controller)
    , index_(index)
    , state_(TextStyle::label(QString(), TextStyle::Size::callout, true, this, true)) {
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(8);
    const auto side = [&](const QString& title, int which) {
        auto* group = new QGroupBox(title, this);
        auto* groupLayout = new QVBoxLayout(group);
        groupLayout->addWidget(new ActionEditor(controller_, index_, inside + ActionPath{which},
                                                QStringLiteral("Action"),
                                                ButtonAction::Kind::sideCases(), group));
        layout->addWidget(group);
    };
    side(QStringLiteral("When off, pressing"), 0);
    side(QStringLiteral("When on, pressing"), 1);
    layout->addWidget(state_);

    connect(&controller_, &DockController::configChanged, this, &ToggleEditor::sync);
    connect(&controller_, &DockController::currentPageChanged, this, &ToggleEditor::sync);
    sync();
}

void ToggleEditor::sync() {
    state_->setText(controller_.isToggleOn(index_)
                        ? QStringLiteral("It is on now: the next press runs “When on”.")
                        : QStringLiteral("It is off now: the next press runs “When off”."));
}

} // namespace velloq
