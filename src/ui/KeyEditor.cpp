#include "ui/KeyEditor.h"

#include "controller/DockController.h"

namespace velloq {

KeyEditor::KeyEditor(DockController&, int, QWidget* parent)
    : QWidget(parent) {
}

} // namespace velloq
