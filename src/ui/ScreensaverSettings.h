#pragma once

#include <QWidget>

class QCheckBox;
class QPushButton;

namespace velloq {

class DockController;
class Dropdown;
class ValueSlider;

// The screensaver part of the settings: on/off, the delay, the animation and how it plays,
// and a preview on the dock.
class ScreensaverSettings : public QWidget {
    Q_OBJECT

public:
    explicit ScreensaverSettings(DockController& controller, QWidget* parent = nullptr);

private:
    void sync();
    void syncPreview();

    DockController& controller_;
    QCheckBox* enabled_;
    ValueSlider* delay_;
    Dropdown* animation_;
    Dropdown* playback_;
    ValueSlider* speed_;
    QPushButton* preview_;
};

} // namespace velloq
