#pragma once

#include "system/DisplayBrightness.h"

#include <chrono>
#include <cstdint>
#include <future>
#include <memory>
#include <optional>
#include <vector>

namespace velloq {

// The monitors that answer DDC/CI, and their brightness (VCP feature 0x10). Every call is slow
// (tens of milliseconds, seconds for detect) and may run on any one thread at a time.
class MonitorBus {
public:
    struct Level {
        uint16_t current = 0;
        uint16_t max = 0;
    };
    virtual ~MonitorBus() = default;
    // Looks for the monitors (again); how many answer.
    virtual int detect() = 0;
    // Of monitor 0…detect()-1; none when it does not answer.
    virtual std::optional<Level> brightness(int monitor) = 0;
    virtual bool setBrightness(int monitor, uint16_t value) = 0;
};

// libddcutil: the I2C buses of the display adapters (/dev/i2c-*, which the udev rule and the
// i2c-dev module open to the user).
std::unique_ptr<MonitorBus> makeDdcutilBus();

// External monitors over DDC/CI, all that answer, together: the level read is the first
// monitor's, and every write goes to all of them. They are looked for on a thread of their own
// when this is made, and again at most once a minute while none is found.
class MonitorBrightness final : public DisplayBrightness {
public:
    explicit MonitorBrightness(std::unique_ptr<MonitorBus> bus);
    ~MonitorBrightness() override;
    MonitorBrightness(const MonitorBrightness&) = delete;
    MonitorBrightness& operator=(const MonitorBrightness&) = delete;

    bool canRead() override { return monitors() > 0; }
    bool canWrite() override { return monitors() > 0; }
    std::optional<float> brightness() override;
    bool setBrightness(float level) override;
    std::optional<float> stepBrightness(float delta) override;

private:
    int monitors();
    std::optional<MonitorBus::Level> reference();
    bool writeAll(float level);

    std::unique_ptr<MonitorBus> bus_;
    std::future<int> detecting_;
    int count_ = 0;
    std::vector<uint16_t> max_; // per monitor, once read; 0 until then
    std::chrono::steady_clock::time_point detectedAt_;
};

} // namespace velloq
