#pragma once

#include "config/ActionModel.h"

#include <QString>

namespace velloq {

// A knob role's title in the window ("Sound Volume").
inline QString knobRoleTitle(KnobRole role) {
    switch (role) {
    case KnobRole::volume:
        return QStringLiteral("Sound Volume");
    case KnobRole::microphone:
        return QStringLiteral("Microphone Volume");
    case KnobRole::brightness:
        return QStringLiteral("Screen Brightness");
    case KnobRole::nothing:
        break;
    }
    return QStringLiteral("Nothing");
}

// The symbol at the centre of a knob in the dock preview.
inline QString knobRoleSymbol(KnobRole role) {
    switch (role) {
    case KnobRole::volume:
        return QStringLiteral("speaker.wave.2.fill");
    case KnobRole::microphone:
        return QStringLiteral("mic.fill");
    case KnobRole::brightness:
        return QStringLiteral("sun.max.fill");
    case KnobRole::nothing:
        break;
    }
    return QStringLiteral("circle.dashed");
}

} // namespace velloq
