#include "ui/SelectionEditor.h"

#include "controller/DockController.h"
#include "ui/KeyEditor.h"
#include "ui/KnobEditor.h"

#include <QVBoxLayout>

namespace velloq {

SelectionEditor::SelectionEditor(DockController& controller, QWidget* parent)
    : QWidget(parent)
    , controller_(controller)
    , layout_(new QVBoxLayout(this)) {
    layout_->setContentsMargins(0, 0, 0, 0);
    connect(&controller_, &DockController::selectedChanged, this, &SelectionEditor::showSelection);
    showSelection();
}

void SelectionEditor::showSelection() {
    const Selection selection = controller_.selected();
    if (shown_ == selection)
        return;
    shown_ = selection;
    delete editor_.data();
    if (selection.kind == Selection::Kind::key)
        editor_ = new KeyEditor(controller_, selection.index, this);
    else
        editor_ = new KnobEditor(controller_, selection.index, this);
    layout_->addWidget(editor_);
    editor_->show(); // at once, not on the next pass of the event loop
}

} // namespace velloq
