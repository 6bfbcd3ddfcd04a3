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
    int droppedWhileStalled = 0; // writer thread only
};

// One thread that runs batches of output reports in submission order.
class HidWriter {
public:
    struct Batch {
        std::shared_ptr<HidHandle> handle;
        int packetSize = 0;
        QList<QByteArray> reports;
        std::function<void()> done; // runs on the writer thread after the last report
    };

    // How long one report may wait for a dock that does not take it. After one timeout the
    // handle counts as stalled: its further reports are still tried, each for a shorter
    // while, so that the link comes back as soon as the dock reads again while a hung dock
    // costs little per queued report. A stall logs one line when it starts and one when it
    // ends.
    static constexpr std::chrono::milliseconds kWriteTimeout{5000};
    static constexpr std::chrono::milliseconds kStalledWriteTimeout{250};

    explicit HidWriter(std::chrono::milliseconds writeTimeout = kWriteTimeout,
                       std::chrono::milliseconds stalledWriteTimeout = kStalledWriteTimeout);
    // Discards batches that have not started and waits for the running one.
    ~HidWriter();
    HidWriter(const HidWriter&) = delete;
    HidWriter& operator=(const HidWriter&) = delete;

    void submit(Batch batch);
    // Submits the batch and returns once it has been written, or false once `limit` has
    // passed (the batch then stays queued).
    bool submitAndWait(Batch batch,
                       std::chrono::milliseconds limit = std::chrono::milliseconds::max());
    // Returns once every submitted batch has been written.
    void waitForIdle();

private:
    void run();
    void write(const Batch& batch);
    // Returns an empty string on success, else the reason; nothing when cancelled.
    std::optional<QString> writeReport(HidHandle& handle, const QByteArray& report, int packetSize);

    const std::chrono::milliseconds writeTimeout_;
    const std::chrono::milliseconds stalledWriteTimeout_;
    std::atomic<bool> cancelled_{false};

    std::mutex mutex_;
    std::condition_variable wake_;
    std::condition_variable idle_;
    std::deque<Batch> queue_;
    bool busy_ = false;
    bool stopping_ = false;
    std::thread thread_;
};

} // namespace velloq
