#include "device/StreamDock.h"

#include "device/EmulatorDiscovery.h"
#include "device/HidWriter.h"
#include "device/HidrawDiscovery.h"
#include "support/Log.h"

#include <QMetaMethod>
#include <QSocketNotifier>
#include <QTimer>

#include <array>
#include <cerrno>
#include <unistd.h>

namespace velloq {

StreamDock::StreamDock(std::vector<std::unique_ptr<DiscoverySource>> sources, DockTiming timing,
                       QObject* parent)
    : QObject(parent)
    , sources_(std::move(sources))
    , keepAliveInterval_(timing.keepAliveInterval)
    , writer_(std::make_unique<HidWriter>(timing.stallAfter)) {
    for (const auto& owned : sources_) {
        DiscoverySource* source = owned.get();
        connect(source, &DiscoverySource::deviceAttached, this,
                [this, source](const HidDeviceInfo& info) { deviceAppeared(source, info); });
        connect(source, &DiscoverySource::deviceRemoved, this,
                [this, source](const QString& node) { deviceDisappeared(source, node); });
        connect(source, &DiscoverySource::discoveryFailed, this, [](const QString& reason) {
            logLine(QStringLiteral("HID discovery failed: ") + reason);
        });
    }
}

StreamDock::~StreamDock() {
    delegate_ = nullptr;
    for (const auto& source : sources_)
        source->disconnect(this);
    writer_.reset();
    if (held_ && held_->notifier)
        delete held_->notifier;
    held_.reset();
}

std::vector<std::unique_ptr<DiscoverySource>> StreamDock::defaultSources() {
    std::vector<std::unique_ptr<DiscoverySource>> sources;
    sources.push_back(std::make_unique<HidrawDiscovery>());
    sources.push_back(std::make_unique<EmulatorDiscovery>());
    return sources;
}

std::unique_ptr<StreamDock> StreamDock::createDefault(QObject* parent) {
    return std::make_unique<StreamDock>(defaultSources(), DockTiming{}, parent);
}

void StreamDock::start() {
    for (const auto& source : sources_)
        source->start();
}

void StreamDock::initialize(int brightness) {
    enqueueAll(Protocol::initializeBatch(brightness));
}

void StreamDock::setImages(const ImageBatch& images) {
    enqueueAll(Protocol::imageBatch(images, packetSize_));
}

void StreamDock::enqueueAll(const QList<QByteArray>& reports) {
    enqueue(reports, false);
}

void StreamDock::enqueueFramed(const QList<QByteArray>& reports, int packetSize) {
    if (packetSize == packetSize_)
        enqueue(reports, true);
}

void StreamDock::enqueue(const QList<QByteArray>& reports, bool framed) {
    if (!held_ || reports.isEmpty())
        return;
    writer_->submit({held_->handle, packetSize_, reports, countPending(), framed});
}

std::function<void()> StreamDock::countPending() {
    {
        std::lock_guard lock(pendingLock_);
        ++pendingBatches_;
    }
    // Only a listener is told, so an animation frame does not wake the main thread twice.
    const bool announce = batchListeners_ > 0;
    return [this, announce] {
        {
            std::lock_guard lock(pendingLock_);
            --pendingBatches_;
        }
        // The writer is joined before this object goes, so `this` is valid;
        // the queued call is dropped if the object is gone by delivery.
        if (announce)
            QMetaObject::invokeMethod(
                this, [this] { Q_EMIT batchWritten(); }, Qt::QueuedConnection);
    };
}

namespace {
// The paced frames for one held dock, as batches of its handle.
class DockPacer final : public HidWriter::Pacer {
public:
    DockPacer(std::shared_ptr<PacedFrames> frames, std::shared_ptr<HidHandle> handle,
              int packetSize, std::function<std::function<void()>()> countPending)
        : frames_(std::move(frames))
        , handle_(std::move(handle))
        , packetSize_(packetSize)
        , countPending_(std::move(countPending)) {}

    Step step(bool busy) override {
        PacedFrames::Step next = frames_->step(busy, packetSize_);
        Step step;
        step.wait = next.wait;
        if (!next.reports.isEmpty())
            step.batch = HidWriter::Batch{handle_, packetSize_, std::move(next.reports),
                                          countPending_(), true};
        return step;
    }

private:
    const std::shared_ptr<PacedFrames> frames_;
    const std::shared_ptr<HidHandle> handle_;
    const int packetSize_;
    const std::function<std::function<void()>()> countPending_;
};
} // namespace

void StreamDock::setPacedFrames(std::shared_ptr<PacedFrames> frames) {
    pacedFrames_ = std::move(frames);
    installPacer();
}

void StreamDock::pokePacedFrames() {
    writer_->poke();
}

void StreamDock::installPacer() {
    if (!held_ || !pacedFrames_) {
        writer_->setPacer(nullptr);
        return;
    }
    writer_->setPacer(std::make_shared<DockPacer>(pacedFrames_, held_->handle, packetSize_,
                                                  [this] { return countPending(); }));
}

void StreamDock::connectNotify(const QMetaMethod& signal) {
    if (signal == QMetaMethod::fromSignal(&StreamDock::batchWritten))
        ++batchListeners_;
}

void StreamDock::disconnectNotify(const QMetaMethod& signal) {
    if (signal == QMetaMethod::fromSignal(&StreamDock::batchWritten))
        --batchListeners_;
}

void StreamDock::shutdown() {
    // No paced frame may follow the shutdown batch and light a key again.
    pacedFrames_.reset();
    installPacer();
    if (!held_)
        return;
    if (!writer_->submitAndWait({held_->handle, packetSize_, Protocol::shutdownBatch(), {}},
                                kShutdownLimit))
        logLine(QStringLiteral("Write failed: the dock did not take the shutdown batch in time"));
}

int StreamDock::pendingBatches() const {
    std::lock_guard lock(pendingLock_);
    return pendingBatches_;
}

QString StreamDock::deviceNode() const {
    return held_ ? held_->node : QString();
}

void StreamDock::waitForIdle() {
    writer_->waitForIdle();
}

void StreamDock::deviceAppeared(DiscoverySource* source, const HidDeviceInfo& info) {
    if (held_)
        return;
    const std::optional<Model> found = DockModels::lookup(info.vendorID, info.productID);
    if (!found || info.usagePage != DockModels::kUsagePage || info.usage != DockModels::kUsage)
        return;

    QString error;
    UniqueFd fd = source->open(info, &error);
    if (!fd) {
        logLine(QStringLiteral("Could not open ") + info.node + QStringLiteral(": ") + error);
        if (delegate_)
            delegate_->streamDockCouldNotOpen(*this, info.node, error);
        return;
    }

    model_ = found;
    packetSize_ = info.maxOutputReportSize >= 0 && info.maxOutputReportSize < 1024 ? 512 : 1024;
    Held held;
    held.source = source;
    held.node = info.node;
    held.handle = std::make_shared<HidHandle>(std::move(fd));
    held.notifier = new QSocketNotifier(held.handle->fd.get(), QSocketNotifier::Read, this);
    connect(held.notifier, &QSocketNotifier::activated, this, [this] { readReports(); });
    held_ = std::move(held);
    const uint64_t generation = ++generation_;
    // The writer is joined before this object goes; the queued call is dropped if it is gone.
    held_->handle->resumed = [this, generation](int) {
        QMetaObject::invokeMethod(
            this,
            [this, generation] {
                if (generation == generation_ && delegate_)
                    delegate_->streamDockDidResume(*this);
            },
            Qt::QueuedConnection);
    };

    logLine(QStringLiteral("Connected ") + found->name + QStringLiteral(" (") +
            QString::asprintf("%04x:%04x", static_cast<unsigned>(found->vendorID),
                              static_cast<unsigned>(found->productID)) +
            QStringLiteral("), packet size ") + QString::number(packetSize_));

    delete keepAliveTimer_;
    keepAliveTimer_ = new QTimer(this);
    // A coarse timer may fire up to 5 % early; the dock expects the keep-alive on time.
    keepAliveTimer_->setTimerType(Qt::PreciseTimer);
    keepAliveTimer_->setInterval(keepAliveInterval_);
    connect(keepAliveTimer_, &QTimer::timeout, this,
            [this] { enqueueAll(Protocol::keepAliveBatch()); });
    keepAliveTimer_->start();

    if (delegate_)
        delegate_->streamDockDidConnect(*this);
    // After the delegate queued what a new dock gets first, so no frame goes before it.
    installPacer();
}

void StreamDock::deviceDisappeared(DiscoverySource* source, const QString& node) {
    if (!held_ || held_->source != source || held_->node != node) {
        if (delegate_)
            delegate_->streamDockUnheldNodeRemoved(*this, node);
        return;
    }
    dropDevice();
    logLine(QStringLiteral("Disconnected ") + (model_ ? model_->name : QStringLiteral("dock")));
    if (delegate_)
        delegate_->streamDockDidDisconnect(*this);
}

void StreamDock::dropDevice() {
    delete keepAliveTimer_;
    keepAliveTimer_ = nullptr;
    if (held_->notifier) {
        // We may be inside the notifier's own signal.
        held_->notifier->setEnabled(false);
        held_->notifier->deleteLater();
    }
    // Batches still queued keep the descriptor open until they have run.
    held_.reset();
    installPacer();
    ++generation_;
}

void StreamDock::readReports() {
    const uint64_t generation = generation_;
    std::array<uint8_t, Protocol::kMaxInputReport> buffer{};
    // Bounded, so a chatty dock cannot starve the event loop; the notifier fires again.
    for (int i = 0; i < 64 && held_ && generation_ == generation; ++i) {
        const ssize_t n = ::read(held_->handle->fd.get(), buffer.data(), buffer.size());
        if (n > 0) {
            handleReport(buffer.data(), size_t(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0 && (errno == EAGAIN || errno == EWOULDBLOCK))
            return;
        // EOF, ENODEV, EIO or any other hard error: the dock is gone.
        const QString node = held_->node;
        deviceDisappeared(held_->source, node);
        return;
    }
}

void StreamDock::handleReport(const uint8_t* data, size_t length) {
    const std::optional<DockEvent> event = Protocol::decodeInput(data, length, model_);
    if (event && delegate_)
        delegate_->streamDockDidReceive(*this, *event);
}

} // namespace velloq
