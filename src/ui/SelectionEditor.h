#pragma once

#include "controller/Selection.h"

#include <QPointer>
#include <QWidget>

#include <optional>

class QVBoxLayout;

namespace velloq {

class DockController;

// The editor of the selected element: KeyEditor for a button, KnobEditor for a knob, made
// anew when the selection changes.
class SelectionEditor : public QWidget {
    Q_OBJECT

public:
    explicit SelectionEditor(DockController& controller, QWidget* parent = nullptr);

    QWidget* editor() const { return editor_; }

private:
    void showSelection();

    DockController& controller_;
    QVBoxLayout* layout_;
    QPointer<QWidget> editor_;
    std::optional<Selection> shown_;
};

} // namespace velloq
