#include "controller/AnimationEngine.h"

#include "device/StreamDock.h"
#include "imaging/AnimationRenderer.h"
#include "support/Log.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QPointer>
#include <QThreadPool>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <utility>

namespace velloq {

namespace {

class DockSink final : public AnimationSink {
public:
    explicit DockSink(StreamDock& dock)
        : dock_(&dock) {}
    bool hasDevice() const override { return dock_ && dock_->hasDevice(); }
    int pendingBatches() const override { return dock_ ? dock_->pendingBatches() : 0; }
    void setImages(const ImageBatch& images) override {
        if (dock_)
            dock_->setImages(images);
    }

private:
    QPointer<StreamDock> dock_;
};

// Runs `work` on the shared pool and hands its result to `apply` on the main thread, unless
// the engine is gone by then.
template <typename Result>
void runInBackground(AnimationEngine* engine, std::function<Result()> work,
                     std::function<void(AnimationEngine&, Result)> apply) {
    QPointer<AnimationEngine> weak(engine);
    QThreadPool::globalInstance()->start(
        [weak, work = std::move(work), apply = std::move(apply)]() mutable {
            Result result = work();
            QCoreApplication* app = QCoreApplication::instance();
            if (!app)
                return;
            QMetaObject::invokeMethod(
                app,
                [weak, result = std::move(result), apply = std::move(apply)]() mutable {
                    if (weak)
                        apply(*weak, std::move(result));
                },
                Qt::QueuedConnection);
        });
}

} // namespace

std::unique_ptr<AnimationSink> makeDockSink(StreamDock& dock) {
    return std::make_unique<DockSink>(dock);
}

// ---------------------------------------------------------------- AnimationTrack

void AnimationTrack::setPlayback(PlaybackMode mode, double newSpeed, double now) {
    const int n = int(tiles.size());
    steps.clear();
    for (int i = 0; i < n; ++i)
        steps.append(i);
    if (mode == PlaybackMode::bounce && n > 2) {
        for (int i = n - 2; i >= 1; --i)
            steps.append(i);
    }
    starts.clear();
    total = 0;
    for (const int frame : std::as_const(steps)) {
        starts.append(total);
        total += frame < delays.size() ? delays[frame] : 0;
    }
    // Keep the animation time (now - startTime) * speed where it is.
    const double clamped = std::max(newSpeed, kMinSpeed);
    startTime = now - (now - startTime) * speed / clamped;
    speed = clamped;
    lastStep = -1;
}

int AnimationTrack::step(double at) const {
    if (!(total > 0) || steps.size() <= 1)
        return 0;
    const double p = std::fmod((at - startTime) * speed, total);
    int lo = 0;
    int hi = int(starts.size()) - 1;
    while (lo < hi) {
        const int mid = (lo + hi + 1) / 2;
        if (p >= starts[mid])
            lo = mid;
        else
            hi = mid - 1;
    }
    return lo;
}

// ---------------------------------------------------------------- AnimationEngine

AnimationEngine::Loaders AnimationEngine::defaultLoaders() {
    return {&AnimationRenderer::buttonFrames, &AnimationRenderer::screensaverFrames};
}

AnimationEngine::AnimationEngine(AnimationSink& sink, const Clock& clock, Loaders loaders,
                                 QObject* parent)
    : QObject(parent)
    , sink_(sink)
    , clock_(clock)
    , loaders_(std::move(loaders)) {
}

AnimationEngine::~AnimationEngine() = default;

QString AnimationEngine::signature(const QString& path, int size, int rotation) {
    return path + QLatin1Char('|') + QString::number(size) + QLatin1Char('|') +
           QString::number(rotation);
}

std::optional<QString> AnimationEngine::buttonSignature(int key) const {
    const auto found = buttonSignatures_.find(key);
    if (found == buttonSignatures_.end())
        return std::nullopt;
    return found->second;
}

void AnimationEngine::setButtonAnimation(int key, const std::optional<QString>& path, int size,
                                         int rotation) {
    if (!path) {
        buttonSignatures_.erase(key);
        buttonTracks_.erase(key);
        updateTimer();
        return;
    }
    const QString wanted = signature(*path, size, rotation);
    const auto stored = buttonSignatures_.find(key);
    if (stored != buttonSignatures_.end() && stored->second == wanted)
        return;
    buttonSignatures_[key] = wanted;
    buttonTracks_.erase(key); // the key stops animating at once

    const QUrl url = QUrl::fromLocalFile(*path);
    auto load = loaders_.button;
    runInBackground<std::optional<FrameSet>>(
        this, [load, url, size, rotation] { return load(url, size, rotation); },
        [key, wanted](AnimationEngine& engine, std::optional<FrameSet> frames) {
            engine.installButtonFrames(std::move(frames), key, wanted);
        });
}

void AnimationEngine::installButtonFrames(std::optional<FrameSet> frames, int key,
                                          const QString& wanted) {
    const auto stored = buttonSignatures_.find(key);
    // A failed load keeps its signature, so the same request is not retried.
    if (stored != buttonSignatures_.end() && stored->second == wanted && frames &&
        !frames->isEmpty()) {
        QList<QMap<int, QByteArray>> tiles;
        tiles.reserve(frames->tiles.size());
        for (const auto& frame : std::as_const(frames->tiles)) {
            QMap<int, QByteArray> moved;
            const auto bytes = frame.constFind(0);
            if (bytes != frame.constEnd())
                moved.insert(key, *bytes);
            tiles.append(std::move(moved));
        }
        AnimationTrack track = makeTrack(std::move(tiles), frames->delays, clock_.now());
        track.setPlayback(PlaybackMode::loop, 1, clock_.now());
        buttonTracks_[key] = std::move(track);
        updateTimer();
    }
    Q_EMIT loadFinished();
}

void AnimationEngine::startScreensaver(const QUrl& url, int size, int rotation, PlaybackMode mode,
                                       double speed) {
    screensaverActive_ = true;
    saver_.reset();
    const int token = ++saverToken_;
    updateTimer();

    auto load = loaders_.screensaver;
    runInBackground<std::optional<FrameSet>>(
        this, [load, url, size, rotation] { return load(url, size, rotation); },
        [token, url, mode, speed](AnimationEngine& engine, std::optional<FrameSet> frames) {
            engine.installScreensaverFrames(std::move(frames), token, url, mode, speed);
        });
}

void AnimationEngine::installScreensaverFrames(std::optional<FrameSet> frames, int token,
                                               const QUrl& url, PlaybackMode mode, double speed) {
    if (token == saverToken_ && screensaverActive_) {
        if (frames && !frames->isEmpty()) {
            AnimationTrack track = makeTrack(frames->tiles, frames->delays, clock_.now());
            track.setPlayback(mode, speed, clock_.now());
            saver_ = std::move(track);
        } else {
            logLine(QStringLiteral("Couldn't load screensaver ") +
                    QFileInfo(url.path()).fileName());
        }
    }
    Q_EMIT loadFinished();
}

void AnimationEngine::stopScreensaver() {
    screensaverActive_ = false;
    saver_.reset();
    ++saverToken_;
    invalidate();
    updateTimer();
}

void AnimationEngine::setPlayback(PlaybackMode mode, double speed) {
    if (saver_)
        saver_->setPlayback(mode, speed, clock_.now());
}

void AnimationEngine::invalidate() {
    for (auto& [key, track] : buttonTracks_)
        track.lastStep = -1;
    if (saver_)
        saver_->lastStep = -1;
}

void AnimationEngine::updateTimer() {
    const bool needed = screensaverActive_ || !buttonTracks_.empty();
    if (needed && !timer_) {
        timer_ = new QTimer(this);
        timer_->setTimerType(Qt::PreciseTimer);
        timer_->setInterval(std::chrono::milliseconds(33));
        connect(timer_, &QTimer::timeout, this, &AnimationEngine::tick);
        timer_->start();
    } else if (!needed && timer_) {
        timer_->stop();
        timer_->deleteLater();
        timer_ = nullptr;
    }
}

void AnimationEngine::tick() {
    if (!sink_.hasDevice())
        return;
    if (sink_.pendingBatches() > 0) {
        ++skippedTicks_;
        return;
    }
    const double now = clock_.now();
    ImageBatch batch;
    if (screensaverActive_) {
        if (saver_) {
            const int j = saver_->step(now);
            if (j != saver_->lastStep) {
                const auto& tiles = saver_->tiles[saver_->steps[j]];
                for (auto it = tiles.constBegin(); it != tiles.constEnd(); ++it)
                    batch[it.key()] = it.value();
                saver_->lastStep = j;
            }
        }
    } else {
        for (auto& [key, track] : buttonTracks_) {
            const int j = track.step(now);
            if (j == track.lastStep)
                continue;
            const auto& tiles = track.tiles[track.steps[j]];
            const auto bytes = tiles.constFind(key);
            if (bytes == tiles.constEnd())
                continue;
            batch[key] = *bytes;
            track.lastStep = j;
        }
    }
    if (!batch.empty())
        sink_.setImages(batch);
}

AnimationTrack AnimationEngine::makeTrack(QList<QMap<int, QByteArray>> tiles, QList<double> delays,
                                          double now) {
    AnimationTrack track;
    track.tiles = std::move(tiles);
    track.delays = std::move(delays);
    track.speed = 1;
    track.startTime = now;
    track.lastStep = -1;
    return track;
}

} // namespace velloq
