#include "device/HidWriter.h"

#include "device/Protocol.h"
#include "support/Log.h"

#include <algorithm>
#include <array>
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
} // namespace

HidHandle::HidHandle(UniqueFd descriptor)
    : fd(std::move(descriptor))
    , socket(isSocket(fd.get())) {
}

HidWriter::HidWriter(std::chrono::milliseconds stallAfter)
    : stallAfter_(stallAfter)
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
    std::vector<Batch> replaced;
    {
        std::lock_guard lock(mutex_);
        if (batch.handle->stalled)
            replaced = takeReplaced(*batch.handle, false);
        queue_.push_back(std::move(batch));
    }
    wake_.notify_one();
    finish(std::move(replaced));
}

std::vector<HidWriter::Batch> HidWriter::takeReplaced(HidHandle& handle, bool keepNewest) {
    std::vector<Batch> taken;
    const Batch* newest = nullptr;
    if (keepNewest) {
        for (const Batch& queued : queue_) {
            if (queued.handle.get() == &handle)
                newest = &queued;
        }
    }
    for (auto it = queue_.begin(); it != queue_.end();) {
        if (it->handle.get() == &handle && &*it != newest) {
            taken.push_back(std::move(*it));
            it = queue_.erase(it);
        } else {
            ++it;
        }
    }
    handle.replacedWhileStalled += int(taken.size());
    return taken;
}

void HidWriter::finish(std::vector<Batch> replaced) {
    for (Batch& batch : replaced) {
        if (batch.done)
            batch.done();
    }
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

void HidWriter::setPacer(std::shared_ptr<Pacer> pacer) {
    {
        std::lock_guard lock(mutex_);
        pacer_ = std::move(pacer);
        pacerDue_.reset();
        poked_ = pacer_ != nullptr;
        dueWhileWriting_ = false;
    }
    wake_.notify_one();
}

void HidWriter::poke() {
    {
        std::lock_guard lock(mutex_);
        if (!pacer_)
            return;
        poked_ = true;
    }
    wake_.notify_one();
}

void HidWriter::run() {
    // The kernel keeps 15 characters of a thread name.
    pthread_setname_np(pthread_self(), "velloq-hid-writ");
    std::unique_lock lock(mutex_);
    const auto ready = [this] { return stopping_ || !queue_.empty() || poked_; };
    for (;;) {
        if (stopping_)
            break;
        if (pacer_ && (poked_ || (pacerDue_ && std::chrono::steady_clock::now() >= *pacerDue_))) {
            stepPacer(lock);
        } else if (!queue_.empty()) {
            Batch batch = std::move(queue_.front());
            queue_.pop_front();
            runBatch(std::move(batch), lock);
        } else if (pacer_ && pacerDue_) {
            wake_.wait_until(lock, *pacerDue_, ready);
        } else {
            wake_.wait(lock, ready);
        }
    }
    busy_ = false;
    idle_.notify_all();
}

void HidWriter::stepPacer(std::unique_lock<std::mutex>& lock) {
    // As a batch waiting when an animation's tick comes makes it skip the tick.
    const bool busy = dueWhileWriting_ || !queue_.empty();
    poked_ = false;
    dueWhileWriting_ = false;
    pacerDue_.reset();
    std::shared_ptr<Pacer> pacer = pacer_;
    busy_ = true;
    lock.unlock();
    Pacer::Step step = pacer->step(busy);
    // Measured after the pacer read its clock, so the time it gave is never reached early.
    const auto asked = std::chrono::steady_clock::now();
    lock.lock();
    if (pacer_ == pacer && step.wait)
        pacerDue_ = asked + *step.wait;
    if (step.batch)
        runBatch(std::move(*step.batch), lock);
    busy_ = false;
    if (queue_.empty())
        idle_.notify_all();
}

void HidWriter::runBatch(Batch batch, std::unique_lock<std::mutex>& lock) {
    busy_ = true;
    lock.unlock();
    write(batch);
    if (batch.done)
        batch.done();
    batch = {};
    lock.lock();
    busy_ = false;
    if (pacerDue_ && std::chrono::steady_clock::now() >= *pacerDue_)
        dueWhileWriting_ = true;
    if (queue_.empty())
        idle_.notify_all();
}

void HidWriter::write(const Batch& batch) {
    HidHandle& handle = *batch.handle;
    // Sends reports from `data` on, at least the first; returns how many are done with, 0 once
    // cancelled.
    const auto send = [&](const char* data, size_t length, size_t count) -> size_t {
        const std::optional<Sent> sent = sendReports(handle, data, length, count);
        if (!sent)
            return 0;
        if (!sent->error.isEmpty()) {
            logLine(QStringLiteral("Write failed: ") + sent->error);
            return 1;
        }
        if (handle.stalled) {
            handle.stalled = false;
            const int replaced = handle.replacedWhileStalled.exchange(0);
            const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() -
                                                                 handle.stalledSince)
                                       .count();
            logLine(QStringLiteral("The dock reads again after %1 s; %2 batches waiting meanwhile "
                                   "were replaced by the newest")
                        .arg(seconds, 0, 'f', 1)
                        .arg(replaced));
            if (handle.resumed)
                handle.resumed(replaced);
        }
        return sent->count;
    };
    if (batch.framed) {
        const size_t stride = size_t(batch.packetSize) + 1;
        for (const QByteArray& reports : batch.reports) {
            const size_t count = size_t(reports.size()) / stride;
            for (size_t at = 0; at < count;) {
                const size_t done = send(reports.constData() + at * stride, stride, count - at);
                if (done == 0)
                    return;
                at += done;
            }
        }
        return;
    }
    for (const QByteArray& report : batch.reports) {
        // Framed in a buffer kept between reports: no allocation per report.
        const size_t length = 1 + size_t(std::max<qsizetype>(report.size(), batch.packetSize));
        if (wire_.size() < length)
            wire_.resize(length);
        wire_[0] = '\0';
        std::memcpy(wire_.data() + 1, report.constData(), size_t(report.size()));
        std::memset(wire_.data() + 1 + report.size(), 0, length - 1 - size_t(report.size()));
        if (send(wire_.data(), length, 1) == 0)
            return;
    }
}

int HidWriter::sendAtOnce(int fd, const char* data, size_t stride, size_t count) {
    constexpr size_t kMost = 64;
    std::array<mmsghdr, kMost> messages{};
    std::array<iovec, kMost> slices{};
    const size_t n = std::min(count, kMost);
    for (size_t i = 0; i < n; ++i) {
        // sendmmsg() takes no const data, but only reads it.
        slices[i] = {const_cast<char*>(data + i * stride), stride};
        messages[i].msg_hdr.msg_iov = &slices[i];
        messages[i].msg_hdr.msg_iovlen = 1;
    }
    return ::sendmmsg(fd, messages.data(), unsigned(n), MSG_NOSIGNAL);
}

void HidWriter::noteWaiting(HidHandle& handle, std::chrono::steady_clock::time_point since) {
    const auto now = std::chrono::steady_clock::now();
    if (handle.stalled || now - since < stallAfter_)
        return;
    handle.stalledSince = since;
    std::vector<Batch> replaced;
    {
        std::lock_guard lock(mutex_);
        handle.stalled = true; // under the lock, so no submit misses it
        replaced = takeReplaced(handle, true);
    }
    logLine(QStringLiteral("Write failed: timed out (the dock stopped reading; the output waits "
                           "until it reads again)"));
    finish(std::move(replaced));
}

std::optional<HidWriter::Sent> HidWriter::sendReports(HidHandle& handle, const char* data,
                                                      size_t length, size_t count) {
    const ssize_t size = ssize_t(length);
    const int fd = handle.fd.get();
    const auto since = std::chrono::steady_clock::now();
    for (;;) {
        if (cancelled_)
            return std::nullopt;
        // A socket takes as many as fit in one call; its datagrams go whole (SOCK_SEQPACKET).
        if (handle.socket && count > 1) {
            const int sent = sendAtOnce(fd, data, length, count);
            if (sent > 0)
                return Sent{size_t(sent), {}};
        } else {
            const ssize_t n =
                handle.socket ? ::send(fd, data, length, MSG_NOSIGNAL) : ::write(fd, data, length);
            if (n == size)
                return Sent{1, {}};
            if (n >= 0)
                return Sent{1, QStringLiteral("short write (%1 of %2 bytes)").arg(n).arg(size)};
        }
        const int error = errno;
        if (error == EINTR)
            continue;
        if (error == ETIMEDOUT) {
            // A USB dock that did not take the report within the kernel's limit: the same
            // report again, never the next one.
            noteWaiting(handle, since);
            continue;
        }
        if (error != EAGAIN && error != EWOULDBLOCK)
            return Sent{1, errnoText(error)};
        // The node is non-blocking for the reader's sake: wait until the dock takes more,
        // in short slices so that destruction can cancel the wait.
        for (;;) {
            if (cancelled_)
                return std::nullopt;
            noteWaiting(handle, since);
            pollfd p{fd, POLLOUT, 0};
            const int ready = ::poll(&p, 1, 100);
            if (ready > 0)
                break; // writable, or an error the next write reports
            if (ready < 0 && errno != EINTR)
                return Sent{1, errnoText(errno)};
        }
    }
}

} // namespace velloq
