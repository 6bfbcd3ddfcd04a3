#pragma once

#include <cstdint>
#include <optional>

namespace velloq::KeyCodes {

// Print Screen has no code in the stored numbering; this otherwise unused one stands for it
// (screenshot functions, and recording the key).
constexpr uint16_t printScreen = 0x6C;

// Stored key code (the configuration file's numbering) to the Linux evdev code
// (linux/input-event-codes.h). Absent for codes that name no key.
std::optional<uint16_t> toEvdev(uint16_t keyCode);

// The reverse, for recording: evdev code (X keycode − 8, Qt's native scan code − 8 on xcb)
// to the stored key code.
std::optional<uint16_t> fromEvdev(uint16_t evdevCode);

// Media-key type to its evdev code (KEY_VOLUMEUP ...). Absent for unknown types.
std::optional<uint16_t> mediaKeyToEvdev(int type);

} // namespace velloq::KeyCodes
