#pragma once

#include "config/ActionModel.h"

#include <QPointer>
#include <QWidget>

class QLabel;
class QPushButton;

namespace velloq {

class DockController;

// The recorded shortcut of a "Keyboard Shortcut" button and the button that records a new
// one. Recording belongs to the recorder on screen: when it is hidden or goes away, the
// recording stops without a change.
class KeyRecorder : public QWidget {
    Q_OBJECT

public:
    // The shortcut of the action at `inside` the action of key `index`.
    KeyRecorder(DockController& controller, int index, const KeyCombo& combo,
                QWidget* parent = nullptr, const ActionPath& inside = {});
    ~KeyRecorder() override;

    void setCombo(const KeyCombo& combo);
    bool isRecording() const;

protected:
    void hideEvent(QHideEvent* event) override;

private:
    void sync();
    void stopOwnRecording();

    QPointer<DockController> controller_;
    int index_;
    ActionPath inside_;
    KeyCombo combo_;
    QLabel* text_;
    QPushButton* button_;
};

} // namespace velloq
