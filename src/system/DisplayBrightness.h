#pragma once

#include <algorithm>
#include <optional>

namespace velloq {

// Brightness of the computer's built-in display. Absent (canRead()/canWrite() false) when
// there is none; the callers then use the brightness media keys. Any one thread at a time; the
// knob steps run on a worker.
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

    // One knob step: the level moved by `delta` within 0…1 and written when it can be. A
    // backend with coarse steps moves at least one of them in the direction of `delta` until
    // the end of the range. The new level, or none when it cannot be read (nothing written).
    virtual std::optional<float> stepBrightness(float delta) {
        const std::optional<float> level = canRead() ? brightness() : std::nullopt;
        if (!level)
            return std::nullopt;
        const float next = std::clamp(*level + delta, 0.0F, 1.0F);
        if (canWrite())
            setBrightness(next);
        return next;
    }
};

} // namespace velloq
