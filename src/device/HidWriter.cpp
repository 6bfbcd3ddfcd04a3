#include "device/HidWriter.h"

#include "device/Protocol.h"
#include "support/Log.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <future>
#include <poll.h>
#include <pthread.h>
#include <sys/socket.h>
#include <sys/stat.h>

namespace velloq {

namespace {
bool isSocket(int fd) {
    struct stat st {};
    return fd >= 0 && ::fstat(fd, &st) == 0 && S_ISSOCK(st.st_mode);
}

QString errnoText(int error) {
    return QString::fromLocal8Bit(std::strerror(error));
}

QString timedOutText() {
    return QStringLiteral("timed out");
}
} // namespace

HidHandle::HidHandle(UniqueFd descriptor)
    : fd(std::move(descriptor))
    , socket(isSocket(fd.get())) {
}

HidWriter::HidWriter(std::chrono::milliseconds writeTimeout,
                     std::chrono::milliseconds stalledWriteTimeout)
    : writeTimeout_(writeTimeout)
    , stalledWriteTimeout_(stalledWriteTimeout)
    , thread_([this] { run(); }) {
}

HidWriter::~HidWriter() {
    {
        std::lock_guard lock(mutex_);
        stopping_ = true;
        queue_.clear();
        cancelled_ = true;
    }
    wake_.notify_all();
    thread_.join();
}

void HidWriter::submit(Batch batch) {
    {
        std::lock_guard lock(mutex_);
        queue_.push_back(std::move(batch));
    }
    wake_.notify_one();
}

bool HidWriter::submitAndWait(Batch batch, std::chrono::milliseconds limit) {
    // Shared, because the batch may outlive this call when the limit passes first.
    auto written = std::make_shared<std::promise<void>>();
    std::future<void> future = written->get_future();
    auto previous = std::move(batch.done);
    batch.done = [written, previous = std::move(previous)] {
        if (previous)
            previous();
        written->set_value();
    };
    submit(std::move(batch));
    if (limit == std::chrono::milliseconds::max()) {
        future.wait();
        return true;
    }
    return future.wait_for(limit) == std::future_status::ready;
}

void HidWriter::waitForIdle() {
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] { return queue_.empty() && !busy_; });
}

void HidWriter::run() {
    // The kernel keeps 15 characters of a thread name.
    pthread_setname_np(pthread_self(), "velloq-hid-writ");
    std::unique_lock lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || !queue_.empty(); });
        if (stopping_)
            break;
        Batch batch = std::move(queue_.front());
        queue_.pop_front();
        busy_ = true;
        lock.unlock();
        write(batch);
        if (batch.done)
            batch.done();
        batch = {};
        lock.lock();
        busy_ = false;
        if (queue_.empty())
            idle_.notify_all();
    }
    busy_ = false;
    idle_.notify_all();
}

void HidWriter::write(const Batch& batch) {
    HidHandle& handle = *batch.handle;
    for (const QByteArray& report : batch.reports) {
        const bool wasStalled = handle.stalled;
        const std::optional<QString> error = writeReport(handle, report, batch.packetSize);
        if (!error)
            return;
        if (error->isEmpty()) {
            if (wasStalled) {
                handle.stalled = false;
                logLine(QStringLiteral("The dock reads again; %1 reports were dropped meanwhile")
                            .arg(handle.droppedWhileStalled));
                handle.droppedWhileStalled = 0;
            }
        } else if (handle.stalled && *error == timedOutText()) {
            // One line when a stall starts and one when it ends, not one per report.
            if (wasStalled) {
                ++handle.droppedWhileStalled;
            } else {
                handle.droppedWhileStalled = 1;
                logLine(QStringLiteral("Write failed: ") + *error +
                        QStringLiteral(" (the dock stopped reading; reports are dropped until it "
                                       "reads again)"));
            }
        } else {
            logLine(QStringLiteral("Write failed: ") + *error);
        }
    }
}

std::optional<QString> HidWriter::writeReport(HidHandle& handle, const QByteArray& report,
                                              int packetSize) {
    const QByteArray data = QByteArray(1, '\0') + Protocol::padded(report, packetSize);
    const int fd = handle.fd.get();
    const auto deadline =
        std::chrono::steady_clock::now() + (handle.stalled ? stalledWriteTimeout_ : writeTimeout_);
    for (;;) {
        const ssize_t n = handle.socket
                              ? ::send(fd, data.constData(), size_t(data.size()), MSG_NOSIGNAL)
                              : ::write(fd, data.constData(), size_t(data.size()));
        if (n == data.size())
            return QString();
        if (n >= 0)
            return QStringLiteral("short write (%1 of %2 bytes)").arg(n).arg(data.size());
        const int error = errno;
        if (error == EINTR)
            continue;
        if (error != EAGAIN && error != EWOULDBLOCK)
            return errnoText(error);
        // The node is non-blocking for the reader's sake: wait until the dock takes more,
        // in short slices so that destruction can cancel the wait.
        for (;;) {
            if (cancelled_)
                return std::nullopt;
            const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                deadline - std::chrono::steady_clock::now());
            if (left.count() <= 0) {
                handle.stalled = true;
                return timedOutText();
            }
            pollfd p{fd, POLLOUT, 0};
            const int ready = ::poll(&p, 1, int(std::min<int64_t>(left.count(), 100)));
            if (ready > 0)
                break; // writable, or an error the next write reports
            if (ready < 0 && errno != EINTR)
                return errnoText(errno);
        }
    }
}

} // namespace velloq
