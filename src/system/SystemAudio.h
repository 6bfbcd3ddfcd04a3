#pragma once

#include <algorithm>
#include <cstdint>
#include <optional>

namespace velloq {

// The side of the audio system a call addresses.
enum class AudioDirection { output, input };

// A level after a knob step of `delta`: up never lowers (a level above 1, which the server
// allows, stays where it is), down goes down by the step, and neither leaves 0…max(1, level).
inline float steppedLevel(float level, float delta) {
    if (delta > 0)
        return level >= 1.0F ? level : std::min(level + delta, 1.0F);
    return std::max(level + delta, 0.0F);
}

// Level and mute of the default output and input devices. Every call is synchronous with a
// short time limit, looks the default device up anew and gives none/false on any failure
// (no server, no device, timeout). Any one thread at a time; the knob steps run on a worker.
class SystemAudio {
public:
    virtual ~SystemAudio() = default;

    // The default device of the direction (its id), or none when there is none.
    virtual std::optional<uint32_t> defaultDevice(AudioDirection direction) = 0;

    // The mute switch of `device` (an id from defaultDevice of the same direction).
    virtual std::optional<bool> isMuted(AudioDirection direction, uint32_t device) = 0;
    virtual bool setMuted(AudioDirection direction, uint32_t device, bool muted) = 0;

    // The default device's level, 1.0 being the normal volume; above 1 when the server has
    // been set louder than that.
    virtual std::optional<float> volume(AudioDirection direction) = 0;
    // Sets the default device's level, clamped to 0…max(1, its level now), so a level above
    // the normal volume can be lowered but is never raised. False when nothing was written.
    virtual bool setVolume(AudioDirection direction, float value) = 0;

    // What a knob step left.
    struct Step {
        float level = 0; // the level written, steppedLevel of the one read
        bool muted = false;
    };
    // One knob step: moves the default device's level by `delta` (steppedLevel) and, when
    // `unmute` is set, unmutes it. None when the level cannot be read; nothing is changed
    // then. A backend bounds the whole step by one time limit where it can.
    virtual std::optional<Step> stepVolume(AudioDirection direction, float delta, bool unmute) {
        const std::optional<uint32_t> device = defaultDevice(direction);
        bool muted = device && isMuted(direction, *device).value_or(false);
        if (unmute && muted && setMuted(direction, *device, false))
            muted = false;
        const std::optional<float> level = volume(direction);
        if (!level)
            return std::nullopt;
        const float next = steppedLevel(*level, delta);
        setVolume(direction, next);
        return Step{next, muted};
    }
};

} // namespace velloq
