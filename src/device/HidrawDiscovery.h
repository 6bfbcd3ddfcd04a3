#pragma once

#include "device/Transport.h"

#include <QByteArray>

#include <memory>
#include <optional>

struct udev;
struct udev_device;
struct udev_monitor;
class QSocketNotifier;

namespace velloq {

// Docks on the hidraw subsystem: enumerates the nodes at start, then follows a udev
// monitor. Ids come from the parent hid device's HID_ID; usage and report sizes from its
// report descriptor.
class HidrawDiscovery : public DiscoverySource {
    Q_OBJECT
public:
    explicit HidrawDiscovery(QObject* parent = nullptr);
    ~HidrawDiscovery() override;

    void start() override;
    UniqueFd open(const HidDeviceInfo& info, QString* error) override;

    // What one hidraw node is, from its parent's HID_ID ("0003:00000300:00001002"), HID_NAME
    // and report descriptor. The application collection 0xFFA0/1 is preferred; otherwise the
    // first one is reported. An unreadable descriptor leaves usage page and usage 0.
    static HidDeviceInfo describe(const QString& node, const QByteArray& hidId, const QString& name,
                                  const QByteArray& descriptor);

private:
    struct UdevDeleter {
        void operator()(udev* u) const;
        void operator()(udev_monitor* m) const;
        void operator()(udev_device* d) const;
    };
    using Udev = std::unique_ptr<udev, UdevDeleter>;
    using Monitor = std::unique_ptr<udev_monitor, UdevDeleter>;
    using Device = std::unique_ptr<udev_device, UdevDeleter>;

    std::optional<HidDeviceInfo> describe(udev_device* hidraw) const;
    void enumerate();
    void receive();

    Udev udev_;
    Monitor monitor_;
    QSocketNotifier* notifier_ = nullptr;
};

} // namespace velloq
