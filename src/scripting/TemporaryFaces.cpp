#include "scripting/TemporaryFaces.h"

#include "controller/DockController.h"
#include "scripting/FaceImage.h"

#include <QMetaObject>

#include <algorithm>
#include <mutex>
#include <variant>

namespace velloq {

struct TemporaryFaces::Requests {
    std::mutex lock;
    quint64 last = 0;
    std::map<Slot, quint64> newest;

    bool isNewest(const Slot& slot, quint64 stamp) {
        const std::lock_guard guard(lock);
        const auto found = newest.find(slot);
        return found != newest.end() && found->second == stamp;
    }
};

TemporaryFaces::TemporaryFaces(DockController& controller, QObject* parent)
    : QObject(parent)
    , controller_(&controller)
    , requests_(std::make_shared<Requests>()) {
    reader_.setMaxThreadCount(1);
    flushTimer_.setSingleShot(true);
    connect(&flushTimer_, &QTimer::timeout, this, &TemporaryFaces::flush);
    connect(&controller, &DockController::configChanged, this, &TemporaryFaces::dropChangedKeys);
    controller.setFaceOverrides(this);
}

TemporaryFaces::~TemporaryFaces() {
    reader_.clear();
    reader_.waitForDone();
    if (controller_)
        controller_->setFaceOverrides(nullptr);
}

const FaceOverrides::Face* TemporaryFaces::face(const QUuid& page, int key) const {
    const auto found = faces_.find({page, key});
    return found != faces_.end() ? &found->second.face : nullptr;
}

quint64 TemporaryFaces::request(const Slot& slot) {
    const std::lock_guard guard(requests_->lock);
    const quint64 stamp = ++requests_->last;
    requests_->newest[slot] = stamp;
    return stamp;
}

void TemporaryFaces::set(int key, const QString& image, const QString& title, Done done) {
    if (!controller_) {
        done(QStringLiteral("Velloq is quitting"));
        return;
    }
    const Slot slot{controller_->currentPage(), key};
    const quint64 stamp = request(slot);
    const std::optional<QString> caption =
        title.isEmpty() ? std::nullopt : std::optional<QString>(title);
    if (image.isEmpty()) {
        install(slot, {IconRenderer::Picture::makeImage(QImage(), caption, false), std::nullopt});
        done(std::nullopt);
        return;
    }
    reader_.start([this, slot, stamp, image, caption, requests = requests_,
                   done = std::move(done)]() mutable {
        // Only the newest request of a key is decoded; an older one is only checked.
        std::variant<FaceImage, QString> read =
            FaceImage::read(image, requests->isNewest(slot, stamp));
        // The pool is waited for before this object goes, so `this` is still here.
        QMetaObject::invokeMethod(
            this,
            [this, slot, stamp, image, caption, read = std::move(read), done = std::move(done)] {
                if (const QString* error = std::get_if<QString>(&read)) {
                    done(*error);
                    return;
                }
                const FaceImage& face = std::get<FaceImage>(read);
                if (requests_->isNewest(slot, stamp)) {
                    // Frames cannot carry the caption, so a titled face stays still.
                    std::optional<QString> animation;
                    if (face.animated && !caption)
                        animation = image;
                    install(slot, {IconRenderer::Picture::makeImage(face.image, caption, false),
                                   animation});
                }
                done(std::nullopt);
            },
            Qt::QueuedConnection);
    });
}

void TemporaryFaces::reset(int key) {
    if (!controller_)
        return;
    const Slot slot{controller_->currentPage(), key};
    request(slot); // a face still being read is dropped when it arrives
    forget(slot);
}

void TemporaryFaces::install(const Slot& slot, Face face) {
    if (!controller_)
        return;
    const DockConfig& config = controller_->config();
    if (!slot.first.isNull() && !config.page(slot.first))
        return;
    const auto& keys = config.keysOf(slot.first);
    const auto& icons = config.customIconsOf(slot.first);
    Entry entry{std::move(face), slot.second < keys.size() ? keys[slot.second] : ButtonAction(),
                slot.second < icons.size() ? icons[slot.second] : std::nullopt};
    faces_.insert_or_assign(slot, std::move(entry));
    markDirty(slot);
}

void TemporaryFaces::forget(const Slot& slot) {
    if (faces_.erase(slot) > 0)
        markDirty(slot);
}

void TemporaryFaces::dropChangedKeys() {
    const DockConfig& config = controller_->config();
    for (auto it = faces_.begin(); it != faces_.end();) {
        const auto& [page, key] = it->first;
        const bool pageExists = page.isNull() || config.page(page);
        const auto& keys = config.keysOf(page);
        const auto& icons = config.customIconsOf(page);
        const bool unchanged = pageExists && key < keys.size() && keys[key] == it->second.action &&
                               key < icons.size() && icons[key] == it->second.customIcon;
        if (unchanged) {
            ++it;
            continue;
        }
        const Slot slot = it->first;
        it = faces_.erase(it);
        markDirty(slot);
    }
}

void TemporaryFaces::markDirty(const Slot& slot) {
    if (!controller_ || slot.first != controller_->currentPage())
        return;
    if (!dirty_.contains(slot.second))
        dirty_ << slot.second;
    if (flushTimer_.isActive())
        return;
    const qint64 wait = sinceFlush_.isValid() ? kFrameMs - sinceFlush_.elapsed() : 0;
    flushTimer_.start(int(std::clamp<qint64>(wait, 0, kFrameMs)));
}

void TemporaryFaces::flush() {
    // A dock still writing earlier faces gets no more until it is done, so a slow one is
    // sent the newest face instead of a backlog.
    if (!controller_)
        return;
    if (controller_->dock().pendingBatches() > 0) {
        flushTimer_.start(kFrameMs);
        return;
    }
    sinceFlush_.start();
    controller_->refreshScreens(std::exchange(dirty_, {}));
}

} // namespace velloq
