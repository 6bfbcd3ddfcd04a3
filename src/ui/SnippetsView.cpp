#include "ui/SnippetsView.h"

#include "controller/DockController.h"

namespace velloq {

SnippetsView::SnippetsView(DockController&, QWidget* parent)
    : QWidget(parent) {
}

} // namespace velloq
