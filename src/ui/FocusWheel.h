#pragma once

class QWidget;

namespace velloq {

// Makes `widget` (a slider, a spin box) take the mouse wheel only while it has the focus;
// otherwise the wheel scrolls the page it sits on, as the user meant.
void takeWheelOnlyWithFocus(QWidget* widget);

} // namespace velloq
