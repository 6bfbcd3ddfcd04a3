#include "system/MonitorBrightness.h"

#include "support/Log.h"

#include <QString>

#include <cmath>

namespace velloq {

namespace {

constexpr auto kRedetectAfter = std::chrono::minutes(1);

void logCount(int count) {
    logLine(count > 0 ? QStringLiteral("Brightness: %1 monitor(s) over DDC/CI").arg(count)
                      : QStringLiteral("Brightness: no backlight, and no monitor answers DDC/CI"));
}

} // namespace

MonitorBrightness::MonitorBrightness(std::unique_ptr<MonitorBus> bus)
    : bus_(std::move(bus)) {
    if (bus_)
        detecting_ = std::async(std::launch::async, [this] { return bus_->detect(); });
}

MonitorBrightness::~MonitorBrightness() {
    if (detecting_.valid())
        detecting_.wait();
}

int MonitorBrightness::monitors() {
    if (!bus_)
        return 0;
    const auto now = std::chrono::steady_clock::now();
    if (detecting_.valid()) {
        count_ = detecting_.get();
        logCount(count_);
    } else if (count_ == 0 && now - detectedAt_ >= kRedetectAfter) {
        count_ = bus_->detect();
        if (count_ > 0)
            logCount(count_);
    } else {
        return count_;
    }
    detectedAt_ = now;
    max_.assign(size_t(count_), 0);
    return count_;
}

std::optional<MonitorBus::Level> MonitorBrightness::reference() {
    const int count = monitors();
    for (int i = 0; i < count; ++i) {
        const std::optional<MonitorBus::Level> level = bus_->brightness(i);
        if (level && level->max > 0) {
            max_[size_t(i)] = level->max;
            return level;
        }
    }
    return std::nullopt;
}

std::optional<float> MonitorBrightness::brightness() {
    const std::optional<MonitorBus::Level> level = reference();
    if (!level)
        return std::nullopt;
    return std::clamp(float(level->current) / float(level->max), 0.0F, 1.0F);
}

bool MonitorBrightness::writeAll(float level) {
    const float clamped = std::clamp(level, 0.0F, 1.0F);
    bool any = false;
    for (int i = 0; i < count_; ++i) {
        // Each in its own range: monitors differ in their maximum.
        uint16_t& max = max_[size_t(i)];
        if (max == 0) {
            const std::optional<MonitorBus::Level> own = bus_->brightness(i);
            max = own ? own->max : 0;
        }
        if (max > 0 && bus_->setBrightness(i, uint16_t(std::lround(clamped * float(max)))))
            any = true;
    }
    return any;
}

bool MonitorBrightness::setBrightness(float level) {
    return monitors() > 0 && std::isfinite(level) && writeAll(level);
}

std::optional<float> MonitorBrightness::stepBrightness(float delta) {
    const std::optional<MonitorBus::Level> level = reference();
    if (!level || !std::isfinite(delta))
        return std::nullopt;
    const int64_t next = stepRaw(level->current, level->max, delta);
    const float shown = float(next) / float(level->max);
    writeAll(shown);
    return shown;
}

} // namespace velloq
