#include "EmulatedDock.h"

#include "device/EmulatorDiscovery.h"
#include "device/Protocol.h"
#include "support/TestEnv.h"

#include <QCoreApplication>
#include <QFile>
#include <QSignalSpy>

#include <gtest/gtest.h>

#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

namespace velloq {
namespace {

const DockModel kV3 = DockModels::table()[1];

TEST(EmulatorHello, RoundTripsAndRejectsMalformedMessages) {
    const EmulatorHello hello{0x6603, 0x1003, 1024, QStringLiteral("Mirabox N3EN")};
    const QByteArray bytes = hello.encode();
    EXPECT_EQ(bytes.left(14), QByteArray("VLQDOCK1\x66\x03\x10\x03\x04\x00", 14));
    const std::optional<EmulatorHello> back = EmulatorHello::decode(bytes);
    ASSERT_TRUE(back);
    EXPECT_EQ(back->vendorID, 0x6603);
    EXPECT_EQ(back->productID, 0x1003);
    EXPECT_EQ(back->maxOutputReportSize, 1024);
    EXPECT_EQ(back->name, "Mirabox N3EN");

    EXPECT_FALSE(EmulatorHello::decode(bytes.left(13)));
    EXPECT_FALSE(EmulatorHello::decode("VLQDOCK2" + bytes.mid(8)));
    EXPECT_FALSE(EmulatorHello::decode(bytes + QByteArray(EmulatorHello::kMaxName, 'x')));
    // Below 1024 means 512-byte reports, 0 included.
    const std::optional<EmulatorHello> zero =
        EmulatorHello::decode(EmulatorHello{1, 2, 0, {}}.encode());
    ASSERT_TRUE(zero);
    EXPECT_EQ(zero->maxOutputReportSize, 0);
    const EmulatorHello longName{1, 2, 3, QString(200, QLatin1Char('n'))};
    EXPECT_EQ(longName.encode().size(), 14 + EmulatorHello::kMaxName);
}

// A socket file nobody listens on any more, as a crashed emulator leaves behind.
void leaveStaleSocket(const QString& path) {
    const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const QByteArray encoded = QFile::encodeName(path);
    std::memcpy(address.sun_path, encoded.constData(), size_t(encoded.size()));
    ASSERT_EQ(::bind(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
    ::close(fd);
}

TEST(EmulatorDiscovery, ReportsEmulatorsAtStartAndIgnoresWhatIsNotOne) {
    const QString folder = EmulatorDiscovery::defaultFolder();
    ASSERT_TRUE(folder.startsWith(qEnvironmentVariable("XDG_RUNTIME_DIR") + "/velloq/docks"));
    EmulatedDock dock(kV3);
    ASSERT_TRUE(dock.plugIn()); // creates the folder
    struct stat st {};
    ASSERT_EQ(::stat(QFile::encodeName(folder).constData(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);
    leaveStaleSocket(folder + "/stale.sock");
    QFile plain(folder + "/notes.txt");
    ASSERT_TRUE(plain.open(QIODevice::WriteOnly));
    plain.close();

    EmulatorDiscovery discovery;
    QSignalSpy attached(&discovery, &DiscoverySource::deviceAttached);
    QSignalSpy removed(&discovery, &DiscoverySource::deviceRemoved);
    discovery.start();
    ASSERT_TRUE(attached.wait(3000));
    const auto info = attached.takeFirst().at(0).value<HidDeviceInfo>();
    EXPECT_EQ(info.vendorID, 0x0300);
    EXPECT_EQ(info.productID, 0x3002);
    EXPECT_EQ(info.usagePage, 0xFFA0);
    EXPECT_EQ(info.usage, 1);
    EXPECT_EQ(info.maxOutputReportSize, 1024);
    EXPECT_EQ(info.node, dock.socketPath());
    EXPECT_EQ(info.name, "Ajazz AKP03E (rev. 2)");

    const QString node = dock.socketPath();
    dock.unplug();
    ASSERT_TRUE(test::waitUntil([&] { return removed.size() == 1; }));
    EXPECT_EQ(removed.first().at(0).toString(), node);
    QCoreApplication::processEvents(); // the closed connection must not count a second time
    EXPECT_EQ(removed.size(), 1);
    EXPECT_TRUE(attached.isEmpty()) << "the stale socket and the plain file are not docks";
}

TEST(EmulatorDiscovery, HandsOverAWorkingConnectionAndReportsItsEnd) {
    EmulatedDock dock(kV3);
    EmulatorDiscovery discovery;
    QSignalSpy attached(&discovery, &DiscoverySource::deviceAttached);
    QSignalSpy removed(&discovery, &DiscoverySource::deviceRemoved);
    discovery.start();
    ASSERT_TRUE(dock.plugIn());
    ASSERT_TRUE(attached.wait(3000)) << "found while running";
    const auto info = attached.takeFirst().at(0).value<HidDeviceInfo>();

    QString error;
    UniqueFd fd = discovery.open(info, &error);
    ASSERT_TRUE(fd.valid()) << error.toStdString();
    const QByteArray message = QByteArray(1, '\0') + Protocol::padded(Protocol::connect(), 1024);
    ASSERT_EQ(::send(fd.get(), message.constData(), size_t(message.size()), MSG_NOSIGNAL),
              message.size());
    ASSERT_TRUE(test::waitUntil([&] { return dock.lastKeepAlive().has_value(); }));
    ASSERT_TRUE(dock.tapKey(0));
    char buffer[1024];
    ASSERT_TRUE(test::waitUntil([&] { return ::recv(fd.get(), buffer, sizeof buffer, 0) == 512; }));

    dock.unplug();
    ASSERT_TRUE(test::waitUntil([&] { return removed.size() == 1; }));
    EXPECT_TRUE(dock.protocolErrors().isEmpty());
}

// An emulated dock played by hand, so the test decides when it binds, listens and goes.
struct HandMadeDock {
    explicit HandMadeDock(const QString& socketPath, bool listenNow = true)
        : path(socketPath)
        , listener(::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_NONBLOCK | SOCK_CLOEXEC, 0)) {
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray encoded = QFile::encodeName(path);
        std::memcpy(address.sun_path, encoded.constData(), size_t(encoded.size()));
        EXPECT_EQ(
            ::bind(listener.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address), 0);
        if (listenNow)
            startListening();
    }
    ~HandMadeDock() { ::unlink(QFile::encodeName(path).constData()); }
    void startListening() { EXPECT_EQ(::listen(listener.get(), 4), 0); }
    // Takes a waiting connection and greets it; true once one was greeted.
    bool answer() {
        if (!peer.valid()) {
            peer.reset(::accept4(listener.get(), nullptr, nullptr, SOCK_CLOEXEC));
            if (!peer.valid())
                return false;
            const QByteArray hello =
                EmulatorHello{0x0300, 0x3002, 1024, QStringLiteral("x")}.encode();
            EXPECT_EQ(::send(peer.get(), hello.constData(), size_t(hello.size()), MSG_NOSIGNAL),
                      hello.size());
        }
        return true;
    }

    const QString path;
    UniqueFd listener;
    UniqueFd peer;
};

TEST(EmulatorDiscovery, RetriesASocketThatIsNotListeningYet) {
    EmulatorDiscovery discovery;
    QSignalSpy attached(&discovery, &DiscoverySource::deviceAttached);
    discovery.start();
    HandMadeDock dock(discovery.folder() + "/late.sock", false);
    // The creation is already queued: discovery tries now, and is refused.
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    dock.startListening();
    ASSERT_TRUE(test::waitUntil([&] { return dock.answer() && attached.size() == 1; }));
    EXPECT_EQ(attached.at(0).at(0).value<HidDeviceInfo>().node, dock.path);
}

TEST(EmulatorDiscovery, NoticesEveryReplugUnderTheSameName) {
    EmulatorDiscovery discovery;
    QSignalSpy attached(&discovery, &DiscoverySource::deviceAttached);
    QSignalSpy removed(&discovery, &DiscoverySource::deviceRemoved);
    discovery.start();
    const QString path = discovery.folder() + "/replug.sock";
    constexpr int kCycles = 200;
    auto dock = std::make_unique<HandMadeDock>(path);
    for (int cycle = 1; cycle <= kCycles; ++cycle) {
        ASSERT_TRUE(test::waitUntil([&] { return dock->answer() && attached.size() == cycle; }))
            << "replug " << cycle << " was not noticed";
        // Gone and back under the same name (often with the same inode) before discovery
        // looks again.
        dock.reset();
        dock = std::make_unique<HandMadeDock>(path);
    }
    EXPECT_TRUE(test::waitUntil([&] { return removed.size() == kCycles; }));
}

} // namespace
} // namespace velloq
