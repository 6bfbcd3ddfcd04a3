#pragma once

#include "config/ActionModel.h"
#include "device/Protocol.h"
#include "imaging/FrameSet.h"
#include "support/Clock.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QObject>
#include <QString>
#include <QUrl>

#include <chrono>
#include <functional>
#include <map>
#include <optional>
#include <utility>
#include <vector>

class QTimer;

namespace velloq {

class StreamDock;

// Where the engine's frames go: the dock, or a recorder in tests.
class AnimationSink {
public:
    virtual ~AnimationSink() = default;
    // Whether a dock is held to send to.
    virtual bool hasDevice() const = 0;
    // Batches queued but not yet written; the engine sends nothing while this is above 0.
    virtual int pendingBatches() const = 0;
    virtual void setImages(const ImageBatch& images) = 0;
    // The packet size the sink takes framed reports for; 0 when it takes images only.
    virtual int packetSize() const { return 0; }
    // One batch of reports made by Protocol::framed() for packetSize().
    virtual void sendFramed(const QList<QByteArray>& reports) { (void)reports; }
};

// The sink for the real dock, holding it weakly.
std::unique_ptr<AnimationSink> makeDockSink(StreamDock& dock);

// One playing animation.
struct AnimationTrack {
    QList<QMap<int, QByteArray>> tiles;
    QList<double> delays;
    QList<int> steps;     // play order, as frame indices
    QList<double> starts; // animation time at which each step begins
    double total = 0;     // seconds of one pass over `steps`
    double speed = 1;
    double startTime = 0; // clock time at which animation time 0 was
    int lastStep = -1;    // step last sent; -1 for none
    // Per frame, its batch alone as reports made by Protocol::framed() for `framedFor`: the
    // tiles in key order, then STP (nothing for a frame without tiles). Made on the loading
    // thread, so a tick only hands them on; empty when not made.
    QList<QList<QByteArray>> framed;
    int framedFor = 0;

    static constexpr double kMinSpeed = 0.05;

    // Builds the play order for `mode`, keeping the animation time where it is at `now`.
    void setPlayback(PlaybackMode mode, double newSpeed, double now);
    // The index into `steps` that is due at clock time `at`.
    int step(double at) const;
    // The clock time after `at` at which the due step changes; nothing when it never does.
    std::optional<double> nextChange(double at) const;
    // Makes `framed` for `packetSize`; leaves it empty when a report does not fit.
    void frameFor(int packetSize);
};

// Plays key animations and the screensaver on the dock. Frame sets load on worker threads;
// a clock of 33 ms ticks, running only while something plays, sends every changed tile of a
// tick in one batch. The clock wakes the thread only on the ticks at which a frame changes,
// and on every tick while a due frame waits for a busy dock. Main thread.
class AnimationEngine : public QObject {
    Q_OBJECT
public:
    static constexpr std::chrono::milliseconds kTickInterval{33};

    // Decoding and tile rendering; by default AnimationRenderer's. Called on worker threads.
    struct Loaders {
        std::function<std::optional<FrameSet>(const QUrl& url, int size, int rotation)> button;
        std::function<std::optional<FrameSet>(const QUrl& url, int size, int rotation)> screensaver;
    };
    static Loaders defaultLoaders();

    // `sink` and `clock` must outlive the engine.
    AnimationEngine(AnimationSink& sink, const Clock& clock, Loaders loaders = defaultLoaders(),
                    QObject* parent = nullptr);
    ~AnimationEngine() override;
    AnimationEngine(const AnimationEngine&) = delete;
    AnimationEngine& operator=(const AnimationEngine&) = delete;

    // Starts, keeps or ends one key's animation. A request that repeats the key's last
    // path, size and rotation changes nothing.
    void setButtonAnimation(int key, const std::optional<QString>& path, int size, int rotation);
    void startScreensaver(const QUrl& url, int size, int rotation, PlaybackMode mode, double speed);
    void stopScreensaver();
    // Changes mode and speed of the loaded screensaver in place; nothing while it loads.
    void setPlayback(PlaybackMode mode, double speed);
    // Forgets what was sent, so the next tick sends every animation's current frame.
    void invalidate();
    // Runs the clock exactly while a screensaver is active or a key track exists.
    void updateTimer();
    // One clock tick: sends what is due, then sets the clock for the next tick at which
    // something will be.
    void tick();

    bool screensaverActive() const { return screensaverActive_; }
    bool timerRunning() const { return timer_ != nullptr; }
    // The clock time of the tick the clock is set for; nothing while nothing will change.
    std::optional<double> nextTick() const;
    const std::map<int, AnimationTrack>& buttonTracks() const { return buttonTracks_; }
    std::optional<QString> buttonSignature(int key) const;
    const std::optional<AnimationTrack>& saver() const { return saver_; }
    int saverToken() const { return saverToken_; }
    // Ticks that found the dock busy and sent nothing.
    int skippedTicks() const { return skippedTicks_; }

    static QString signature(const QString& path, int size, int rotation);

Q_SIGNALS:
    // A background load came back (whether it was used or found stale).
    void loadFinished();

private:
    void installButtonTrack(std::optional<AnimationTrack> track, int key, const QString& signature);
    void installScreensaverTrack(std::optional<AnimationTrack> track, int token, const QUrl& url,
                                 PlaybackMode mode, double speed);
    void clockFired();
    // Sends what is due at `now`.
    void sendDue(double now);
    void sendFrame(const AnimationTrack& track, int frame);
    void sendKeys(const std::vector<std::pair<int, const AnimationTrack*>>& due);
    // Sets the clock for the first tick after which something will be due.
    void schedule();
    // Sets the clock for the next tick, unless it is set for that one already.
    void wakeOnNextTick();
    void setClockFor(double tickTime, double now);

    AnimationSink& sink_;
    const Clock& clock_;
    Loaders loaders_;
    std::map<int, AnimationTrack> buttonTracks_;
    std::map<int, QString> buttonSignatures_;
    std::optional<AnimationTrack> saver_;
    int saverToken_ = 0;
    QTimer* timer_ = nullptr;
    // Ticks fall on lastTick_ + n × kTickInterval; due_ is the one the timer is set for.
    double lastTick_ = 0;
    double due_ = 0;
    bool screensaverActive_ = false;
    int skippedTicks_ = 0;
};

} // namespace velloq
