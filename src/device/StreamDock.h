#pragma once

#include "device/DeviceModel.h"
#include "device/PacedFrames.h"
#include "device/Protocol.h"
#include "device/Transport.h"

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QString>

#include <atomic>
#include <chrono>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <vector>

class QSocketNotifier;
class QTimer;

namespace velloq {

class StreamDock;
class HidWriter;
struct HidHandle;

// Receives connect, disconnect and input events. Every call arrives on the main thread.
struct StreamDockDelegate {
    virtual ~StreamDockDelegate() = default;
    // A supported dock was recognised and is ready for batches.
    virtual void streamDockDidConnect(StreamDock& dock) = 0;
    // The held dock went away.
    virtual void streamDockDidDisconnect(StreamDock& dock) = 0;
    virtual void streamDockDidReceive(StreamDock& dock, const DockEvent& event) = 0;
    // A supported dock was found but its node could not be opened (usually EACCES: the
    // udev rule is missing). The dock stays unheld.
    virtual void streamDockCouldNotOpen(StreamDock& dock, const QString& node,
                                        const QString& reason) {
        (void)dock;
        (void)node;
        (void)reason;
    }
    // A node went away that was not the held dock (e.g. one that could not be opened).
    virtual void streamDockUnheldNodeRemoved(StreamDock& dock, const QString& node) {
        (void)dock;
        (void)node;
    }
    // The held dock reads again after a stall. Batches queued meanwhile were replaced by the
    // newest, so what it shows is out of date.
    virtual void streamDockDidResume(StreamDock& dock) { (void)dock; }
};

// The keep-alive's interval, and how long one report may wait for a dock that does not read
// before the dock counts as stalled (see HidWriter).
struct DockTiming {
    std::chrono::milliseconds keepAliveInterval{15000};
    std::chrono::milliseconds stallAfter{5000};
};

// The one object that talks to the dock: takes the first supported dock any discovery
// source reports, decodes its input for the delegate, and writes batches of output reports
// in submission order on one writer thread ("velloq-hid-write").
class StreamDock : public QObject {
    Q_OBJECT
public:
    using Model = DockModel;

    static constexpr std::chrono::milliseconds kKeepAliveInterval = DockTiming{}.keepAliveInterval;
    static constexpr int kDefaultPacketSize = 1024;
    // How long quitting waits for a dock that does not read.
    static constexpr std::chrono::milliseconds kShutdownLimit{3000};

    // Takes ownership of the sources. Touches no hardware until start().
    explicit StreamDock(std::vector<std::unique_ptr<DiscoverySource>> sources,
                        DockTiming timing = {}, QObject* parent = nullptr);
    ~StreamDock() override;
    StreamDock(const StreamDock&) = delete;
    StreamDock& operator=(const StreamDock&) = delete;

    // The Linux sources: hidraw through udev, and emulated docks.
    static std::vector<std::unique_ptr<DiscoverySource>> defaultSources();
    static std::unique_ptr<StreamDock> createDefault(QObject* parent = nullptr);

    // Not owned. The owner clears it (setDelegate(nullptr)) before the delegate dies.
    void setDelegate(StreamDockDelegate* delegate) { delegate_ = delegate; }
    StreamDockDelegate* delegate() const { return delegate_; }

    // Starts every discovery source. Call once, after setDelegate().
    void start();

    // DIS, LIG 0, CLE all, STP, then the brightness.
    void initialize(int brightness);
    // One image batch, or nothing for an empty map.
    void setImages(const ImageBatch& images);
    // Queues the reports as one batch; dropped silently while no dock is held.
    void enqueueAll(const QList<QByteArray>& reports);
    // Queues reports made by Protocol::framed() for `packetSize` as one batch, written as they
    // stand; dropped while no dock is held or when its packet size is another.
    void enqueueFramed(const QList<QByteArray>& reports, int packetSize);
    // Lets the writer send `frames` by itself while a dock is held, this one or the next; a
    // frame counts as a pending batch while it is written. nullptr ends it.
    void setPacedFrames(std::shared_ptr<PacedFrames> frames);
    // Asks the paced frames for their next step at once: their schedule changed.
    void pokePacedFrames();
    static QByteArray brightnessCommand(int percent) {
        return Protocol::brightnessCommand(percent);
    }

    // Ends paced frames, writes the shutdown batch after every queued batch, and returns once it
    // is written, or after kShutdownLimit when the dock does not read. Returns at once when no
    // dock is held.
    void shutdown();

    // Batches queued but not yet fully written (read under pendingLock).
    int pendingBatches() const;

    // The model of the current or last recognised dock.
    std::optional<Model> model() const { return model_; }
    int packetSize() const { return packetSize_; }
    bool hasDevice() const { return held_.has_value(); }
    // The node of the held dock, empty when none.
    QString deviceNode() const;

    // Blocks until the writer has written every queued batch. For tests and for quitting.
    void waitForIdle();

Q_SIGNALS:
    // A batch was fully written (its reports sent or failed). Delivered on the main thread,
    // for batches queued while something was connected to it.
    void batchWritten();

protected:
    void connectNotify(const QMetaMethod& signal) override;
    void disconnectNotify(const QMetaMethod& signal) override;

private:
    struct Held {
        DiscoverySource* source = nullptr;
        QString node;
        std::shared_ptr<HidHandle> handle;
        QSocketNotifier* notifier = nullptr;
    };

    void deviceAppeared(DiscoverySource* source, const HidDeviceInfo& info);
    void deviceDisappeared(DiscoverySource* source, const QString& node);
    void readReports();
    void handleReport(const uint8_t* data, size_t length);
    void dropDevice();
    void enqueue(const QList<QByteArray>& reports, bool framed);
    // Counts a batch as pending and gives what its `done` runs.
    std::function<void()> countPending();
    void installPacer();

    std::vector<std::unique_ptr<DiscoverySource>> sources_;
    StreamDockDelegate* delegate_ = nullptr;
    std::optional<Model> model_;
    std::optional<Held> held_;
    int packetSize_ = kDefaultPacketSize;
    std::chrono::milliseconds keepAliveInterval_;
    QTimer* keepAliveTimer_ = nullptr;
    uint64_t generation_ = 0; // bumped on every connect and disconnect

    mutable std::mutex pendingLock_;
    int pendingBatches_ = 0;
    // Listeners of batchWritten; read on the writer thread too, which counts paced frames.
    std::atomic<int> batchListeners_{0};

    std::shared_ptr<PacedFrames> pacedFrames_;
    std::unique_ptr<HidWriter> writer_;
};

} // namespace velloq
