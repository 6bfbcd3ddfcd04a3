#include "device/HidWriter.h"
#include "device/Protocol.h"
#include "support/Log.h"
#include "support/TestEnv.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <mutex>
#include <poll.h>
#include <sys/socket.h>

using namespace velloq;
using namespace std::chrono_literals;

namespace {

struct SocketPair {
    SocketPair(int sendBuffer = 0) {
        int fds[2];
        EXPECT_EQ(::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0, fds), 0);
        if (sendBuffer > 0)
            ::setsockopt(fds[0], SOL_SOCKET, SO_SNDBUF, &sendBuffer, sizeof sendBuffer);
        handle = std::make_shared<HidHandle>(UniqueFd(fds[0]));
        peer.reset(fds[1]);
    }
    std::shared_ptr<HidHandle> handle;
    UniqueFd peer;
};

QList<QByteArray> onWire(const QList<QByteArray>& reports) {
    QList<QByteArray> out;
    for (const QByteArray& report : reports)
        out << QByteArray(1, '\0') + Protocol::padded(report, 1024);
    return out;
}

} // namespace

TEST(HidWriter, RunsOnItsOwnNamedThread) {
    HidWriter writer;
    SocketPair pair;
    std::atomic<bool> ran{false};
    writer.submitAndWait({pair.handle, 512, {Protocol::stp()}, [&] { ran = true; }});
    EXPECT_TRUE(ran);
    bool named = false;
    const QStringList tasks =
        QDir(QStringLiteral("/proc/self/task")).entryList(QDir::Dirs | QDir::NoDotAndDotDot);
    for (const QString& task : tasks) {
        QFile comm(QStringLiteral("/proc/self/task/") + task + QStringLiteral("/comm"));
        if (comm.open(QIODevice::ReadOnly) && comm.readAll().trimmed() == "velloq-hid-writ")
            named = true;
    }
    EXPECT_TRUE(named);
}

// A dock that stops reading pauses the stream: nothing of the batch under way is lost, the
// batches waiting meanwhile give way to the newest, and the link comes back whole.
TEST(HidWriter, AStallPausesTheStreamAndOnlyTheNewestWaitingBatchFollows) {
    LogCapture log;
    HidWriter writer(50ms);
    SocketPair pair(4096);
    std::atomic<int> resumed{-1};
    pair.handle->resumed = [&](int replaced) { resumed = replaced; };
    QList<QByteArray> started;
    for (int i = 0; i < 30; ++i)
        started << Protocol::lig(i); // far more than the link holds; nobody reads
    writer.submit({pair.handle, 1024, started, {}});
    std::atomic<int> done{0};
    const auto count = [&] { ++done; };
    writer.submit({pair.handle, 1024, {Protocol::lig(90)}, count}); // waiting when it stalls
    ASSERT_TRUE(test::waitUntil([&] { return pair.handle->stalled.load(); }));
    writer.submit({pair.handle, 1024, {Protocol::lig(91)}, count});
    writer.submit({pair.handle, 1024, {Protocol::lig(92)}, count});
    EXPECT_EQ(done, 2); // replaced at once: one stays waiting

    // The dock reads again.
    QList<QByteArray> got;
    QByteArray buffer(2048, '\0');
    while (got.size() < 31) {
        pollfd p{pair.peer.get(), POLLIN, 0};
        ASSERT_GT(::poll(&p, 1, 5000), 0) << got.size() << " reports arrived";
        const ssize_t n = ::recv(pair.peer.get(), buffer.data(), size_t(buffer.size()), 0);
        ASSERT_GT(n, 0);
        got.append(buffer.left(n));
    }
    writer.waitForIdle();
    EXPECT_EQ(got, onWire(started + QList<QByteArray>{Protocol::lig(92)}));
    EXPECT_EQ(done, 3);
    EXPECT_FALSE(pair.handle->stalled);
    EXPECT_EQ(resumed, 2);
    EXPECT_EQ(log.count(QStringLiteral("the dock stopped reading")), 1);
    EXPECT_EQ(log.count(QStringLiteral("The dock reads again after")), 1);
    EXPECT_EQ(log.count(QStringLiteral("Write failed: ")), 1);
}

TEST(HidWriter, AWaitCanGiveUpWhileTheBatchStaysQueued) {
    SocketPair pair(4096);
    HidWriter writer(60s);
    writer.submit({pair.handle, 1024, QList<QByteArray>(30, Protocol::connect()), {}});
    EXPECT_FALSE(writer.submitAndWait({pair.handle, 1024, {Protocol::han()}, {}}, 50ms));
}

TEST(HidWriter, DestructionCancelsAWaitingWrite) {
    LogCapture log;
    SocketPair pair(4096);
    {
        HidWriter writer(60s);
        for (int i = 0; i < 10; ++i)
            writer.submit({pair.handle, 1024, QList<QByteArray>(30, Protocol::connect()), {}});
    }
    EXPECT_FALSE(log.contains(QStringLiteral("Write failed")));
}

TEST(HidWriter, FramedBatchesWriteTheBytesOfTheirPlainReports) {
    HidWriter writer;
    SocketPair pair;
    const QList<QByteArray> plain =
        Protocol::imageBatch({{0, QByteArray(2500, 'j')}, {3, std::nullopt}}, 1024);
    ASSERT_EQ(plain.size(), 6); // BAT, three slices, CLE, STP
    writer.submitAndWait({pair.handle, 1024, plain, {}});
    writer.submitAndWait(
        {pair.handle,
         1024,
         {Protocol::framed(plain.first(4), 1024), Protocol::framed(plain.sliced(4), 1024)},
         {},
         true});
    QList<QByteArray> got;
    QByteArray buffer(2048, '\0');
    while (got.size() < 2 * plain.size()) {
        pollfd p{pair.peer.get(), POLLIN, 0};
        ASSERT_GT(::poll(&p, 1, 5000), 0) << got.size() << " reports arrived";
        const ssize_t n = ::recv(pair.peer.get(), buffer.data(), size_t(buffer.size()), 0);
        ASSERT_GT(n, 0);
        got.append(buffer.left(n));
    }
    EXPECT_EQ(got, onWire(plain + plain));
}

// The writer asks its pacer when the wait it gave is over, never earlier, writes what it
// gives between submitted batches, and says when a submitted batch held the time up.
TEST(HidWriter, APacerIsAskedOnTimeAndToldWhenOtherBatchesHeldItUp) {
    struct Pacer final : HidWriter::Pacer {
        explicit Pacer(std::shared_ptr<HidHandle> dock)
            : handle(std::move(dock)) {}
        Step step(bool busy) override {
            std::lock_guard lock(mutex);
            const auto now = std::chrono::steady_clock::now();
            asked.push_back({now, busy});
            Step step;
            if (asked.size() > 1) {
                EXPECT_GE(now, due) << "asked early, at step " << asked.size();
            }
            if (asked.size() < 8) {
                const QByteArray report =
                    Protocol::padded("paced" + QByteArray::number(asked.size()), 512);
                step.batch =
                    HidWriter::Batch{handle, 512, {QByteArray(1, '\0') + report}, {}, true};
                step.wait = 15ms;
                due = now + *step.wait;
            }
            return step;
        }
        std::shared_ptr<HidHandle> handle;
        std::mutex mutex;
        std::vector<std::pair<std::chrono::steady_clock::time_point, bool>> asked;
        std::chrono::steady_clock::time_point due;
    };
    HidWriter writer;
    SocketPair pair(2 * 513);
    auto pacer = std::make_shared<Pacer>(pair.handle);
    const auto steps = [&] {
        std::lock_guard lock(pacer->mutex);
        return pacer->asked;
    };
    writer.setPacer(pacer);
    ASSERT_TRUE(test::waitUntil([&] { return steps().size() >= 2; }));

    // The dock does not read: a submitted batch waits while the pacer's time passes.
    QList<QByteArray> many;
    for (int i = 0; i < 12; ++i)
        many << "held" + QByteArray::number(i);
    std::atomic<bool> done{false};
    writer.submit({pair.handle, 512, many, [&] { done = true; }});
    QByteArray buffer(1024, '\0');
    QList<QByteArray> got;
    ASSERT_TRUE(test::waitUntil([&] {
        if (::recv(pair.peer.get(), buffer.data(), size_t(buffer.size()), 0) > 0)
            got << buffer.mid(1, 6);
        return steps().size() >= 8;
    }));
    writer.setPacer(nullptr);
    ASSERT_TRUE(test::waitUntil([&] {
        while (::recv(pair.peer.get(), buffer.data(), size_t(buffer.size()), 0) > 0)
            got << buffer.mid(1, 6);
        return done.load();
    }));
    const auto asked = steps();
    EXPECT_EQ(asked.size(), 8u);
    EXPECT_TRUE(std::any_of(asked.begin(), asked.end(), [](const auto& s) { return s.second; }))
        << "no step was told of the batch that held it up";
    // Whole batches, each in its order: the held batch's reports are not split by paced ones.
    QList<QByteArray> held;
    for (const QByteArray& report : got) {
        if (report.startsWith("held"))
            held << report;
    }
    ASSERT_EQ(held.size(), 12);
    const auto first = got.indexOf(held.first());
    EXPECT_EQ(got.mid(first, 12), held);
    EXPECT_EQ(got.size(), 12 + 7);
}
