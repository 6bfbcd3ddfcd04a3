#pragma once

#include "controller/Selection.h"

#include <QList>
#include <QWidget>

namespace velloq {

class DockController;
class PreviewElement;

// A clickable picture of the dock: six screen buttons, three round buttons and three knobs,
// each showing what it does. Clicking one selects it in the controller.
class DeviceMockView : public QWidget {
    Q_OBJECT

public:
    explicit DeviceMockView(DockController& controller, QWidget* parent = nullptr);

    // The element that selects `selection`, for tests and screenshots.
    QWidget* element(const Selection& selection) const;

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    void refresh(bool force);

    DockController& controller_;
    QList<PreviewElement*> keys_;  // key index 0-8
    QList<PreviewElement*> knobs_; // knob index 0-2
};

} // namespace velloq
