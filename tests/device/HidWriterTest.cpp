#include "device/HidWriter.h"
#include "device/Protocol.h"
#include "support/Log.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <atomic>
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

TEST(HidWriter, AStallLogsTwiceAndTheLinkComesBack) {
    LogCapture log;
    HidWriter writer(50ms, 10ms);
    SocketPair pair(4096);
    // Far more than the buffer holds; nobody reads.
    writer.submitAndWait({pair.handle, 1024, QList<QByteArray>(30, Protocol::connect()), {}});
    writer.submitAndWait({pair.handle, 1024, QList<QByteArray>(30, Protocol::connect()), {}});
    EXPECT_TRUE(pair.handle->stalled);

    // The dock reads again: the next batch gets through whole.
    QByteArray buffer(2048, '\0');
    while (::recv(pair.peer.get(), buffer.data(), size_t(buffer.size()), MSG_DONTWAIT) > 0) {
    }
    writer.submitAndWait({pair.handle, 1024, {Protocol::stp(), Protocol::han()}, {}});
    EXPECT_FALSE(pair.handle->stalled);
    QList<QByteArray> got;
    for (ssize_t n = 0;
         (n = ::recv(pair.peer.get(), buffer.data(), size_t(buffer.size()), MSG_DONTWAIT)) > 0;)
        got.append(buffer.left(n));
    ASSERT_EQ(got.size(), 2);
    EXPECT_EQ(got[1], QByteArray(1, '\0') + Protocol::padded(Protocol::han(), 1024));

    EXPECT_EQ(log.count(QStringLiteral("Write failed: timed out")), 1);
    EXPECT_EQ(log.count(QStringLiteral("Write failed: ")), 1);
    EXPECT_EQ(log.count(QStringLiteral("The dock reads again")), 1);
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
