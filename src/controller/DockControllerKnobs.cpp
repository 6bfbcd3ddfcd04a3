// Knob turns and presses: volume, microphone and display brightness, natively through the
// desktop's media keys or directly with Velloq's own indicator.

#include "controller/ActionState.h"

#include "hud/HUD.h"
#include "system/DisplayBrightness.h"
#include "system/KeySender.h"
#include "system/SystemAudio.h"

#include <algorithm>
#include <cmath>
#include <utility>

namespace velloq {

namespace {

constexpr float kFineStep = 1.0F / 64.0F; // what one fine media-key step moves

float clamp01(float value) {
    return std::clamp(value, 0.0F, 1.0F);
}

std::optional<double> level(float value) {
    return double(value);
}

} // namespace

int DockController::fineStepCount() const {
    const double count = std::round(config_.knobStep / 1.5625); // halves away from zero
    if (!std::isfinite(count))
        return 1;
    return std::max(1, static_cast<int>(std::min(count, 1000.0)));
}

void DockController::postFineSteps(int upType, int downType, int step) {
    const int type = step > 0 ? upType : downType;
    const int count = fineStepCount();
    for (int i = 0; i < count; ++i)
        postMediaKey(type, KeySender::fineStepFlags);
}

void DockController::turn(KnobRole role, int step) {
    const float delta = float(step) * float(config_.knobStep) / 100.0F;
    SystemAudio* sound = audio();
    switch (role) {
    case KnobRole::volume: {
        if (useNative()) {
            postFineSteps(KeySender::soundUp, KeySender::soundDown, step);
            return;
        }
        const std::optional<float> volume =
            sound ? sound->volume(AudioDirection::output) : std::nullopt;
        if (!volume) {
            postMediaKey(step > 0 ? KeySender::soundUp : KeySender::soundDown, 0);
            return;
        }
        const float v = clamp01(*volume + delta);
        sound->setVolume(AudioDirection::output, v);
        const auto device = sound->defaultDevice(AudioDirection::output);
        auto muted = [&] {
            return device && sound->isMuted(AudioDirection::output, *device).value_or(false);
        };
        if (step > 0 && muted())
            sound->setMuted(AudioDirection::output, *device, false);
        if (!config_.showHUD)
            return;
        if (muted())
            hud().show(QStringLiteral("speaker.slash.fill"), QStringLiteral("Volume"),
                       std::nullopt);
        else
            hud().show(volumeSymbol(v), QStringLiteral("Volume"), level(v));
        return;
    }
    case KnobRole::microphone: {
        const auto device = sound ? sound->defaultDevice(AudioDirection::input) : std::nullopt;
        auto muted = [&] {
            return device && sound->isMuted(AudioDirection::input, *device).value_or(false);
        };
        if (step > 0) {
            micSoftMuted_ = false;
            if (muted())
                sound->setMuted(AudioDirection::input, *device, false);
        }
        const std::optional<float> volume =
            sound ? sound->volume(AudioDirection::input) : std::nullopt;
        if (!volume) {
            if (config_.showHUD)
                hud().show(QStringLiteral("mic.slash"),
                           QStringLiteral("Microphone volume not adjustable"), std::nullopt);
            return;
        }
        const float v = clamp01(*volume + delta);
        sound->setVolume(AudioDirection::input, v);
        if (!config_.showHUD)
            return;
        if (micSoftMuted_ || muted())
            hud().show(QStringLiteral("mic.slash.fill"), QStringLiteral("Microphone"),
                       std::nullopt);
        else
            hud().show(QStringLiteral("mic.fill"), QStringLiteral("Microphone"), level(v));
        return;
    }
    case KnobRole::brightness: {
        brightnessBeforeFull_.reset();
        if (useNative()) {
            postFineSteps(KeySender::brightnessUp, KeySender::brightnessDown, step);
            return;
        }
        DisplayBrightness* display = displayBrightness();
        const std::optional<float> current =
            display && display->canRead() ? display->brightness() : std::nullopt;
        if (!current) {
            postMediaKey(step > 0 ? KeySender::brightnessUp : KeySender::brightnessDown, 0);
            return;
        }
        const float v = clamp01(*current + delta);
        if (display->canWrite())
            display->setBrightness(v);
        if (config_.showHUD)
            hud().show(v < 0.5F ? QStringLiteral("sun.min.fill") : QStringLiteral("sun.max.fill"),
                       QStringLiteral("Display"), level(v));
        return;
    }
    case KnobRole::nothing:
        return;
    }
}

void DockController::press(KnobRole role) {
    switch (role) {
    case KnobRole::volume:
        toggleOutputMute();
        return;
    case KnobRole::microphone:
        toggleMicMute();
        return;
    case KnobRole::nothing:
        return;
    case KnobRole::brightness:
        break;
    }

    DisplayBrightness* display = displayBrightness();
    const std::optional<float> current =
        display && display->canRead() ? display->brightness() : std::nullopt;
    if (!current)
        return;
    auto write = [display](float value) {
        if (display->canWrite())
            display->setBrightness(clamp01(value));
    };
    const bool native = useNative();
    if (*current >= 0.99F && brightnessBeforeFull_) {
        const float before = *std::exchange(brightnessBeforeFull_, std::nullopt);
        if (native) {
            // One fine step up from just below lets the desktop show where it ends.
            write(before - kFineStep);
            postMediaKey(KeySender::brightnessUp, KeySender::fineStepFlags);
        } else {
            write(before);
            if (config_.showHUD)
                hud().show(QStringLiteral("sun.min.fill"), QStringLiteral("Display"),
                           level(before));
        }
        return;
    }
    brightnessBeforeFull_ = *current;
    write(1.0F);
    if (native)
        postMediaKey(KeySender::brightnessUp, KeySender::fineStepFlags);
    else if (config_.showHUD)
        hud().show(QStringLiteral("sun.max.fill"), QStringLiteral("Display"), level(1.0F));
}

} // namespace velloq
