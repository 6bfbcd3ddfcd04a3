#pragma once

#include <algorithm>
#include <cmath>
#include <cstdint>
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

// One knob step on a device with whole steps 0…max: the level moved by `delta`, at least one
// step in its direction until the end of the range (with 15 steps a 3 % turn is under half
// of one).
inline int64_t stepRaw(int64_t raw, int64_t max, float delta) {
    int64_t next = std::llround((double(raw) / double(max) + double(delta)) * double(max));
    if (delta > 0)
        next = std::max(next, raw + 1);
    else if (delta < 0)
        next = std::min(next, raw - 1);
    return std::clamp<int64_t>(next, 0, max);
}

// The first of two displays that can be read: the backlight, else the monitors over DDC/CI.
class FirstDisplayBrightness final : public DisplayBrightness {
public:
    FirstDisplayBrightness(DisplayBrightness& first, DisplayBrightness& second)
        : first_(first)
        , second_(second) {}

    bool canRead() override { return first_.canRead() || second_.canRead(); }
    bool canWrite() override { return active().canWrite(); }
    std::optional<float> brightness() override { return active().brightness(); }
    bool setBrightness(float level) override { return active().setBrightness(level); }
    std::optional<float> stepBrightness(float delta) override {
        return active().stepBrightness(delta);
    }

private:
    DisplayBrightness& active() { return first_.canRead() ? first_ : second_; }
    DisplayBrightness& first_;
    DisplayBrightness& second_;
};

} // namespace velloq
