#pragma once

#include <QWidget>

namespace velloq {

class DockController;

// the editor of the selected Knob (stub until built)
class KnobEditor : public QWidget {
    Q_OBJECT

public:
    KnobEditor(DockController& controller, int index, QWidget* parent = nullptr);
};

} // namespace velloq
