#pragma once

#include "system/DisplayBrightness.h"

#include <QString>

#include <cstdint>
#include <functional>

namespace velloq {

// The backlight class: the first device of the sysfs folder by type firmware, then platform,
// then raw (by name within a type); level = brightness / max_brightness. Writes go through
// the session writer (logind) and, when it fails, to the sysfs file. The device is chosen
// anew on every call.
class BacklightBrightness final : public DisplayBrightness {
public:
    // Writes `raw` to backlight `device`; true on success.
    using SessionWriter = std::function<bool(const QString& device, uint32_t raw)>;

    // The real one: /sys/class/backlight and logind's Session.SetBrightness.
    BacklightBrightness();
    BacklightBrightness(QString sysfsRoot, SessionWriter sessionWriter);

    bool canRead() override;
    bool canWrite() override;
    std::optional<float> brightness() override;
    bool setBrightness(float level) override;
    // At least one raw unit per step: with max_brightness 15 a 3 % step is under half a unit.
    std::optional<float> stepBrightness(float delta) override;

    // The chosen device's folder name, or empty without a backlight.
    QString chosenDevice() const;

    // logind's org.freedesktop.login1.Session.SetBrightness on the system bus.
    static bool setThroughLogind(const QString& device, uint32_t raw);

private:
    struct Raw {
        QString device;
        qint64 value; // within 0…max
        qint64 max;   // above 0
    };
    std::optional<Raw> readRaw() const;
    bool writeRaw(const QString& device, uint32_t raw);

    QString root_;
    SessionWriter sessionWriter_;
};

} // namespace velloq
