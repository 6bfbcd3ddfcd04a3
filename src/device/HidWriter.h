#pragma once

#include "support/UniqueFd.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace velloq {

// An opened dock node. Batches share it, so the descriptor stays open until the last
// batch that captured it has run, even after the dock was dropped.
struct HidHandle {
    explicit HidHandle(UniqueFd descriptor);
    HidHandle(const HidHandle&) = delete;
    HidHandle& operator=(const HidHandle&) = delete;

    const UniqueFd fd;
    const bool socket; // sockets get MSG_NOSIGNAL, so a closed peer is EPIPE, not SIGPIPE
    // Set while the dock does not take reports. Only the writer thread changes it.
    std::atomic<bool> stalled{false};
    // Runs on the writer thread when the dock reads again after a stall, with the number of
    // batches that were replaced meanwhile. Set before the first batch.
    std::function<void(int replaced)> resumed;
    std::atomic<int> replacedWhileStalled{0};
    std::chrono::steady_clock::time_point stalledSince; // writer thread only
};

// One thread that runs batches of output reports in submission order.
//
// A dock that stops reading pauses the stream: a report is never dropped, because a missing
// slice would make the dock read the next commands as image data. Once a report has waited
// `stallAfter`, the handle counts as stalled (one log line): the batches waiting for it that
// have not started are replaced by the newest one submitted, so the backlog stays one batch.
// The batch under way, with any image it has begun, is finished when the dock reads again
// (one log line, and the handle's `resumed`), before anything else is written.
class HidWriter {
public:
    struct Batch {
        std::shared_ptr<HidHandle> handle;
        int packetSize = 0;
        QList<QByteArray> reports;
        // Runs once the batch is done with: written (each report sent or failed), or replaced
        // while the dock stalled. On the writer thread, or on the submitting one.
        std::function<void()> done;
        // The reports are made by Protocol::framed() for packetSize: sent as they stand,
        // several to an array.
        bool framed = false;
    };

    // Batches the writer makes by itself when the pacer asks, between submitted ones: an
    // animation plays without waking another thread for each frame.
    class Pacer {
    public:
        virtual ~Pacer() = default;
        struct Step {
            std::optional<Batch> batch; // written at once
            // Until the pacer is asked again; nothing: until poke() or the next setPacer().
            std::optional<std::chrono::nanoseconds> wait;
        };
        // Writer thread: once the wait it gave has passed, or after poke(). `busy`: the wait
        // ended while other batches were written or waiting, so nothing should go out now.
        virtual Step step(bool busy) = 0;
    };

    static constexpr std::chrono::milliseconds kStallAfter{5000};

    explicit HidWriter(std::chrono::milliseconds stallAfter = kStallAfter);
    // Discards batches that have not started and waits for the running one.
    ~HidWriter();
    HidWriter(const HidWriter&) = delete;
    HidWriter& operator=(const HidWriter&) = delete;

    void submit(Batch batch);
    // Submits the batch and returns once it is done, or false once `limit` has passed (the
    // batch then stays queued).
    bool submitAndWait(Batch batch,
                       std::chrono::milliseconds limit = std::chrono::milliseconds::max());
    // Returns once every submitted batch is done.
    void waitForIdle();
    // Replaces the pacer and asks the new one at once; nullptr ends pacing.
    void setPacer(std::shared_ptr<Pacer> pacer);
    // Asks the pacer again at once: its schedule changed.
    void poke();

private:
    void run();
    // Asks the pacer; the caller holds `lock`, which is released meanwhile.
    void stepPacer(std::unique_lock<std::mutex>& lock);
    // Writes and finishes `batch`; the caller holds `lock`, which is released meanwhile.
    void runBatch(Batch batch, std::unique_lock<std::mutex>& lock);
    void write(const Batch& batch);
    struct Sent {
        size_t count = 0; // reports done with
        QString error;    // why the first failed; empty when all went
    };
    // Sends framed reports of `length` bytes from `data` on: the first, waiting while the dock
    // takes nothing, and of the `count` given as many more as go at once. Nothing when
    // cancelled.
    std::optional<Sent> sendReports(HidHandle& handle, const char* data, size_t length,
                                    size_t count);
    // sendmmsg() of up to `count` reports of `stride` bytes: how many went, or -1 and errno.
    static int sendAtOnce(int fd, const char* data, size_t stride, size_t count);
    // While a report waits: marks the handle stalled once it has waited `stallAfter_`.
    void noteWaiting(HidHandle& handle, std::chrono::steady_clock::time_point since);
    // Takes the queued batches of `handle` out, but the newest; the caller holds mutex_.
    std::vector<Batch> takeReplaced(HidHandle& handle, bool keepNewest);
    static void finish(std::vector<Batch> replaced);

    const std::chrono::milliseconds stallAfter_;
    std::atomic<bool> cancelled_{false};

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::deque<Batch> queue_;
    bool busy_ = false;
    bool stopping_ = false;
    std::shared_ptr<Pacer> pacer_;
    std::optional<std::chrono::steady_clock::time_point> pacerDue_;
    bool poked_ = false;
    bool dueWhileWriting_ = false; // the pacer's time came while a batch was written
    std::vector<char> wire_;       // the report being written, framed; writer thread only
    std::thread thread_;
};

} // namespace velloq
