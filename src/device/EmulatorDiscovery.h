#pragma once

#include "device/Transport.h"

#include <QByteArray>
#include <QString>

#include <map>
#include <memory>
#include <optional>

class QSocketNotifier;

namespace velloq {

// The first message an emulated dock sends on every new connection:
//
//   offset  bytes  field
//   0       8      "VLQDOCK1" (the last character is the format version)
//   8       2      USB vendor id, big-endian
//   10      2      USB product id, big-endian
//   12      2      largest output report in bytes, without the report id byte, big-endian
//   14      n      model name, UTF-8, up to the end of the message (n <= kMaxName)
//
// After it, every message from the dock is one input report, and every message to the dock
// is 0x00 (report id) followed by one output report: the same framing as a hidraw node.
struct EmulatorHello {
    static constexpr int kMaxName = 128;

    int vendorID = 0;
    int productID = 0;
    int maxOutputReportSize = 0;
    QString name;

    QByteArray encode() const;
    // Nothing unless the magic matches and the message is well formed.
    static std::optional<EmulatorHello> decode(const QByteArray& message);
};

// Finds emulated docks: SOCK_SEQPACKET sockets in $XDG_RUNTIME_DIR/velloq/docks/. Each socket
// is connected and its hello read before it is reported, as usage page 0xFFA0, usage 1. A
// socket that disappears, or whose connection closes before it is opened, is a removal. A
// socket that refuses the connection (bound, not yet listening) is tried again for a few
// seconds; every socket created in the folder is a new dock, even under a name just freed.
class EmulatorDiscovery final : public DiscoverySource {
    Q_OBJECT
public:
    explicit EmulatorDiscovery(QObject* parent = nullptr);
    explicit EmulatorDiscovery(QString folder, QObject* parent = nullptr);
    ~EmulatorDiscovery() override;

    // $XDG_RUNTIME_DIR/velloq/docks
    static QString defaultFolder();
    // Creates `folder` and its parent "velloq" with mode 0700; false with `error` set.
    static bool makeFolder(const QString& folder, QString* error);

    QString folder() const { return folder_; }

    void start() override;
    // Hands over the connection made during discovery; a socket whose connection was already
    // handed over is connected afresh.
    UniqueFd open(const HidDeviceInfo& info, QString* error) override;

private:
    struct Entry;

    void rescan();
    void readEvents();
    void socketAppeared(const QString& path);
    void connectTo(const QString& path, uint64_t identity);
    void tryConnect(const QString& path);
    void readHello(const QString& path);
    void watchPeer(const QString& path);
    void forget(const QString& path);

    QString folder_;
    UniqueFd inotify_;
    QSocketNotifier* inotifyNotifier_ = nullptr;
    std::map<QString, std::unique_ptr<Entry>> entries_;
};

} // namespace velloq
