#pragma once

#include <optional>

namespace velloq {

// Brightness of the computer's built-in display. Absent (canRead()/canWrite() false) when
// there is none; the callers then use the brightness media keys. Main thread.
class DisplayBrightness {
public:
    virtual ~DisplayBrightness() = default;

    // Whether a display whose brightness can be read or set exists now.
    virtual bool canRead() = 0;
    virtual bool canWrite() = 0;

    // The level 0…1, or none when it cannot be read.
    virtual std::optional<float> brightness() = 0;
    // Sets the level, clamped to 0…1. False when it could not be written.
    virtual bool setBrightness(float level) = 0;
};

} // namespace velloq
