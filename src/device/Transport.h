#pragma once

#include "support/UniqueFd.h"

#include <QObject>
#include <QString>

#include <cstdint>

namespace velloq {

// What a discovery source knows of one HID interface before it is opened.
struct HidDeviceInfo {
    int64_t vendorID = -1;  // -1: unknown
    int64_t productID = -1; // -1: unknown
    int usagePage = 0;      // of the top-level application collection
    int usage = 0;
    int maxOutputReportSize = -1; // bytes; -1: unknown
    QString node;                 // /dev/hidrawN, or an emulator socket path
    QString name;                 // product string, for logs; may be empty
};

// Finds dock interfaces and opens them. A node, once opened, is a message-oriented file
// descriptor: each read() gives one input report, each write() of 0x00 + report sends one
// output report. hidraw nodes and SOCK_SEQPACKET sockets both behave so.
class DiscoverySource : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;
    ~DiscoverySource() override = default;

    // Reports every interface already present, then watches for changes. Main thread.
    virtual void start() = 0;

    // Opens `info.node` for reading and writing, non-blocking. On failure returns an
    // invalid fd and sets `error` to the reason (e.g. strerror(EACCES)).
    virtual UniqueFd open(const HidDeviceInfo& info, QString* error) = 0;

Q_SIGNALS:
    void deviceAttached(const velloq::HidDeviceInfo& info);
    void deviceRemoved(const QString& node);
    // Discovery cannot work at all (e.g. no udev); the app runs without this source.
    void discoveryFailed(const QString& reason);
};

} // namespace velloq
