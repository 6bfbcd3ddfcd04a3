#pragma once

#include <cstdint>
#include <optional>

namespace velloq {

// The side of the audio system a call addresses.
enum class AudioDirection { output, input };

// Level and mute of the default output and input devices. Every call is synchronous with a
// short time limit, looks the default device up anew and gives none/false on any failure
// (no server, no device, timeout). Main thread.
class SystemAudio {
public:
    virtual ~SystemAudio() = default;

    // The default device of the direction (its id), or none when there is none.
    virtual std::optional<uint32_t> defaultDevice(AudioDirection direction) = 0;

    // The mute switch of `device` (an id from defaultDevice of the same direction).
    virtual std::optional<bool> isMuted(AudioDirection direction, uint32_t device) = 0;
    virtual bool setMuted(AudioDirection direction, uint32_t device, bool muted) = 0;

    // The default device's level, 0…1.
    virtual std::optional<float> volume(AudioDirection direction) = 0;
    // Sets the default device's level, clamped to 0…1. False when nothing was written.
    virtual bool setVolume(AudioDirection direction, float value) = 0;
};

} // namespace velloq
