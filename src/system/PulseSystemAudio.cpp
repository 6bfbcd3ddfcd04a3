#include "system/PulseSystemAudio.h"

#include <pulse/context.h>
#include <pulse/introspect.h>
#include <pulse/rtclock.h>
#include <pulse/sample.h>
#include <pulse/thread-mainloop.h>
#include <pulse/timeval.h>
#include <pulse/volume.h>

#include <algorithm>
#include <cmath>
#include <functional>
#include <string>

namespace velloq {

namespace {

struct MainloopLock {
    explicit MainloopLock(pa_threaded_mainloop* loop)
        : loop_(loop) {
        pa_threaded_mainloop_lock(loop_);
    }
    ~MainloopLock() { pa_threaded_mainloop_unlock(loop_); }
    MainloopLock(const MainloopLock&) = delete;
    MainloopLock& operator=(const MainloopLock&) = delete;

private:
    pa_threaded_mainloop* loop_;
};

struct DeviceInfo {
    uint32_t index = PA_INVALID_INDEX;
    pa_cvolume volume{};
    bool muted = false;
    bool isMonitor = false;
};

// What a callback leaves for the waiting caller.
struct Reply {
    explicit Reply(pa_threaded_mainloop* mainloop)
        : loop(mainloop) {}
    pa_threaded_mainloop* loop;
    bool done = false;
    bool ok = false;
    std::string text;
    DeviceInfo device;
};

void signalLoop(Reply* reply) {
    reply->done = true;
    pa_threaded_mainloop_signal(reply->loop, 0);
}

void onServerInfo(pa_context*, const pa_server_info* info, void* userdata) {
    auto* reply = static_cast<Reply*>(userdata);
    if (info) {
        reply->ok = true;
        reply->text = info->default_sink_name ? info->default_sink_name : "";
        reply->text += '\n';
        reply->text += info->default_source_name ? info->default_source_name : "";
    }
    signalLoop(reply);
}

bool isMonitor(const pa_sink_info&) {
    return false;
}
bool isMonitor(const pa_source_info& info) {
    return info.monitor_of_sink != PA_INVALID_INDEX;
}

// The first device of a sink or source listing; the listing ends with eol set.
template <typename Info> void onDeviceInfo(pa_context*, const Info* info, int eol, void* userdata) {
    auto* reply = static_cast<Reply*>(userdata);
    if (eol == 0 && info && !reply->ok) {
        reply->ok = true;
        reply->device.index = info->index;
        reply->device.volume = info->volume;
        reply->device.muted = info->mute != 0;
        reply->device.isMonitor = isMonitor(*info);
        return;
    }
    if (eol != 0)
        signalLoop(reply);
}

void onSuccess(pa_context*, int success, void* userdata) {
    auto* reply = static_cast<Reply*>(userdata);
    reply->ok = success != 0;
    signalLoop(reply);
}

// The average of the channels, the normal volume being 1.
float levelOf(const DeviceInfo& device) {
    return float(pa_cvolume_avg(&device.volume)) / float(PA_VOLUME_NORM);
}

void onContextState(pa_context*, void* userdata) {
    pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(userdata), 0);
}

void onDeadline(pa_mainloop_api*, pa_time_event*, const struct timeval*, void* userdata) {
    pa_threaded_mainloop_signal(static_cast<pa_threaded_mainloop*>(userdata), 0);
}

} // namespace

struct PulseSystemAudio::Impl {
    int timeoutMs;
    pa_threaded_mainloop* loop = nullptr;
    pa_context* context = nullptr;

    explicit Impl(int timeout)
        : timeoutMs(timeout) {
        loop = pa_threaded_mainloop_new();
        if (loop && pa_threaded_mainloop_start(loop) < 0) {
            pa_threaded_mainloop_free(loop);
            loop = nullptr;
        }
    }

    ~Impl() {
        if (!loop)
            return;
        {
            MainloopLock lock(loop);
            dropContext();
        }
        pa_threaded_mainloop_stop(loop);
        pa_threaded_mainloop_free(loop);
    }

    pa_usec_t deadline() const {
        return pa_rtclock_now() + pa_usec_t(timeoutMs) * PA_USEC_PER_MSEC;
    }

    void dropContext() {
        if (!context)
            return;
        pa_context_set_state_callback(context, nullptr, nullptr);
        pa_context_disconnect(context);
        pa_context_unref(context);
        context = nullptr;
    }

    // With the lock held: waits until `done` or the deadline; the loop is woken by callbacks,
    // context state changes and a timer at the deadline.
    bool waitFor(pa_usec_t until, const std::function<bool()>& done) {
        pa_mainloop_api* api = pa_threaded_mainloop_get_api(loop);
        while (!done()) {
            if (pa_rtclock_now() >= until)
                return false;
            pa_time_event* timer = pa_context_rttime_new(context, until, onDeadline, loop);
            pa_threaded_mainloop_wait(loop);
            if (timer)
                api->time_free(timer);
        }
        return true;
    }

    // With the lock held: a ready context, connecting (again) when there is none or the server
    // went away.
    bool connected(pa_usec_t until) {
        if (!loop)
            return false;
        if (context && !PA_CONTEXT_IS_GOOD(pa_context_get_state(context)))
            dropContext();
        if (!context) {
            context = pa_context_new(pa_threaded_mainloop_get_api(loop), "Velloq");
            if (!context)
                return false;
            pa_context_set_state_callback(context, onContextState, loop);
            if (pa_context_connect(context, nullptr, PA_CONTEXT_NOAUTOSPAWN, nullptr) < 0) {
                dropContext();
                return false;
            }
        }
        waitFor(until, [this] {
            const pa_context_state_t state = pa_context_get_state(context);
            return state == PA_CONTEXT_READY || !PA_CONTEXT_IS_GOOD(state);
        });
        const pa_context_state_t state = pa_context_get_state(context);
        if (!PA_CONTEXT_IS_GOOD(state)) {
            dropContext();
            return false;
        }
        // Still connecting at the deadline: kept, so the next call goes on from here.
        return state == PA_CONTEXT_READY;
    }

    // With the lock held: runs one operation to its reply or the deadline.
    bool run(pa_usec_t until, Reply& reply, pa_operation* op) {
        if (!op)
            return false;
        waitFor(until, [&] {
            return reply.done || pa_operation_get_state(op) != PA_OPERATION_RUNNING ||
                   !PA_CONTEXT_IS_GOOD(pa_context_get_state(context));
        });
        // Cancelling under the lock guarantees the callback never runs on `reply` later.
        if (pa_operation_get_state(op) == PA_OPERATION_RUNNING)
            pa_operation_cancel(op);
        pa_operation_unref(op);
        return reply.done && reply.ok;
    }

    std::optional<DeviceInfo> info(pa_usec_t until, AudioDirection direction, const char* name,
                                   uint32_t index) {
        Reply reply(loop);
        pa_operation* op = nullptr;
        if (direction == AudioDirection::output) {
            op = name ? pa_context_get_sink_info_by_name(context, name, onDeviceInfo<pa_sink_info>,
                                                         &reply)
                      : pa_context_get_sink_info_by_index(context, index,
                                                          onDeviceInfo<pa_sink_info>, &reply);
        } else {
            op = name ? pa_context_get_source_info_by_name(context, name,
                                                           onDeviceInfo<pa_source_info>, &reply)
                      : pa_context_get_source_info_by_index(context, index,
                                                            onDeviceInfo<pa_source_info>, &reply);
        }
        if (!run(until, reply, op))
            return std::nullopt;
        return reply.device;
    }

    // With the lock held: the direction's default device. A monitor of a sink is not an input.
    std::optional<DeviceInfo> defaultDevice(pa_usec_t until, AudioDirection direction) {
        if (!connected(until))
            return std::nullopt;
        Reply reply(loop);
        if (!run(until, reply, pa_context_get_server_info(context, onServerInfo, &reply)))
            return std::nullopt;
        const size_t split = reply.text.find('\n');
        const std::string name = direction == AudioDirection::output ? reply.text.substr(0, split)
                                                                     : reply.text.substr(split + 1);
        if (name.empty())
            return std::nullopt;
        std::optional<DeviceInfo> device = info(until, direction, name.c_str(), 0);
        if (!device || device->isMonitor)
            return std::nullopt;
        return device;
    }

    // With the lock held and a ready context.
    bool setMute(pa_usec_t until, AudioDirection direction, uint32_t device, bool muted) {
        Reply reply(loop);
        pa_operation* op =
            direction == AudioDirection::output
                ? pa_context_set_sink_mute_by_index(context, device, muted, onSuccess, &reply)
                : pa_context_set_source_mute_by_index(context, device, muted, onSuccess, &reply);
        return run(until, reply, op);
    }

    // With the lock held: every channel of `device` to `value`, clamped to 0…max(1, its level).
    bool setLevel(pa_usec_t until, AudioDirection direction, const DeviceInfo& device,
                  float value) {
        const float highest = std::max(1.0F, levelOf(device));
        if (!(value > 0)) // NaN too
            value = 0;
        value = std::min(value, highest);
        pa_cvolume volume = device.volume;
        pa_cvolume_set(&volume, volume.channels,
                       pa_volume_t(std::lround(double(value) * PA_VOLUME_NORM)));
        Reply reply(loop);
        pa_operation* op = direction == AudioDirection::output
                               ? pa_context_set_sink_volume_by_index(context, device.index, &volume,
                                                                     onSuccess, &reply)
                               : pa_context_set_source_volume_by_index(context, device.index,
                                                                       &volume, onSuccess, &reply);
        return run(until, reply, op);
    }
};

PulseSystemAudio::PulseSystemAudio(int timeoutMs)
    : impl_(std::make_unique<Impl>(timeoutMs)) {
}

PulseSystemAudio::~PulseSystemAudio() = default;

std::optional<uint32_t> PulseSystemAudio::defaultDevice(AudioDirection direction) {
    if (!impl_->loop)
        return std::nullopt;
    MainloopLock lock(impl_->loop);
    const auto device = impl_->defaultDevice(impl_->deadline(), direction);
    if (!device)
        return std::nullopt;
    return device->index;
}

std::optional<bool> PulseSystemAudio::isMuted(AudioDirection direction, uint32_t device) {
    if (!impl_->loop)
        return std::nullopt;
    MainloopLock lock(impl_->loop);
    const pa_usec_t until = impl_->deadline();
    if (!impl_->connected(until))
        return std::nullopt;
    const auto found = impl_->info(until, direction, nullptr, device);
    if (!found)
        return std::nullopt;
    return found->muted;
}

bool PulseSystemAudio::setMuted(AudioDirection direction, uint32_t device, bool muted) {
    if (!impl_->loop)
        return false;
    MainloopLock lock(impl_->loop);
    const pa_usec_t until = impl_->deadline();
    if (!impl_->connected(until))
        return false;
    return impl_->setMute(until, direction, device, muted);
}

std::optional<float> PulseSystemAudio::volume(AudioDirection direction) {
    if (!impl_->loop)
        return std::nullopt;
    MainloopLock lock(impl_->loop);
    const auto device = impl_->defaultDevice(impl_->deadline(), direction);
    if (!device || device->volume.channels == 0)
        return std::nullopt;
    return levelOf(*device);
}

bool PulseSystemAudio::setVolume(AudioDirection direction, float value) {
    if (!impl_->loop)
        return false;
    MainloopLock lock(impl_->loop);
    const pa_usec_t until = impl_->deadline();
    const auto device = impl_->defaultDevice(until, direction);
    if (!device || device->volume.channels == 0)
        return false;
    return impl_->setLevel(until, direction, *device, value);
}

std::optional<SystemAudio::Step> PulseSystemAudio::stepVolume(AudioDirection direction, float delta,
                                                              bool unmute) {
    if (!impl_->loop)
        return std::nullopt;
    MainloopLock lock(impl_->loop);
    // One deadline for the whole step, so a hung server costs one time limit, not four.
    const pa_usec_t until = impl_->deadline();
    const auto device = impl_->defaultDevice(until, direction);
    if (!device || device->volume.channels == 0)
        return std::nullopt;
    Step step{steppedLevel(levelOf(*device), delta), device->muted};
    if (unmute && step.muted && impl_->setMute(until, direction, device->index, false))
        step.muted = false;
    if (step.level != levelOf(*device))
        impl_->setLevel(until, direction, *device, step.level);
    return step;
}

} // namespace velloq
