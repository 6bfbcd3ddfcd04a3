#pragma once

#include "controller/DockController.h"

#include <utility>

namespace velloq {

// Writes a changed copy of the controller's configuration back, as every simple setting does.
template <typename Change> void editConfig(DockController& controller, Change&& change) {
    DockConfig next = controller.config();
    std::forward<Change>(change)(next);
    controller.setConfig(next);
}

} // namespace velloq
