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
    std::atomic<bool> stalled{false};
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
    // handle counts as stalled and its further reports fail at once, so that a hung dock
    // cannot hold up quitting by seconds per queued report.
    static constexpr std::chrono::milliseconds kWriteTimeout{5000};

    explicit HidWriter(std::chrono::milliseconds writeTimeout = kWriteTimeout);
    // Discards batches that have not started and waits for the running one.
    ~HidWriter();
    HidWriter(const HidWriter&) = delete;
    HidWriter& operator=(const HidWriter&) = delete;

    void submit(Batch batch);
    // Submits the batch and returns once it has been written.
    void submitAndWait(Batch batch);
    // Returns once every submitted batch has been written.
    void waitForIdle();

private:
    void run();
    void write(const Batch& batch);
    // Returns an empty string on success, else the reason; nothing when cancelled.
    std::optional<QString> writeReport(HidHandle& handle, const QByteArray& report, int packetSize);

    const std::chrono::milliseconds writeTimeout_;
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
