#include "device/Protocol.h"

#include <gtest/gtest.h>

using namespace velloq;

namespace {
QByteArray bytes(std::initializer_list<int> values) {
    QByteArray out;
    for (int v : values)
        out.append(static_cast<char>(v));
    return out;
}

QByteArray report(const QByteArray& head, int code, int state, int lead = 0) {
    QByteArray r(lead, '\x01');
    r += head;
    r.append(6, '\0');
    r.append(static_cast<char>(code));
    r.append(static_cast<char>(state));
    r.append(5, '\0');
    return r;
}

std::optional<DockEvent> decode(const QByteArray& r, std::optional<DockModel> model) {
    return Protocol::decodeInput(reinterpret_cast<const uint8_t*>(r.constData()),
                                 static_cast<size_t>(r.size()), model);
}

const std::optional<DockModel> kV3 = DockModels::lookup(0x6603, 0x1003);
const std::optional<DockModel> kOld = DockModels::lookup(0x0300, 0x1001);
} // namespace

TEST(Protocol, CommandBytes) {
    EXPECT_EQ(Protocol::dis(), bytes({'C', 'R', 'T', 0, 0, 'D', 'I', 'S'}));
    EXPECT_EQ(Protocol::stp(), bytes({'C', 'R', 'T', 0, 0, 'S', 'T', 'P'}));
    EXPECT_EQ(Protocol::han(), bytes({'C', 'R', 'T', 0, 0, 'H', 'A', 'N'}));
    EXPECT_EQ(Protocol::connect(), QByteArray("CRT\0\0CONNECT", 12));
    EXPECT_EQ(Protocol::cleAll(), bytes({'C', 'R', 'T', 0, 0, 'C', 'L', 'E', 0, 0, 0, 0xFF}));
    EXPECT_EQ(Protocol::cleKey(3), bytes({'C', 'R', 'T', 0, 0, 'C', 'L', 'E', 0, 0, 0, 3}));
    EXPECT_EQ(Protocol::cleShutdown(), bytes({'C', 'R', 'T', 0, 0, 'C', 'L', 'E', 0, 0, 'D', 'C'}));
}

TEST(Protocol, BrightnessIsClamped) {
    EXPECT_EQ(Protocol::brightnessCommand(150),
              bytes({'C', 'R', 'T', 0, 0, 'L', 'I', 'G', 0, 0, 100}));
    EXPECT_EQ(Protocol::brightnessCommand(-5),
              bytes({'C', 'R', 'T', 0, 0, 'L', 'I', 'G', 0, 0, 0}));
    EXPECT_EQ(Protocol::brightnessCommand(42).back(), 42);
}

TEST(Protocol, InitializationOrder) {
    const QList<QByteArray> batch = Protocol::initializeBatch(70);
    ASSERT_EQ(batch.size(), 5);
    EXPECT_EQ(batch[0], Protocol::dis());
    EXPECT_EQ(batch[1], bytes({'C', 'R', 'T', 0, 0, 'L', 'I', 'G', 0, 0, 0, 0}));
    EXPECT_EQ(Protocol::padded(batch[1], 512), Protocol::padded(Protocol::lig(0), 512));
    EXPECT_EQ(batch[2], Protocol::cleAll());
    EXPECT_EQ(batch[3], Protocol::stp());
    EXPECT_EQ(batch[4], Protocol::brightnessCommand(70));
}

TEST(Protocol, ImageSlicingAndSizeField) {
    QByteArray image(1300, '\0');
    for (int i = 0; i < image.size(); ++i)
        image[i] = static_cast<char>(i * 7);
    const QList<QByteArray> batch = Protocol::imageBatch({{2, image}}, 512);
    ASSERT_EQ(batch.size(), 5);
    EXPECT_EQ(batch[0], bytes({'C', 'R', 'T', 0, 0, 'B', 'A', 'T', 0, 0, 0x05, 0x14, 0x03}));
    EXPECT_EQ(batch[1], image.mid(0, 512));
    EXPECT_EQ(batch[2], image.mid(512, 512));
    EXPECT_EQ(batch[3], image.mid(1024));
    EXPECT_EQ(Protocol::padded(batch[3], 512).size(), 512);
    EXPECT_EQ(Protocol::padded(batch[3], 512).mid(276), QByteArray(236, '\0'));
    EXPECT_EQ(batch[4], Protocol::stp());

    // Only the low 16 bits of a size travel.
    EXPECT_EQ(Protocol::bat(0x12345, 1).mid(10, 3), bytes({0x23, 0x45, 1}));
}

TEST(Protocol, ExactPacketImageHasOneUnpaddedSlice) {
    const QByteArray image(1024, 'x');
    const QList<QByteArray> batch = Protocol::imageBatch({{0, image}}, 1024);
    ASSERT_EQ(batch.size(), 3);
    EXPECT_EQ(batch[1], image);
    EXPECT_EQ(Protocol::padded(batch[1], 1024), image);
}

TEST(Protocol, BatchOrdersKeysAndClearsBlanks) {
    const QList<QByteArray> batch =
        Protocol::imageBatch({{4, QByteArray("jpeg")}, {1, std::nullopt}, {3, QByteArray()}}, 512);
    ASSERT_EQ(batch.size(), 5);
    EXPECT_EQ(batch[0], Protocol::cleKey(2));
    EXPECT_EQ(batch[1], Protocol::cleKey(4));
    EXPECT_EQ(batch[2], Protocol::bat(4, 5));
    EXPECT_EQ(batch[3], QByteArray("jpeg"));
    EXPECT_EQ(batch[4], Protocol::stp());
    EXPECT_TRUE(Protocol::imageBatch({}, 512).isEmpty());
}

TEST(Protocol, DecodeReleaseRuleDependsOnModel) {
    const QByteArray release = report("ACK", 0x03, 0);
    EXPECT_FALSE(decode(release, kV3));
    EXPECT_EQ(decode(release, kOld), DockEvent::key(2));
    EXPECT_EQ(decode(release, std::nullopt), DockEvent::key(2));
    EXPECT_EQ(decode(report("ACK", 0x03, 1), kV3), DockEvent::key(2));
    // Turns count whatever the state byte says.
    EXPECT_EQ(decode(report("ACK", 0x60, 0), kV3), DockEvent::knobTurn(2, -1));
    EXPECT_FALSE(decode(report("ACK", 0x35, 0), kV3));
    EXPECT_EQ(decode(report("ACK", 0x35, 0), kOld), DockEvent::knobPress(1));
}

TEST(Protocol, DecodeEveryCode) {
    const std::vector<std::pair<int, DockEvent>> table = {
        {0x01, DockEvent::key(0)},          {0x06, DockEvent::key(5)},
        {0x25, DockEvent::key(6)},          {0x30, DockEvent::key(7)},
        {0x31, DockEvent::key(8)},          {0x33, DockEvent::knobPress(0)},
        {0x35, DockEvent::knobPress(1)},    {0x34, DockEvent::knobPress(2)},
        {0x90, DockEvent::knobTurn(0, -1)}, {0x91, DockEvent::knobTurn(0, 1)},
        {0x50, DockEvent::knobTurn(1, -1)}, {0x51, DockEvent::knobTurn(1, 1)},
        {0x60, DockEvent::knobTurn(2, -1)}, {0x61, DockEvent::knobTurn(2, 1)},
    };
    for (const auto& [code, event] : table)
        EXPECT_EQ(decode(report("ACK", code, 1), kV3), event) << code;
    for (int code : {0x00, 0x07, 0x24, 0x32, 0x36, 0x92, 0xFF})
        EXPECT_FALSE(decode(report("ACK", code, 1), kOld)) << code;
}

TEST(Protocol, DecodeMarkerPlacementAndLength) {
    EXPECT_EQ(decode(report("ACK", 0x91, 1, 1), kOld), DockEvent::knobTurn(0, 1));
    EXPECT_FALSE(decode(report("ACX", 0x91, 1), kOld));
    EXPECT_FALSE(decode(report("ACK", 0x91, 1, 2), kOld));

    QByteArray tenBytes = report("ACK", 0x01, 1).left(10);
    EXPECT_FALSE(decode(tenBytes, kOld));
    QByteArray elevenBytes = report("ACK", 0x01, 1).left(11);
    EXPECT_EQ(decode(elevenBytes, kOld), DockEvent::key(0));
    // With a lead byte the report must be longer than 11 bytes.
    EXPECT_FALSE(decode(report("ACK", 0x01, 1, 1).left(11), kOld));
    EXPECT_FALSE(decode(QByteArray("ACK"), kOld));
    EXPECT_FALSE(decode(QByteArray("AC"), kOld));
    EXPECT_FALSE(Protocol::decodeInput(nullptr, 0, kOld));
}

TEST(Protocol, DecodeLooksOnlyAtFirst1024Bytes) {
    QByteArray lead(1030, '\0');
    lead.replace(0, 3, "ACK");
    lead[9] = 0x02;
    EXPECT_EQ(decode(lead, kOld), DockEvent::key(1));
}
