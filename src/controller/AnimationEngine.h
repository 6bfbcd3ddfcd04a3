#pragma once

#include "config/ActionModel.h"
#include "device/PacedFrames.h"
#include "device/Protocol.h"
#include "imaging/FrameSet.h"
#include "support/Clock.h"

#include <QByteArray>
#include <QList>
#include <QMap>
#include <QObject>
#include <QString>
#include <QUrl>

#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
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
    // Hands `frames` to the dock's writer to send by itself, replacing earlier ones; false
    // when the sink cannot. nullptr ends it.
    virtual bool pace(std::shared_ptr<PacedFrames> frames) {
        (void)frames;
        return false;
    }
    // The paced frames' schedule changed.
    virtual void pokePaced() {}
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
    // A key's animation: the file and the turn its tiles were made with.
    QString path;
    int rotation = 0;

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
// tick in one batch. The clock wakes only on the ticks at which a frame changes, and on every
// tick while a due frame waits for a busy dock. With a steady clock and a dock that takes
// paced frames, the dock's writer thread runs the ticks, so playing does not wake the main
// thread; otherwise a timer on the main thread does. Main thread, but for the writer's ticks.
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
    bool timerRunning() const { return clockRunning_; }
    // Whether the dock's writer runs the ticks.
    bool paced() const { return pacer_ != nullptr; }
    // The clock time of the tick the clock is set for; nothing while nothing will change.
    std::optional<double> nextTick() const;
    const std::map<int, AnimationTrack>& buttonTracks() const { return buttonTracks_; }
    std::optional<QString> buttonSignature(int key) const;
    const std::optional<AnimationTrack>& saver() const { return saver_; }
    int saverToken() const { return saverToken_; }
    // What key `key` shows of its animation on the dock: the frame last sent, and its tile
    // as sent (turned by `rotation`). Nothing without a dock or while the screensaver plays.
    struct ShownFrame {
        QString path;
        int rotation = 0;
        int frame = 0;
        QByteArray tile;
    };
    std::optional<ShownFrame> shownFrame(int key) const;
    // Ticks that found the dock busy and sent nothing.
    int skippedTicks() const { return skippedTicks_; }

    static QString signature(const QString& path, int size, int rotation);

Q_SIGNALS:
    // A background load came back (whether it was used or found stale).
    void loadFinished();
    // What shownFrame() gives may have changed: key frames were sent, animations started or
    // ended, or the screensaver started or ended.
    void keyFramesChanged();

protected:
    void connectNotify(const QMetaMethod& signal) override;
    void disconnectNotify(const QMetaMethod& signal) override;

private:
    class Pacer;
    // What one tick sends: reports made for `packetSize`, or images where a frame was not.
    struct Due {
        QList<QByteArray> framed;
        ImageBatch images;
        bool keyFrames = false; // key frames are among them
    };

    void installButtonTrack(std::optional<AnimationTrack> track, int key, const QString& signature,
                            const QString& path, int rotation);
    void installScreensaverTrack(std::optional<AnimationTrack> track, int token, const QUrl& url,
                                 PlaybackMode mode, double speed);
    void clockFired();
    // A tick of the writer's; the engine is locked.
    PacedFrames::Step pacedTick(bool busy, int packetSize);
    // What is due at `now`, marked as sent.
    Due takeDue(double now, int packetSize);
    void addFrame(Due& due, const AnimationTrack& track, int frame, int packetSize) const;
    void addKeys(Due& due, const std::vector<std::pair<int, const AnimationTrack*>>& keys,
                 int packetSize) const;
    void send(const Due& due);
    // Sets the clock for the first tick after which something will be due.
    void schedule();
    // Sets the clock for the next tick, unless it is set for that one already.
    void wakeOnNextTick();
    void setClockFor(double tickTime, double now);
    void stopClock();
    void announceKeyFrames();

    AnimationSink& sink_;
    const Clock& clock_;
    Loaders loaders_;
    std::map<int, AnimationTrack> buttonTracks_;
    std::map<int, QString> buttonSignatures_;
    std::optional<AnimationTrack> saver_;
    int saverToken_ = 0;
    // Held while the tracks and the clock change, as the writer's ticks read and mark them.
    mutable std::recursive_mutex mutex_;
    std::shared_ptr<Pacer> pacer_; // while the writer runs the ticks
    QTimer* timer_ = nullptr;      // while the main thread does, and something plays
    bool clockRunning_ = false;
    bool clockSet_ = false;
    bool inPacedTick_ = false;
    // Ticks fall on lastTick_ + n × kTickInterval; due_ is the one the clock is set for.
    double lastTick_ = 0;
    double due_ = 0;
    bool screensaverActive_ = false;
    std::atomic<int> skippedTicks_{0};
    std::atomic<int> keyFrameListeners_{0};
};

} // namespace velloq
