#pragma once

#include "system/SystemAudio.h"

#include <memory>

namespace velloq {

// SystemAudio over libpulse (PulseAudio, or PipeWire through pipewire-pulse). Owns one
// threaded main loop and context; connects on first use and again after the server went
// away. The default sink is the output, the default source the input (a monitor of a sink is
// not an input device); a device id is its index.
class PulseSystemAudio final : public SystemAudio {
public:
    // `timeoutMs` bounds each call as a whole, connecting included.
    explicit PulseSystemAudio(int timeoutMs = 500);
    ~PulseSystemAudio() override;
    PulseSystemAudio(const PulseSystemAudio&) = delete;
    PulseSystemAudio& operator=(const PulseSystemAudio&) = delete;

    std::optional<uint32_t> defaultDevice(AudioDirection direction) override;
    std::optional<bool> isMuted(AudioDirection direction, uint32_t device) override;
    bool setMuted(AudioDirection direction, uint32_t device, bool muted) override;
    std::optional<float> volume(AudioDirection direction) override;
    bool setVolume(AudioDirection direction, float value) override;
    std::optional<Step> stepVolume(AudioDirection direction, float delta, bool unmute) override;

private:
    struct Impl;
    std::unique_ptr<Impl> impl_;
};

} // namespace velloq
