#pragma once

#include "config/ActionModel.h"

#include <QWidget>

class QLabel;

namespace velloq {

class DockController;

// A "Toggle": what pressing does while it is off ("When off, pressing") and while it is on
// ("When on, pressing"), each with its own kind and details, and which state it is in now.
class ToggleEditor : public QWidget {
    Q_OBJECT

public:
    // The toggle at `inside` the action of key `index` on the current page.
    ToggleEditor(DockController& controller, int index, const ActionPath& inside,
                 QWidget* parent = nullptr);

private:
    void sync();

    DockController& controller_;
    int index_;
    QLabel* state_;
};

} // namespace velloq
