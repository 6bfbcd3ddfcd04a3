#pragma once

#include <QWidget>

class QCheckBox;
class QLabel;

namespace velloq {

class DockController;

// In Settings: "Switch pages with the app in front", and a line saying when the desktop
// cannot tell the app in front, or what turns it on.
class FollowSettings : public QWidget {
    Q_OBJECT

public:
    explicit FollowSettings(DockController& controller, QWidget* parent = nullptr);

protected:
    void showEvent(QShowEvent* event) override;

private:
    void sync();

    DockController& controller_;
    QCheckBox* follow_;
    QLabel* availability_;
    QLabel* command_;
};

} // namespace velloq
