#include "controller/AnimationEngine.h"

#include "device/StreamDock.h"
#include "imaging/AnimationRenderer.h"
#include "support/Log.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QMetaMethod>
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
    int packetSize() const override { return dock_ ? dock_->packetSize() : 0; }
    void sendFramed(const QList<QByteArray>& reports) override {
        if (dock_)
            dock_->enqueueFramed(reports, dock_->packetSize());
    }
    bool pace(std::shared_ptr<PacedFrames> frames) override {
        if (!dock_)
            return false;
        dock_->setPacedFrames(std::move(frames));
        return true;
    }
    void pokePaced() override {
        if (dock_)
            dock_->pokePacedFrames();
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

constexpr double kTick = std::chrono::duration<double>(AnimationEngine::kTickInterval).count();
// A tick runs a little late. A frame that changes at most this long after a tick is looked
// for on that tick too, so it goes out on the same tick as it would with a clock that fires
// every tick.
constexpr double kLateness = 0.002;

// A loaded frame set as a track, its tiles keyed as sent (a key's frames carry tile 0, sent
// to `key`) and framed for `packetSize`. Loading thread.
std::optional<AnimationTrack> readyTrack(std::optional<FrameSet> frames, std::optional<int> key,
                                         int packetSize) {
    if (!frames || frames->isEmpty())
        return std::nullopt;
    AnimationTrack track;
    if (key) {
        track.tiles.reserve(frames->tiles.size());
        for (const auto& frame : std::as_const(frames->tiles)) {
            QMap<int, QByteArray> moved;
            const auto bytes = frame.constFind(0);
            if (bytes != frame.constEnd())
                moved.insert(*key, *bytes);
            track.tiles.append(std::move(moved));
        }
    } else {
        track.tiles = std::move(frames->tiles);
    }
    track.delays = std::move(frames->delays);
    track.frameFor(packetSize);
    return track;
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

std::optional<double> AnimationTrack::nextChange(double at) const {
    if (!(total > 0) || steps.size() <= 1)
        return std::nullopt;
    const double p = std::fmod((at - startTime) * speed, total);
    const int j = step(at);
    const double end = j + 1 < starts.size() ? starts[j + 1] : total;
    return at + (end - p) / speed;
}

void AnimationTrack::frameFor(int packetSize) {
    framed.clear();
    framedFor = 0;
    const QByteArray stop = Protocol::framed({Protocol::stp()}, packetSize);
    if (stop.isEmpty())
        return;
    QList<QList<QByteArray>> made;
    made.reserve(tiles.size());
    for (const auto& frame : std::as_const(tiles)) {
        QList<QByteArray> batch;
        for (auto it = frame.constBegin(); it != frame.constEnd(); ++it) {
            QByteArray reports = Protocol::framed(
                Protocol::imageReports(it.key(), it.value(), packetSize), packetSize);
            if (reports.isEmpty())
                return;
            batch.append(std::move(reports));
        }
        if (!batch.isEmpty())
            batch.append(stop);
        made.append(std::move(batch));
    }
    framed = std::move(made);
    framedFor = packetSize;
}

// ---------------------------------------------------------------- AnimationEngine

AnimationEngine::Loaders AnimationEngine::defaultLoaders() {
    return {&AnimationRenderer::buttonFrames, &AnimationRenderer::screensaverFrames};
}

// The engine's ticks as the dock's writer asks for them. The dock may hold it after the engine
// is gone: it then gives nothing.
class AnimationEngine::Pacer final : public PacedFrames {
public:
    explicit Pacer(AnimationEngine* engine)
        : engine_(engine) {}
    Step step(bool busy, int packetSize) override {
        std::lock_guard lock(mutex_);
        return engine_ ? engine_->pacedTick(busy, packetSize) : Step{};
    }
    // Returns once no tick runs; none runs after.
    void detach() {
        std::lock_guard lock(mutex_);
        engine_ = nullptr;
    }

private:
    std::mutex mutex_;
    AnimationEngine* engine_;
};

AnimationEngine::AnimationEngine(AnimationSink& sink, const Clock& clock, Loaders loaders,
                                 QObject* parent)
    : QObject(parent)
    , sink_(sink)
    , clock_(clock)
    , loaders_(std::move(loaders)) {
    // The writer can keep time only by a clock it may read.
    if (clock_.isSteady()) {
        auto pacer = std::make_shared<Pacer>(this);
        if (sink_.pace(pacer))
            pacer_ = std::move(pacer);
    }
}

AnimationEngine::~AnimationEngine() {
    if (pacer_) {
        pacer_->detach();
        sink_.pace(nullptr);
    }
}

void AnimationEngine::connectNotify(const QMetaMethod& signal) {
    if (signal == QMetaMethod::fromSignal(&AnimationEngine::keyFramesChanged))
        ++keyFrameListeners_;
}

void AnimationEngine::disconnectNotify(const QMetaMethod& signal) {
    if (signal == QMetaMethod::fromSignal(&AnimationEngine::keyFramesChanged))
        --keyFrameListeners_;
}

QString AnimationEngine::signature(const QString& path, int size, int rotation) {
    return path + QLatin1Char('|') + QString::number(size) + QLatin1Char('|') +
           QString::number(rotation);
}

std::optional<QString> AnimationEngine::buttonSignature(int key) const {
    std::lock_guard lock(mutex_);
    const auto found = buttonSignatures_.find(key);
    if (found == buttonSignatures_.end())
        return std::nullopt;
    return found->second;
}

void AnimationEngine::setButtonAnimation(int key, const std::optional<QString>& path, int size,
                                         int rotation) {
    std::lock_guard lock(mutex_);
    if (!path) {
        buttonSignatures_.erase(key);
        if (buttonTracks_.erase(key) > 0)
            Q_EMIT keyFramesChanged();
        updateTimer();
        return;
    }
    const QString wanted = signature(*path, size, rotation);
    const auto stored = buttonSignatures_.find(key);
    if (stored != buttonSignatures_.end() && stored->second == wanted)
        return;
    buttonSignatures_[key] = wanted;
    if (buttonTracks_.erase(key) > 0) // the key stops animating at once
        Q_EMIT keyFramesChanged();

    const QUrl url = QUrl::fromLocalFile(*path);
    auto load = loaders_.button;
    const int packetSize = sink_.packetSize();
    runInBackground<std::optional<AnimationTrack>>(
        this,
        [load, url, size, rotation, key, packetSize] {
            return readyTrack(load(url, size, rotation), key, packetSize);
        },
        [key, wanted, path = *path, rotation](AnimationEngine& engine,
                                              std::optional<AnimationTrack> track) {
            engine.installButtonTrack(std::move(track), key, wanted, path, rotation);
        });
}

void AnimationEngine::installButtonTrack(std::optional<AnimationTrack> track, int key,
                                         const QString& wanted, const QString& path, int rotation) {
    std::lock_guard lock(mutex_);
    const auto stored = buttonSignatures_.find(key);
    // A failed load keeps its signature, so the same request is not retried.
    if (stored != buttonSignatures_.end() && stored->second == wanted && track) {
        const double now = clock_.now();
        track->startTime = now;
        track->setPlayback(PlaybackMode::loop, 1, now);
        track->path = path;
        track->rotation = rotation;
        buttonTracks_[key] = std::move(*track);
        updateTimer();
        wakeOnNextTick();
        Q_EMIT keyFramesChanged();
    }
    Q_EMIT loadFinished();
}

void AnimationEngine::startScreensaver(const QUrl& url, int size, int rotation, PlaybackMode mode,
                                       double speed) {
    std::lock_guard lock(mutex_);
    screensaverActive_ = true;
    saver_.reset();
    const int token = ++saverToken_;
    updateTimer();
    Q_EMIT keyFramesChanged();

    auto load = loaders_.screensaver;
    const int packetSize = sink_.packetSize();
    runInBackground<std::optional<AnimationTrack>>(
        this,
        [load, url, size, rotation, packetSize] {
            return readyTrack(load(url, size, rotation), std::nullopt, packetSize);
        },
        [token, url, mode, speed](AnimationEngine& engine, std::optional<AnimationTrack> track) {
            engine.installScreensaverTrack(std::move(track), token, url, mode, speed);
        });
}

void AnimationEngine::installScreensaverTrack(std::optional<AnimationTrack> track, int token,
                                              const QUrl& url, PlaybackMode mode, double speed) {
    std::lock_guard lock(mutex_);
    if (token == saverToken_ && screensaverActive_) {
        if (track) {
            const double now = clock_.now();
            track->startTime = now;
            track->setPlayback(mode, speed, now);
            saver_ = std::move(track);
            wakeOnNextTick();
        } else {
            logLine(QStringLiteral("Couldn't load screensaver ") +
                    QFileInfo(url.path()).fileName());
        }
    }
    Q_EMIT loadFinished();
}

void AnimationEngine::stopScreensaver() {
    std::lock_guard lock(mutex_);
    screensaverActive_ = false;
    saver_.reset();
    ++saverToken_;
    invalidate();
    updateTimer();
}

void AnimationEngine::setPlayback(PlaybackMode mode, double speed) {
    std::lock_guard lock(mutex_);
    if (saver_) {
        saver_->setPlayback(mode, speed, clock_.now());
        wakeOnNextTick();
    }
}

void AnimationEngine::invalidate() {
    std::lock_guard lock(mutex_);
    for (auto& [key, track] : buttonTracks_)
        track.lastStep = -1;
    if (saver_)
        saver_->lastStep = -1;
    wakeOnNextTick();
    Q_EMIT keyFramesChanged();
}

std::optional<AnimationEngine::ShownFrame> AnimationEngine::shownFrame(int key) const {
    std::lock_guard lock(mutex_);
    if (screensaverActive_ || !sink_.hasDevice())
        return std::nullopt;
    const auto found = buttonTracks_.find(key);
    if (found == buttonTracks_.end())
        return std::nullopt;
    const AnimationTrack& track = found->second;
    // Forgotten by invalidate(): the next tick sends the frame due now.
    const int frame = track.steps[track.lastStep >= 0 ? track.lastStep : track.step(clock_.now())];
    const auto tile = track.tiles[frame].constFind(key);
    if (tile == track.tiles[frame].constEnd())
        return std::nullopt;
    return ShownFrame{track.path, track.rotation, frame, *tile};
}

void AnimationEngine::updateTimer() {
    std::lock_guard lock(mutex_);
    const bool needed = screensaverActive_ || !buttonTracks_.empty();
    if (needed && !clockRunning_) {
        clockRunning_ = true;
        if (!pacer_) {
            timer_ = new QTimer(this);
            timer_->setTimerType(Qt::PreciseTimer);
            timer_->setSingleShot(true);
            connect(timer_, &QTimer::timeout, this, &AnimationEngine::clockFired);
        }
        lastTick_ = clock_.now(); // the ticks' phase, as a repeating timer started now
        wakeOnNextTick();
    } else if (!needed && clockRunning_) {
        stopClock();
        clockRunning_ = false;
        if (timer_) {
            timer_->deleteLater();
            timer_ = nullptr;
        }
    }
}

std::optional<double> AnimationEngine::nextTick() const {
    std::lock_guard lock(mutex_);
    if (!clockRunning_ || !clockSet_)
        return std::nullopt;
    return due_;
}

void AnimationEngine::clockFired() {
    std::lock_guard lock(mutex_);
    clockSet_ = false;
    // Like a repeating precise timer: the ticks keep their phase, unless this one came so late
    // that the next was due already.
    const double now = clock_.now();
    lastTick_ = now - due_ > kTick ? now : due_;
    tick();
}

void AnimationEngine::tick() {
    std::lock_guard lock(mutex_);
    if (!sink_.hasDevice()) {
        // Nothing is sent without a dock; invalidate() after it connects wakes the clock.
        stopClock();
        return;
    }
    if (sink_.pendingBatches() > 0)
        ++skippedTicks_; // the due frames stay due: the clock wakes on the next tick
    else
        send(takeDue(clock_.now(), sink_.packetSize()));
    schedule();
}

PacedFrames::Step AnimationEngine::pacedTick(bool busy, int packetSize) {
    std::lock_guard lock(mutex_);
    PacedFrames::Step step;
    if (!clockSet_)
        return step;
    double now = clock_.now();
    if (now >= due_) {
        lastTick_ = now - due_ > kTick ? now : due_;
        clockSet_ = false;
        inPacedTick_ = true;
        Due due;
        if (busy)
            ++skippedTicks_; // the due frames stay due: the next tick sends them
        else
            due = takeDue(now, packetSize);
        schedule();
        inPacedTick_ = false;
        if (!due.images.empty()) {
            const QByteArray reports =
                Protocol::framed(Protocol::imageBatch(due.images, packetSize), packetSize);
            if (!reports.isEmpty())
                step.reports = {reports};
        } else {
            step.reports = std::move(due.framed);
        }
        if (due.keyFrames)
            announceKeyFrames();
        if (!clockSet_)
            return step;
        now = clock_.now();
    }
    // Rounded up, so the tick is never early: a frame due on it has changed by then.
    step.wait = std::chrono::nanoseconds(qint64(std::ceil(std::max(0.0, due_ - now) * 1e9)));
    return step;
}

void AnimationEngine::announceKeyFrames() {
    // Only a listener is told, so frames do not wake the main thread for nothing.
    if (keyFrameListeners_ > 0)
        QMetaObject::invokeMethod(
            this, [this] { Q_EMIT keyFramesChanged(); }, Qt::QueuedConnection);
}

AnimationEngine::Due AnimationEngine::takeDue(double now, int packetSize) {
    Due due;
    if (screensaverActive_) {
        if (saver_) {
            const int j = saver_->step(now);
            if (j != saver_->lastStep) {
                saver_->lastStep = j;
                addFrame(due, *saver_, saver_->steps[j], packetSize);
            }
        }
        return due;
    }
    std::vector<std::pair<int, const AnimationTrack*>> keys;
    for (auto& [key, track] : buttonTracks_) {
        const int j = track.step(now);
        if (j == track.lastStep)
            continue;
        // Also a frame without a tile: it has nothing to send until the step changes.
        track.lastStep = j;
        if (track.tiles[track.steps[j]].contains(key))
            keys.emplace_back(key, &track);
    }
    addKeys(due, keys, packetSize);
    return due;
}

void AnimationEngine::addFrame(Due& due, const AnimationTrack& track, int frame,
                               int packetSize) const {
    const auto& tiles = track.tiles[frame];
    if (tiles.isEmpty())
        return;
    if (packetSize > 0 && track.framedFor == packetSize) {
        due.framed = track.framed[frame];
        return;
    }
    for (auto it = tiles.constBegin(); it != tiles.constEnd(); ++it)
        due.images[it.key()] = it.value();
}

void AnimationEngine::addKeys(Due& due,
                              const std::vector<std::pair<int, const AnimationTrack*>>& keys,
                              int packetSize) const {
    if (keys.empty())
        return;
    due.keyFrames = true;
    const auto frameOf = [](const AnimationTrack& track) { return track.steps[track.lastStep]; };
    if (keys.size() == 1) {
        addFrame(due, *keys.front().second, frameOf(*keys.front().second), packetSize);
        return;
    }
    const bool framed = packetSize > 0 && std::all_of(keys.begin(), keys.end(), [&](const auto& k) {
                            return k.second->framedFor == packetSize;
                        });
    if (framed) {
        // Each key's own batch without its STP, in key order, then one STP.
        due.framed.reserve(qsizetype(keys.size()) + 1);
        for (const auto& [key, track] : keys) {
            const QList<QByteArray>& own = track->framed[frameOf(*track)];
            due.framed.append(own.first(own.size() - 1));
        }
        due.framed.append(keys.front().second->framed[frameOf(*keys.front().second)].last());
        return;
    }
    for (const auto& [key, track] : keys)
        due.images[key] = track->tiles[frameOf(*track)].value(key);
}

void AnimationEngine::send(const Due& due) {
    if (!due.framed.isEmpty())
        sink_.sendFramed(due.framed);
    else if (!due.images.empty())
        sink_.setImages(due.images);
    // Told once the batch is queued, whichever way it goes.
    if (due.keyFrames)
        Q_EMIT keyFramesChanged();
}

void AnimationEngine::schedule() {
    if (!clockRunning_)
        return;
    const double now = clock_.now();
    // The earliest time something will be due: now, when a due frame is still unsent.
    std::optional<double> change;
    const auto consider = [&](const AnimationTrack& track) {
        const std::optional<double> at =
            track.step(now) != track.lastStep ? std::optional<double>(now) : track.nextChange(now);
        if (at && (!change || *at < *change))
            change = at;
    };
    if (screensaverActive_) {
        if (saver_)
            consider(*saver_);
    } else {
        for (const auto& [key, track] : buttonTracks_)
            consider(track);
    }
    if (!change) {
        stopClock(); // nothing changes until a request or invalidate() wakes the clock
        return;
    }
    // The first tick after now, and after the last one (a clock moved by hand may lag).
    const double after = std::max(1.0, std::floor((now - lastTick_) / kTick) + 1);
    const double n = std::max(after, std::ceil((*change - kLateness - lastTick_) / kTick));
    setClockFor(lastTick_ + n * kTick, now);
}

void AnimationEngine::wakeOnNextTick() {
    if (!clockRunning_)
        return;
    const double now = clock_.now();
    const double next = lastTick_ + (std::floor((now - lastTick_) / kTick) + 1) * kTick;
    if (clockSet_ && due_ <= next)
        return;
    setClockFor(next, now);
}

void AnimationEngine::setClockFor(double tickTime, double now) {
    due_ = tickTime;
    clockSet_ = true;
    if (timer_) {
        // Rounded up, so the tick is never early: a frame due on it has changed by then.
        timer_->start(int(std::max(0.0, std::ceil((tickTime - now) * 1000 - 1e-6))));
    } else if (pacer_ && !inPacedTick_) {
        sink_.pokePaced(); // the writer asks for its next wait
    }
}

void AnimationEngine::stopClock() {
    clockSet_ = false;
    if (timer_)
        timer_->stop();
}

} // namespace velloq
