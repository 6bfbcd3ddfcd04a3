#pragma once

#include <QWidget>

class QCheckBox;
class QLabel;
class QPushButton;
class QSpinBox;

namespace velloq {

class DockController;
class Dropdown;
class ShareActions;
class ValueSlider;

// The "Settings" tab: starting at login, input access, the dock's brightness, the knob step,
// the indicators, the image rotation, "Refresh Dock", the screensaver settings, and exporting
// and importing the whole setup.
class SettingsView : public QWidget {
    Q_OBJECT

public:
    SettingsView(DockController& controller, QWidget* parent = nullptr);

    // What "Export All…" and "Import…" run.
    ShareActions* sharing() const { return sharing_; }

private:
    QWidget* buildContent();
    QWidget* buildSharing(QWidget* parent);
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
    ShareActions* sharing_ = nullptr;
};

} // namespace velloq
