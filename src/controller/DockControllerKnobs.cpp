// Knob turns and presses: volume, microphone and display brightness, natively through the
// desktop's media keys or directly with Velloq's own indicator.

#include "controller/ActionState.h"

#include "hud/HUD.h"
#include "system/DisplayBrightness.h"
#include "system/KeySender.h"
#include "system/SystemAudio.h"

#include <algorithm>
#include <cmath>
#include <cstdlib>

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
    switch (role) {
    case KnobRole::volume:
        if (useNative(step > 0 ? KeySender::soundUp : KeySender::soundDown,
                      KeySender::fineStepFlags)) {
            postFineSteps(KeySender::soundUp, KeySender::soundDown, step);
            return;
        }
        break;
    case KnobRole::brightness:
        if (useNative(step > 0 ? KeySender::brightnessUp : KeySender::brightnessDown,
                      KeySender::fineStepFlags)) {
            const ActionState& state = actionState();
            if (!state.audioJobRunning && state.audioJobs.empty()) {
                brightnessBeforeFull_.reset();
                postFineSteps(KeySender::brightnessUp, KeySender::brightnessDown, step);
                return;
            }
            // Behind a press still on the worker, whose write would otherwise undo the turn.
            queueAudioJob(KnobRole::nothing, 0, [this, step]() -> WorkerCall {
                brightnessBeforeFull_.reset();
                return [this, step] {
                    return std::function<void()>([this, step] {
                        postFineSteps(KeySender::brightnessUp, KeySender::brightnessDown, step);
                    });
                };
            });
            return;
        }
        break;
    case KnobRole::microphone:
        break;
    case KnobRole::nothing:
        return;
    }
    queueAudioJob(role, step, {});
}

void DockController::queueAudioJob(KnobRole turnRole, int steps,
                                   std::function<WorkerCall()> prepare) {
    ActionState& state = actionState();
    // A detent that follows a waiting detent of the same knob joins it.
    if (!prepare && !state.audioJobs.empty() && !state.audioJobs.back().prepare &&
        state.audioJobs.back().turnRole == turnRole) {
        state.audioJobs.back().steps += steps;
    } else {
        state.audioJobs.push_back({turnRole, steps, std::move(prepare)});
    }
    startAudioJob();
}

void DockController::startAudioJob() {
    ActionState& state = actionState();
    if (state.audioJobRunning || state.audioJobs.empty())
        return;
    ActionState::AudioJob job = std::move(state.audioJobs.front());
    state.audioJobs.pop_front();
    if (!job.prepare && job.steps == 0) {
        startAudioJob();
        return;
    }
    WorkerCall call = job.prepare ? job.prepare() : knobStep(job.turnRole, job.steps);
    state.audioJobRunning = true;
    state.audioWorker.start([this, call = std::move(call)] {
        std::function<void()> apply = call();
        // The pool is waited for before the controller goes, and a queued call to a
        // destroyed object is dropped.
        QMetaObject::invokeMethod(
            this,
            [this, apply = std::move(apply)] {
                actionState().audioJobRunning = false;
                apply();
                startAudioJob();
            },
            Qt::QueuedConnection);
    });
}

DockController::WorkerCall DockController::knobStep(KnobRole role, int steps) {
    // Cleared here rather than at the detent, so a toggle queued before it cannot undo it.
    if (role == KnobRole::microphone && steps > 0)
        micSoftMuted_ = false;
    if (role == KnobRole::brightness)
        brightnessBeforeFull_.reset();
    const float delta = float(steps) * float(config_.knobStep) / 100.0F;
    const int count = std::abs(steps);
    const bool up = steps > 0;

    if (role == KnobRole::brightness) {
        return [this, display = displayBrightness(), delta, count, up]() -> std::function<void()> {
            const std::optional<float> v = display ? display->stepBrightness(delta) : std::nullopt;
            return [this, v, count, up] {
                const int key = up ? KeySender::brightnessUp : KeySender::brightnessDown;
                if (!v && desktopTakes(key, 0)) {
                    for (int i = 0; i < count; ++i)
                        postMediaKey(key, 0);
                } else if (!v) {
                    showNoAdjustableDisplay();
                } else if (config_.showHUD) {
                    hud().show(*v < 0.5F ? QStringLiteral("sun.min.fill")
                                         : QStringLiteral("sun.max.fill"),
                               QStringLiteral("Display"), level(*v));
                }
            };
        };
    }

    const bool output = role == KnobRole::volume;
    return [this, sound = audio(), output, delta, count, up]() -> std::function<void()> {
        // Turning up unmutes: the microphone before the change, the speaker after it.
        const std::optional<SystemAudio::Step> step =
            sound ? sound->stepVolume(output ? AudioDirection::output : AudioDirection::input,
                                      delta, up)
                  : std::nullopt;
        if (output) {
            return [this, step, count, up] {
                if (!step) {
                    for (int i = 0; i < count; ++i)
                        postMediaKey(up ? KeySender::soundUp : KeySender::soundDown, 0);
                } else if (config_.showHUD && step->muted) {
                    hud().show(QStringLiteral("speaker.slash.fill"), QStringLiteral("Volume"),
                               std::nullopt);
                } else if (config_.showHUD) {
                    const float shownLevel = clamp01(step->level);
                    hud().show(volumeSymbol(shownLevel), QStringLiteral("Volume"),
                               level(shownLevel));
                }
            };
        }
        return [this, step] {
            if (!config_.showHUD)
                return;
            if (!step)
                hud().show(QStringLiteral("mic.slash"),
                           QStringLiteral("Microphone volume not adjustable"), std::nullopt);
            else if (micSoftMuted_ || step->muted)
                hud().show(QStringLiteral("mic.slash.fill"), QStringLiteral("Microphone"),
                           std::nullopt);
            else
                hud().show(QStringLiteral("mic.fill"), QStringLiteral("Microphone"),
                           level(clamp01(step->level)));
        };
    };
}

void DockController::showNoAdjustableDisplay() {
    if (config_.showHUD)
        hud().show(QStringLiteral("display.slash"), QStringLiteral("No adjustable display found"),
                   std::nullopt);
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
        queueAudioJob(KnobRole::nothing, 0, [this] { return brightnessToggle(); });
        return;
    }
}

DockController::WorkerCall DockController::brightnessToggle() {
    const bool native = useNative(KeySender::brightnessUp, KeySender::fineStepFlags);
    return [this, display = displayBrightness(), before = brightnessBeforeFull_,
            native]() -> std::function<void()> {
        const std::optional<float> current =
            display && display->canRead() ? display->brightness() : std::nullopt;
        if (!current)
            return [this] { showNoAdjustableDisplay(); };
        auto write = [display](float value) {
            if (display->canWrite())
                display->setBrightness(clamp01(value));
        };
        if (*current >= 0.99F && before) {
            // Natively, one fine step up from just below lets the desktop show where it ends.
            write(native ? *before - kFineStep : *before);
            return [this, native, back = *before] {
                brightnessBeforeFull_.reset();
                if (native)
                    postMediaKey(KeySender::brightnessUp, KeySender::fineStepFlags);
                else if (config_.showHUD)
                    hud().show(QStringLiteral("sun.min.fill"), QStringLiteral("Display"),
                               level(back));
            };
        }
        write(1.0F);
        return [this, native, from = *current] {
            brightnessBeforeFull_ = from;
            if (native)
                postMediaKey(KeySender::brightnessUp, KeySender::fineStepFlags);
            else if (config_.showHUD)
                hud().show(QStringLiteral("sun.max.fill"), QStringLiteral("Display"), level(1.0F));
        };
    };
}

} // namespace velloq
