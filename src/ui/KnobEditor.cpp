#include "ui/KnobEditor.h"

#include "controller/DockController.h"

namespace velloq {

KnobEditor::KnobEditor(DockController&, int, QWidget* parent)
    : QWidget(parent) {
}

} // namespace velloq
