#include "ui/SettingsView.h"

#include "controller/DockController.h"

namespace velloq {

SettingsView::SettingsView(DockController&, QWidget* parent)
    : QWidget(parent) {
}

} // namespace velloq
