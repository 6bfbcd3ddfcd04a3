#pragma once

#include "config/ActionModel.h"
#include "controller/Selection.h"

#include <QString>

#include <optional>

class QMimeData;

namespace velloq::KeyDrag {

// A key or knob of the dock preview being dragged within it.
inline constexpr char kElementMime[] = "application/x-velloq-element";
// A whole button (action and custom image) on the clipboard, beside its action as text.
inline constexpr char kButtonMime[] = "application/x-velloq-button";

struct Button {
    ButtonAction action;
    std::optional<QString> customIcon;
};

// What dragging `selection` carries; the caller owns it.
QMimeData* elementData(const Selection& selection);
std::optional<Selection> elementOf(const QMimeData* data);

// The clipboard's form of a button: the private type, and text/plain with the action's stored
// JSON. The caller owns it.
QMimeData* buttonData(const Button& button);
// The private form when present, else an action read from the text; none when neither holds
// a valid action.
std::optional<Button> buttonOf(const QMimeData* data);

// The one local file a file manager drop names; none for anything else.
std::optional<QString> droppedFile(const QMimeData* data);

} // namespace velloq::KeyDrag
