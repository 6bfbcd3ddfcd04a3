#include "system/BacklightBrightness.h"

#include "support/Log.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDir>
#include <QFile>

#include <algorithm>
#include <cmath>

namespace velloq {

namespace {

std::optional<qint64> readNumber(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return std::nullopt;
    bool ok = false;
    const qint64 value = file.readAll().trimmed().toLongLong(&ok);
    if (!ok)
        return std::nullopt;
    return value;
}

QString readText(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QString();
    return QString::fromUtf8(file.readAll()).trimmed();
}

} // namespace

BacklightBrightness::BacklightBrightness()
    : BacklightBrightness(QStringLiteral("/sys/class/backlight"),
                          &BacklightBrightness::setThroughLogind) {
}

BacklightBrightness::BacklightBrightness(QString sysfsRoot, SessionWriter sessionWriter)
    : root_(std::move(sysfsRoot))
    , sessionWriter_(std::move(sessionWriter)) {
}

QString BacklightBrightness::chosenDevice() const {
    const QStringList names = QDir(root_).entryList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::Name);
    for (const char* type : {"firmware", "platform", "raw"}) {
        for (const QString& name : names) {
            const QString dir = root_ + u'/' + name;
            if (readText(dir + QStringLiteral("/type")) != QLatin1String(type))
                continue;
            const auto max = readNumber(dir + QStringLiteral("/max_brightness"));
            if (max && *max > 0)
                return name;
        }
    }
    return QString();
}

bool BacklightBrightness::canRead() {
    return brightness().has_value();
}

bool BacklightBrightness::canWrite() {
    return !chosenDevice().isEmpty();
}

std::optional<BacklightBrightness::Raw> BacklightBrightness::readRaw() const {
    const QString device = chosenDevice();
    if (device.isEmpty())
        return std::nullopt;
    const QString dir = root_ + u'/' + device;
    const auto max = readNumber(dir + QStringLiteral("/max_brightness"));
    const auto value = readNumber(dir + QStringLiteral("/brightness"));
    if (!max || !value || *max <= 0)
        return std::nullopt;
    return Raw{device, std::clamp<qint64>(*value, 0, *max), *max};
}

std::optional<float> BacklightBrightness::brightness() {
    const std::optional<Raw> raw = readRaw();
    if (!raw)
        return std::nullopt;
    return float(double(raw->value) / double(raw->max));
}

bool BacklightBrightness::setBrightness(float level) {
    const QString device = chosenDevice();
    if (device.isEmpty())
        return false;
    const QString dir = root_ + u'/' + device;
    const auto max = readNumber(dir + QStringLiteral("/max_brightness"));
    if (!max || *max <= 0)
        return false;
    if (!(level > 0)) // NaN too
        level = 0;
    level = std::min(level, 1.0f);
    return writeRaw(device, uint32_t(std::lround(double(level) * double(*max))));
}

std::optional<float> BacklightBrightness::stepBrightness(float delta) {
    const std::optional<Raw> reading = readRaw();
    if (!reading || !std::isfinite(delta))
        return std::nullopt;
    const qint64 raw = reading->value;
    const qint64 max = reading->max;
    const QString& device = reading->device;
    const qint64 next = stepRaw(raw, max, delta);
    if (next != raw)
        writeRaw(device, uint32_t(next));
    return float(double(next) / double(max));
}

bool BacklightBrightness::writeRaw(const QString& device, uint32_t raw) {
    if (sessionWriter_ && sessionWriter_(device, raw))
        return true;
    QFile file(root_ + u'/' + device + QStringLiteral("/brightness"));
    if (!file.open(QIODevice::WriteOnly) || file.write(QByteArray::number(raw)) < 0 ||
        !file.flush()) {
        logLine(QStringLiteral("Could not set brightness of ") + device + QStringLiteral(": ") +
                file.errorString());
        return false;
    }
    return true;
}

bool BacklightBrightness::setThroughLogind(const QString& device, uint32_t raw) {
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected())
        return false;
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.login1"),
        QStringLiteral("/org/freedesktop/login1/session/auto"),
        QStringLiteral("org.freedesktop.login1.Session"), QStringLiteral("SetBrightness"));
    call << QStringLiteral("backlight") << device << raw;
    const QDBusMessage reply = bus.call(call, QDBus::Block, 500);
    return reply.type() == QDBusMessage::ReplyMessage;
}

} // namespace velloq
