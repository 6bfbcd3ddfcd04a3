#include "ui/FocusWheel.h"

#include <QEvent>
#include <QWidget>

namespace velloq {

namespace {

class FocusWheel final : public QObject {
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() != QEvent::Wheel || static_cast<QWidget*>(watched)->hasFocus())
            return false;
        // Unaccepted, the event goes on to the parents, up to the scroll area.
        event->ignore();
        return true;
    }
};

} // namespace

void takeWheelOnlyWithFocus(QWidget* widget) {
    widget->installEventFilter(new FocusWheel(widget));
}

} // namespace velloq
