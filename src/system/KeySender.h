#pragma once

#include <cstdint>

namespace velloq {

// Injects keyboard input into the desktop as if typed (copy, paste, shortcuts, media keys).
// Key codes are the stored key codes of the configuration file (0 = A, 8 = C, 103 = F11 ...);
// flags are the stored modifier mask (Command 0x100000, Shift 0x20000, Option 0x80000,
// Control 0x40000). Main thread only. Callers check input access first.
class KeySender {
public:
    static constexpr uint64_t commandFlag = 0x100000;
    static constexpr uint64_t shiftFlag = 0x20000;
    static constexpr uint64_t optionFlag = 0x80000;
    static constexpr uint64_t controlFlag = 0x40000;
    // Extra flags of a fine media-key step: Shift + Option held around the key.
    static constexpr uint64_t fineStepFlags = shiftFlag | optionFlag;

    // Media-key types.
    enum MediaKey : int {
        soundUp = 0,
        soundDown = 1,
        brightnessUp = 2,
        brightnessDown = 3,
        mute = 7,
        playPause = 16,
        nextTrack = 19,
        previousTrack = 20,
    };

    virtual ~KeySender() = default;

    // One complete combination: modifier downs (Command, Shift, Option, Control), the key
    // down and up, modifier ups in reverse. No delays. Unknown key codes send nothing.
    virtual void press(uint16_t keyCode, uint64_t flags) = 0;

    // One down/up pair of a media key. `extraFlags` holds modifiers around the pair
    // (fineStepFlags for a fine step, 0 for a plain one). Unknown types send nothing.
    virtual void postMediaKey(int type, uint64_t extraFlags) = 0;

    // True when events can be injected at all (the "input access" of the desktop).
    virtual bool canInject() = 0;
};

} // namespace velloq
