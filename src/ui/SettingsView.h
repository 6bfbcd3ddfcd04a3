#pragma once

#include <QWidget>

namespace velloq {

class DockController;

// stub until built
class SettingsView : public QWidget {
    Q_OBJECT

public:
    SettingsView(DockController& controller, QWidget* parent = nullptr);
};

} // namespace velloq
