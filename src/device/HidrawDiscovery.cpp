#include "device/HidrawDiscovery.h"

#include "device/DeviceModel.h"
#include "device/ReportDescriptor.h"

#include <QFile>
#include <QSocketNotifier>

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <libudev.h>

namespace velloq {

namespace {
QString errnoText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

struct EnumerateDeleter {
    void operator()(udev_enumerate* e) const { udev_enumerate_unref(e); }
};
} // namespace

void HidrawDiscovery::UdevDeleter::operator()(udev* u) const {
    udev_unref(u);
}
void HidrawDiscovery::UdevDeleter::operator()(udev_monitor* m) const {
    udev_monitor_unref(m);
}
void HidrawDiscovery::UdevDeleter::operator()(udev_device* d) const {
    udev_device_unref(d);
}

HidrawDiscovery::HidrawDiscovery(QObject* parent)
    : DiscoverySource(parent) {
}

HidrawDiscovery::~HidrawDiscovery() {
    delete notifier_;
}

void HidrawDiscovery::start() {
    if (udev_)
        return;
    udev_.reset(udev_new());
    if (!udev_) {
        Q_EMIT discoveryFailed(QStringLiteral("udev_new: ") + errnoText(errno));
        return;
    }

    // Monitor first, so that nothing plugged in during the enumeration is missed.
    monitor_.reset(udev_monitor_new_from_netlink(udev_.get(), "udev"));
    int result = monitor_ ? udev_monitor_filter_add_match_subsystem_devtype(monitor_.get(),
                                                                            "hidraw", nullptr)
                          : -errno;
    if (result >= 0)
        result = udev_monitor_enable_receiving(monitor_.get());
    if (result < 0) {
        monitor_.reset();
        Q_EMIT discoveryFailed(QStringLiteral("udev monitor: ") + errnoText(-result) +
                               QStringLiteral(" (docks plugged in later are not seen)"));
    } else {
        notifier_ =
            new QSocketNotifier(udev_monitor_get_fd(monitor_.get()), QSocketNotifier::Read, this);
        connect(notifier_, &QSocketNotifier::activated, this, [this] { receive(); });
    }
    enumerate();
}

void HidrawDiscovery::enumerate() {
    std::unique_ptr<udev_enumerate, EnumerateDeleter> e(udev_enumerate_new(udev_.get()));
    if (!e || udev_enumerate_add_match_subsystem(e.get(), "hidraw") < 0 ||
        udev_enumerate_scan_devices(e.get()) < 0) {
        Q_EMIT discoveryFailed(QStringLiteral("udev enumerate: ") + errnoText(errno));
        return;
    }
    udev_list_entry* entry = nullptr;
    udev_list_entry_foreach(entry, udev_enumerate_get_list_entry(e.get())) {
        Device device(udev_device_new_from_syspath(udev_.get(), udev_list_entry_get_name(entry)));
        if (!device)
            continue;
        if (std::optional<HidDeviceInfo> info = describe(device.get()))
            Q_EMIT deviceAttached(*info);
    }
}

void HidrawDiscovery::receive() {
    Device device(udev_monitor_receive_device(monitor_.get()));
    if (!device)
        return;
    const char* action = udev_device_get_action(device.get());
    if (!action)
        return;
    // "change" comes from `udevadm trigger`, e.g. after the rule was installed; a dock that
    // could not be opened before gets another chance (a held one is ignored).
    if (std::strcmp(action, "add") == 0 || std::strcmp(action, "change") == 0) {
        if (std::optional<HidDeviceInfo> info = describe(device.get()))
            Q_EMIT deviceAttached(*info);
    } else if (std::strcmp(action, "remove") == 0) {
        if (const char* node = udev_device_get_devnode(device.get()))
            Q_EMIT deviceRemoved(QString::fromLocal8Bit(node));
    }
}

std::optional<HidDeviceInfo> HidrawDiscovery::describe(udev_device* hidraw) const {
    const char* node = udev_device_get_devnode(hidraw);
    // Owned by `hidraw`.
    udev_device* hid = udev_device_get_parent_with_subsystem_devtype(hidraw, "hid", nullptr);
    if (!node || !hid)
        return std::nullopt;
    const char* hidId = udev_device_get_property_value(hid, "HID_ID");
    const char* name = udev_device_get_property_value(hid, "HID_NAME");
    QByteArray descriptor;
    QFile file(QString::fromLocal8Bit(udev_device_get_syspath(hid)) +
               QStringLiteral("/report_descriptor"));
    if (file.open(QIODevice::ReadOnly))
        descriptor = file.readAll();
    return describe(QString::fromLocal8Bit(node), QByteArray(hidId ? hidId : ""),
                    QString::fromUtf8(name ? name : ""), descriptor);
}

HidDeviceInfo HidrawDiscovery::describe(const QString& node, const QByteArray& hidId,
                                        const QString& name, const QByteArray& descriptor) {
    HidDeviceInfo info;
    info.node = node;
    info.name = name;
    const QList<QByteArray> parts = hidId.split(':');
    if (parts.size() == 3) {
        bool vendorOk = false;
        bool productOk = false;
        const qulonglong vendor = parts[1].toULongLong(&vendorOk, 16);
        const qulonglong product = parts[2].toULongLong(&productOk, 16);
        if (vendorOk && productOk && vendor <= 0xFFFFFFFF && product <= 0xFFFFFFFF) {
            info.vendorID = int64_t(vendor);
            info.productID = int64_t(product);
        }
    }
    const auto* data = reinterpret_cast<const uint8_t*>(descriptor.constData());
    const std::optional<ReportDescriptor> parsed =
        ReportDescriptor::parse({data, size_t(descriptor.size())});
    if (parsed) {
        info.maxOutputReportSize = parsed->maxOutputReportSize;
        const uint32_t page = DockModels::kUsagePage;
        const uint32_t usage = DockModels::kUsage;
        if (parsed->hasApplication(page, usage)) {
            info.usagePage = int(page);
            info.usage = int(usage);
        } else if (!parsed->applications.empty()) {
            info.usagePage = int(parsed->applications.front().usagePage);
            info.usage = int(parsed->applications.front().usage);
        }
    }
    return info;
}

UniqueFd HidrawDiscovery::open(const HidDeviceInfo& info, QString* error) {
    UniqueFd fd(::open(QFile::encodeName(info.node).constData(), O_RDWR | O_NONBLOCK | O_CLOEXEC));
    if (!fd && error)
        *error = errnoText(errno);
    return fd;
}

} // namespace velloq
