#pragma once

#include <QWidget>

class QCheckBox;
class QLabel;
class QPushButton;
class QSpinBox;

namespace velloq {

class DockController;
class Dropdown;
class ValueSlider;

// The "Settings" tab: starting at login, input access, the dock's brightness, the knob step,
// the indicators, the image rotation, "Refresh Dock" and the screensaver settings.
class SettingsView : public QWidget {
    Q_OBJECT

public:
    SettingsView(DockController& controller, QWidget* parent = nullptr);

private:
    QWidget* buildContent();
    void sync();
    void syncLoginItem();
    void syncAccess();

    DockController& controller_;
    QCheckBox* launchAtLogin_ = nullptr;
    QLabel* loginNote_ = nullptr;
    QLabel* accessSymbol_ = nullptr;
    QLabel* accessText_ = nullptr;
    QPushButton* allow_ = nullptr;
    ValueSlider* brightness_ = nullptr;
    QLabel* knobStepText_ = nullptr;
    QSpinBox* knobStep_ = nullptr;
    QCheckBox* nativeIndicators_ = nullptr;
    QCheckBox* showHUD_ = nullptr;
    Dropdown* rotation_ = nullptr;
    QPushButton* refresh_ = nullptr;
};

} // namespace velloq
