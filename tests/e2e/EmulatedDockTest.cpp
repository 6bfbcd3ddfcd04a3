#include "EmulatedDock.h"

#include "device/EmulatorDiscovery.h"
#include "device/Protocol.h"
#include "e2e/TestFaces.h"
#include "support/Log.h"
#include "support/TestEnv.h"

#include <QFile>

#include <gtest/gtest.h>

#include <functional>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>

namespace velloq {
namespace {

using Command = EmulatedDock::Command;

DockModel modelAt(int row) {
    return DockModels::table()[size_t(row - 1)];
}
const DockModel kV3 = modelAt(2);  // Ajazz AKP03E (rev. 2)
const DockModel kOld = modelAt(1); // Ajazz AKP03E

// Feeds reports to the dock's decoder exactly as they come off the socket.
void feed(EmulatedDock& dock, const QList<QByteArray>& reports) {
    for (const QByteArray& report : reports)
        dock.receiveMessage(QByteArray(1, '\0') + Protocol::padded(report, dock.reportSize()));
}

QByteArray faceFor(const DockModel& model, int seed = 0) {
    return test::jpeg(
        test::rotated(test::quadrantFace(model.imageEdge(), seed, 600), model.baseRotation()));
}

// A face whose last data slice leaves room for a few stray bytes.
QByteArray faceWithRoomInLastSlice(const DockModel& model) {
    for (int seed = 0;; ++seed) {
        const QByteArray face = faceFor(model, seed);
        const qsizetype rest = face.size() % 1024;
        if (rest > 0 && rest < 1000)
            return face;
    }
}

TEST(EmulatedDock, PlaysInitialisationAndImageBatchesInOrder) {
    LogCapture log;
    EmulatedDock dock(kV3);
    feed(dock, Protocol::initializeBatch(40));
    EXPECT_TRUE(dock.isAwake());
    EXPECT_EQ(dock.brightness(), 40);

    const QByteArray big = faceFor(kV3, 1);
    ASSERT_GT(big.size(), dock.reportSize()); // spans several data reports
    QList<QByteArray> batch = Protocol::imageBatch({{1, big}, {3, std::nullopt}}, 1024);
    const QByteArray stp = batch.takeLast();
    feed(dock, batch);
    EXPECT_TRUE(dock.face(1).isNull()) << "a face commits only when STP closes the batch";
    EXPECT_TRUE(dock.batchOpen());
    feed(dock, {stp});
    EXPECT_FALSE(dock.batchOpen());
    EXPECT_EQ(dock.faceData(1), big);
    EXPECT_TRUE(test::showsUprightQuadrants(dock.face(1)));
    EXPECT_TRUE(dock.face(3).isNull());
    EXPECT_EQ(dock.imageCommits(1), 1);

    feed(dock, Protocol::keepAliveBatch());
    EXPECT_TRUE(dock.lastKeepAlive().has_value());
    feed(dock, Protocol::shutdownBatch());
    EXPECT_FALSE(dock.isAwake());
    EXPECT_TRUE(dock.face(1).isNull()) << "the shutdown blanks every key";

    QStringList texts;
    for (const auto& entry : dock.commandLog())
        texts << entry.text();
    EXPECT_EQ(texts, QStringList({"DIS", "LIG 0", "CLE all", "STP", "LIG 40",
                                  QStringLiteral("BAT key 2, %1 bytes").arg(big.size()),
                                  "CLE key 4", "STP", "CONNECT", "CLE shutdown", "HAN"}));
    EXPECT_EQ(dock.count(Command::stp), 2);
    EXPECT_EQ(dock.count(Command::lig), 2);
    EXPECT_EQ(dock.dataReports(), (big.size() + 1023) / 1024);
    EXPECT_TRUE(dock.protocolErrors().isEmpty());
    EXPECT_FALSE(log.contains("protocol error"));
}

TEST(EmulatedDock, OlderModelsTakeUnrotatedFacesOf60PixelsIn512ByteReports) {
    EmulatedDock dock(kOld);
    ASSERT_EQ(dock.reportSize(), 512);
    const QByteArray face = faceFor(kOld);
    feed(dock, Protocol::initializeBatch(100));
    feed(dock, Protocol::imageBatch({{5, face}}, 512));
    EXPECT_EQ(dock.faceData(5), face);
    EXPECT_EQ(dock.face(5).size(), QSize(60, 60));
    EXPECT_TRUE(test::showsUprightQuadrants(dock.face(5)));
    EXPECT_TRUE(dock.protocolErrors().isEmpty());
}

TEST(EmulatedDock, AWronglyTurnedFaceIsNotUprightAfterTurningBack) {
    EmulatedDock dock(kV3);
    const QByteArray unturned = test::jpeg(test::quadrantFace(64));
    feed(dock, Protocol::imageBatch({{0, unturned}}, 1024));
    EXPECT_FALSE(test::showsUprightQuadrants(dock.face(0)));
}

// Every case breaks the protocol once: one error, never a changed face, never a crash.
struct Fault {
    const char* name;
    std::function<void(EmulatedDock&, const QByteArray& image)> send;
    const char* error;
};

TEST(EmulatedDock, CountsEveryProtocolErrorOnceAndKeepsTheFaces) {
    const auto raw = [](EmulatedDock& dock, const QByteArray& message) {
        dock.receiveMessage(message);
    };
    const QList<Fault> faults{
        {"BAT for key 0",
         [](EmulatedDock& d, const QByteArray& image) {
             QList<QByteArray> r = Protocol::imageBatch({{-1, image}}, 1024);
             feed(d, r.mid(0, r.size() - 1)); // the STP alone would be a second error
         },
         "BAT for key 0 outside 1-6"},
        {"BAT for key 7",
         [](EmulatedDock& d, const QByteArray& image) {
             QList<QByteArray> r = Protocol::imageBatch({{6, image}}, 1024);
             feed(d, r.mid(0, r.size() - 1));
         },
         "BAT for key 7 outside 1-6"},
        {"junk after the image in its last slice",
         [](EmulatedDock& d, const QByteArray&) {
             QList<QByteArray> r = Protocol::imageBatch({{0, faceWithRoomInLastSlice(kV3)}}, 1024);
             r[r.size() - 2].append("extra");
             feed(d, r);
         },
         "more data than announced for key 1"},
        {"one data report too many",
         [](EmulatedDock& d, const QByteArray& image) {
             QList<QByteArray> r = Protocol::imageBatch({{0, image}}, 1024);
             r.insert(r.size() - 1, QByteArray("surplus"));
             feed(d, r);
         },
         "more data than announced for key 1"},
        {"data without BAT",
         [](EmulatedDock& d, const QByteArray& image) { feed(d, {image.left(1024)}); },
         "image data without BAT"},
        {"batch left open",
         [](EmulatedDock& d, const QByteArray& image) {
             QList<QByteArray> r = Protocol::imageBatch({{0, image}}, 1024);
             r.removeLast();
             feed(d, r);
             feed(d, Protocol::keepAliveBatch());
         },
         "batch left open before CONNECT"},
        {"512-byte report to a 1024-byte dock",
         [raw](EmulatedDock& d, const QByteArray&) {
             raw(d, QByteArray(1, '\0') + Protocol::padded(Protocol::stp(), 512));
         },
         "report of 513 bytes, expected 1025 (report id 0 and 1024 bytes)"},
        {"report id 1",
         [raw](EmulatedDock& d, const QByteArray&) {
             raw(d, QByteArray(1, '\1') + Protocol::padded(Protocol::connect(), 1024));
         },
         "report id 1, expected 0"},
        {"brightness above 100",
         [](EmulatedDock& d, const QByteArray&) { feed(d, {Protocol::lig(150)}); },
         "LIG level 150 outside 0-100"},
        {"STP alone", [](EmulatedDock& d, const QByteArray&) { feed(d, {Protocol::stp()}); },
         "STP without an open batch"},
        {"unknown command",
         [](EmulatedDock& d, const QByteArray&) { feed(d, {QByteArray("CRT\0\0XYZ", 8)}); },
         "unknown command"},
        {"CLE for key 9",
         [](EmulatedDock& d, const QByteArray&) { feed(d, {Protocol::cleKey(9)}); },
         "CLE for key 9 outside 1-6"},
        {"not a JPEG",
         [](EmulatedDock& d, const QByteArray&) {
             feed(d, Protocol::imageBatch({{0, QByteArray(700, 'x')}}, 1024));
         },
         "key 1: image data is not a JPEG"},
        {"wrong edge",
         [](EmulatedDock& d, const QByteArray&) {
             feed(d, Protocol::imageBatch({{0, test::jpeg(test::quadrantFace(60))}}, 1024));
         },
         "key 1: image is 60x60, expected 64x64"},
    };

    for (const Fault& fault : faults) {
        SCOPED_TRACE(fault.name);
        EmulatedDock dock(kV3);
        const QByteArray kept = faceFor(kV3, 7);
        feed(dock, Protocol::imageBatch({{1, kept}}, 1024));
        ASSERT_TRUE(dock.protocolErrors().isEmpty());
        LogCapture log;

        fault.send(dock, faceFor(kV3, 3));

        ASSERT_EQ(dock.protocolErrors().size(), 1)
            << dock.protocolErrors().join(" | ").toStdString();
        EXPECT_TRUE(dock.protocolErrors().first().startsWith(QLatin1String(fault.error)))
            << dock.protocolErrors().first().toStdString();
        EXPECT_EQ(log.count("Dock emulator: protocol error: "), 1);
        EXPECT_EQ(dock.faceData(1), kept);
    }
}

TEST(EmulatedDock, UnplugPowersOffButKeepsTheRecords) {
    EmulatedDock dock(kV3);
    ASSERT_TRUE(dock.plugIn());
    const QString path = dock.socketPath();
    EXPECT_TRUE(QFile::exists(path));
    feed(dock, Protocol::initializeBatch(20));
    feed(dock, Protocol::imageBatch({{0, faceFor(kV3)}}, 1024));
    dock.unplug();
    EXPECT_FALSE(QFile::exists(path));
    EXPECT_TRUE(dock.face(0).isNull());
    EXPECT_FALSE(dock.isAwake());
    EXPECT_EQ(dock.count(Command::stp), 2);
    ASSERT_TRUE(dock.plugIn());
    EXPECT_NE(dock.socketPath(), path) << "a fresh socket each time it is plugged in";
}

// A raw host on the real socket: the hello and the input reports as the model sends them.
class RawHost {
public:
    explicit RawHost(const QString& path) {
        fd_ = UniqueFd(::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0));
        sockaddr_un address{};
        address.sun_family = AF_UNIX;
        const QByteArray encoded = QFile::encodeName(path);
        std::memcpy(address.sun_path, encoded.constData(), size_t(encoded.size()));
        connected_ =
            ::connect(fd_.get(), reinterpret_cast<const sockaddr*>(&address), sizeof address) == 0;
    }
    bool connected() const { return connected_; }
    // The next message, while the event loop runs; empty after end of stream or 2 s.
    QByteArray next() {
        QByteArray message;
        test::waitUntil(
            [&] {
                pollfd p{fd_.get(), POLLIN, 0};
                if (::poll(&p, 1, 0) <= 0)
                    return false;
                char buffer[2048];
                const ssize_t n = ::recv(fd_.get(), buffer, sizeof buffer, MSG_DONTWAIT);
                if (n > 0)
                    message = QByteArray(buffer, n);
                return true;
            },
            2000);
        return message;
    }
    void send(const QByteArray& report) {
        const QByteArray message = QByteArray(1, '\0') + Protocol::padded(report, 1024);
        ASSERT_EQ(::send(fd_.get(), message.constData(), size_t(message.size()), MSG_NOSIGNAL),
                  message.size());
    }
    void close() { fd_.reset(); }
    bool nothingWaiting() const {
        pollfd p{fd_.get(), POLLIN, 0};
        return ::poll(&p, 1, 0) == 0;
    }

private:
    UniqueFd fd_;
    bool connected_ = false;
};

std::pair<int, int> codeAndState(const QByteArray& report) {
    EXPECT_EQ(report.size(), EmulatedDock::kInputReportSize);
    EXPECT_TRUE(report.startsWith("ACK"));
    return {static_cast<uint8_t>(report[9]), static_cast<uint8_t>(report[10])};
}

TEST(EmulatedDock, GreetsWithHelloAndSendsInputAsTheModelDoes) {
    EmulatedDock dock(kV3);
    ASSERT_TRUE(dock.plugIn());
    RawHost host(dock.socketPath());
    ASSERT_TRUE(host.connected());
    const std::optional<EmulatorHello> hello = EmulatorHello::decode(host.next());
    ASSERT_TRUE(hello);
    EXPECT_EQ(hello->vendorID, 0x0300);
    EXPECT_EQ(hello->productID, 0x3002);
    EXPECT_EQ(hello->maxOutputReportSize, 1024);
    EXPECT_EQ(hello->name, "Ajazz AKP03E (rev. 2)");
    ASSERT_TRUE(test::waitUntil([&] { return dock.hasPeer(); }));

    RawHost second(dock.socketPath()); // one host at a time
    EXPECT_TRUE(second.next().isEmpty());

    ASSERT_TRUE(dock.tapKey(2));
    EXPECT_EQ(codeAndState(host.next()), std::make_pair(0x03, 1));
    EXPECT_EQ(codeAndState(host.next()), std::make_pair(0x03, 0)) << "v3 reports the release";
    ASSERT_TRUE(dock.tapKey(8));
    EXPECT_EQ(codeAndState(host.next()), std::make_pair(0x31, 1));
    EXPECT_EQ(codeAndState(host.next()), std::make_pair(0x31, 0));
    ASSERT_TRUE(dock.tapKnob(1));
    EXPECT_EQ(codeAndState(host.next()).first, 0x35);
    EXPECT_EQ(codeAndState(host.next()).first, 0x35);
    ASSERT_TRUE(dock.turnKnob(2, -2));
    EXPECT_EQ(codeAndState(host.next()).first, 0x60);
    EXPECT_EQ(codeAndState(host.next()).first, 0x60);
    EXPECT_TRUE(host.nothingWaiting()) << "one report per detent";

    dock.setModel(kOld); // unplugs: the host sees the end of the connection
    EXPECT_TRUE(host.next().isEmpty());
    RawHost old(dock.socketPath());
    ASSERT_EQ(EmulatorHello::decode(old.next())->maxOutputReportSize, 512);
    ASSERT_TRUE(test::waitUntil([&] { return dock.hasPeer(); }));
    ASSERT_TRUE(dock.tapKey(0));
    EXPECT_EQ(codeAndState(old.next()), std::make_pair(0x01, 1));
    ASSERT_TRUE(dock.tapKnob(0));
    EXPECT_EQ(codeAndState(old.next()), std::make_pair(0x33, 1));
    ASSERT_TRUE(dock.turnKnob(0, 1));
    EXPECT_EQ(codeAndState(old.next()).first, 0x91);
    EXPECT_TRUE(old.nothingWaiting()) << "older models send no releases";
}

TEST(EmulatedDock, AHostLeavingInTheMiddleOfABatchIsAProtocolError) {
    EmulatedDock dock(kV3);
    ASSERT_TRUE(dock.plugIn());
    RawHost host(dock.socketPath());
    ASSERT_TRUE(EmulatorHello::decode(host.next()));
    const QList<QByteArray> batch = Protocol::imageBatch({{0, faceFor(kV3)}}, 1024);
    host.send(batch[0]);
    host.send(batch[1]);
    ASSERT_TRUE(test::waitUntil([&] { return dock.reportsReceived() == 2; }));
    EXPECT_TRUE(dock.batchOpen());
    host.close();
    ASSERT_TRUE(test::waitUntil([&] { return !dock.hasPeer(); }));
    EXPECT_EQ(dock.protocolErrors(),
              QStringList{"batch left open when Velloq closed the connection"});
    EXPECT_TRUE(dock.face(0).isNull());
    EXPECT_FALSE(dock.batchOpen());
}

} // namespace
} // namespace velloq
