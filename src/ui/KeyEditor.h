#pragma once

#include <QWidget>

namespace velloq {

class DockController;

// the editor of the selected Key (stub until built)
class KeyEditor : public QWidget {
    Q_OBJECT

public:
    KeyEditor(DockController& controller, int index, QWidget* parent = nullptr);
};

} // namespace velloq
