#pragma once

#include <cstdint>

namespace velloq {

// Whether a program of the desktop takes a media key that Velloq would send, that is, changes
// the level and shows its own pop-up. Where none does, sending the key does nothing, so Velloq
// changes the level itself. Main thread only.
class DesktopMediaKeys {
public:
    virtual ~DesktopMediaKeys() = default;

    // `type` is a KeySender media-key type, `extraFlags` the modifiers held around it.
    virtual bool takes(int type, uint64_t extraFlags) = 0;
};

} // namespace velloq
