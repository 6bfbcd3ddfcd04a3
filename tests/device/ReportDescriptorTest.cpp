#include "device/ReportDescriptor.h"
#include "device/DeviceModel.h"
#include "device/HidrawDiscovery.h"

#include <gtest/gtest.h>

#include <vector>

using namespace velloq;

namespace {

using Bytes = std::vector<uint8_t>;

std::optional<ReportDescriptor> parse(const Bytes& bytes) {
    return ReportDescriptor::parse({bytes.data(), bytes.size()});
}

QByteArray toQByteArray(const Bytes& bytes) {
    return QByteArray(reinterpret_cast<const char*>(bytes.data()), qsizetype(bytes.size()));
}

// The dock's vendor interface: 512-byte input, `outputBytes`-byte output report.
Bytes dockDescriptor(uint16_t outputBytes) {
    return {
        0x06,
        0xA0,
        0xFF, // Usage Page (0xFFA0)
        0x09,
        0x01, // Usage (1)
        0xA1,
        0x01, // Collection (Application)
        0x09,
        0x02, //   Usage (2)
        0x15,
        0x00, //   Logical Minimum (0)
        0x26,
        0xFF,
        0x00, //   Logical Maximum (255)
        0x75,
        0x08, //   Report Size (8)
        0x96,
        0x00,
        0x02, //   Report Count (512)
        0x81,
        0x02, //   Input (Data, Var, Abs)
        0x09,
        0x03, //   Usage (3)
        0x75,
        0x08, //   Report Size (8)
        0x96,
        uint8_t(outputBytes & 0xFF),
        uint8_t(outputBytes >> 8), // Report Count
        0x91,
        0x02, //   Output (Data, Var, Abs)
        0xC0, // End Collection
    };
}

// A boot keyboard: the dock's second interface, which must never match.
const Bytes kKeyboard = {
    0x05, 0x01, 0x09, 0x06, 0xA1, 0x01, // Generic Desktop, Keyboard, Application
    0x05, 0x07, 0x19, 0xE0, 0x29, 0xE7, //   modifiers
    0x15, 0x00, 0x25, 0x01, 0x75, 0x01, 0x95, 0x08, 0x81, 0x02, 0x95, 0x01,
    0x75, 0x08, 0x81, 0x01,                                                 //   reserved byte
    0x95, 0x05, 0x75, 0x01, 0x05, 0x08, 0x19, 0x01, 0x29, 0x05, 0x91, 0x02, // 5 LEDs
    0x95, 0x01, 0x75, 0x03, 0x91, 0x01,                                     //   LED padding
    0x95, 0x06, 0x75, 0x08, 0x15, 0x00, 0x25, 0x65, 0x05, 0x07, 0x19, 0x00,
    0x29, 0x65, 0x81, 0x00, //   key array
    0xC0,
};

} // namespace

TEST(ReportDescriptor, FindsTheDockInterfaceAndItsOutputReportSize) {
    for (uint16_t size : {uint16_t(512), uint16_t(1024)}) {
        const auto parsed = parse(dockDescriptor(size));
        ASSERT_TRUE(parsed);
        EXPECT_EQ(parsed->applications, (std::vector<ReportDescriptor::Application>{{0xFFA0, 1}}));
        EXPECT_TRUE(parsed->hasApplication(DockModels::kUsagePage, DockModels::kUsage));
        EXPECT_EQ(parsed->maxOutputReportSize, size);
    }
}

TEST(ReportDescriptor, AKeyboardInterfaceDoesNotMatch) {
    const auto parsed = parse(kKeyboard);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->applications, (std::vector<ReportDescriptor::Application>{{0x01, 0x06}}));
    EXPECT_FALSE(parsed->hasApplication(DockModels::kUsagePage, DockModels::kUsage));
    EXPECT_EQ(parsed->maxOutputReportSize, 1); // 5 LED bits + 3 padding bits
}

TEST(ReportDescriptor, SumsOutputPerReportIdAndKeepsTheLargest) {
    const Bytes bytes = {
        0x05, 0x0C, 0x09, 0x01, 0xA1, 0x01,             // Consumer Control
        0x85, 0x01, 0x75, 0x08, 0x95, 0x04, 0x91, 0x02, //   id 1: 4 bytes
        0x95, 0x04, 0x91, 0x02,                         //   id 1: 4 more
        0x85, 0x02, 0x95, 0x06, 0x91, 0x02,             //   id 2: 6 bytes
        0x85, 0x03, 0x95, 0x40, 0x81, 0x02,             //   id 3: input only
        0xB1, 0x02,                                     //   and feature
        0xC0,
    };
    const auto parsed = parse(bytes);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->maxOutputReportSize, 8);
}

TEST(ReportDescriptor, PushAndPopRestoreTheGlobalState) {
    const Bytes bytes = {
        0x06, 0xA0, 0xFF, 0x09, 0x01, 0xA1, 0x01, 0x75, 0x08, 0x95, 0x02, // 8 x 2
        0xA4,                                                             // Push
        0x75, 0x10, 0x95, 0x04,                                           //   16 x 4
        0x91, 0x02,                                                       //   Output: 8 bytes
        0xB4,                                                             // Pop
        0x91, 0x02, // Output: 2 bytes, same report
        0xC0,
    };
    const auto parsed = parse(bytes);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->maxOutputReportSize, 10);
}

TEST(ReportDescriptor, ReadsExtendedUsagesLongItemsAndOnlyTopLevelApplications) {
    const Bytes bytes = {
        0xFE, 0x02, 0x10, 0xAA, 0xBB,                   // long item, skipped
        0x0B, 0x01, 0x00, 0xA0, 0xFF,                   // Usage (0xFFA0:0001), page in the item
        0xA1, 0x01,                                     // Collection (Application)
        0x05, 0x01, 0x09, 0x06, 0xA1, 0x01,             //   nested application: not top level
        0xC0, 0x09, 0x05, 0xA1, 0x02,                   //   logical collection
        0xC0, 0xC0, 0x05, 0x01, 0x09, 0x02, 0xA1, 0x01, // Mouse
        0xC0,
    };
    const auto parsed = parse(bytes);
    ASSERT_TRUE(parsed);
    EXPECT_EQ(parsed->applications,
              (std::vector<ReportDescriptor::Application>{{0xFFA0, 1}, {0x01, 0x02}}));
    EXPECT_EQ(parsed->maxOutputReportSize, 0);
}

TEST(ReportDescriptor, RejectsMalformedDescriptors) {
    EXPECT_FALSE(parse({0x06, 0xA0}));                         // truncated item
    EXPECT_FALSE(parse({0xFE, 0x05, 0x10, 0x01}));             // truncated long item
    EXPECT_FALSE(parse({0xB4}));                               // Pop without Push
    EXPECT_FALSE(parse({0xC0}));                               // End without Collection
    EXPECT_FALSE(parse({0x05, 0x01, 0x09, 0x06, 0xA1, 0x01})); // unclosed collection
    EXPECT_FALSE(parse(Bytes(65, 0xA4)));                      // Push nesting beyond reason
    const auto empty = parse({});
    ASSERT_TRUE(empty);
    EXPECT_TRUE(empty->applications.empty());
}

TEST(ReportDescriptor, HugeReportCountsDoNotOverflow) {
    const Bytes bytes = {0x05, 0x01, 0x09, 0x06, 0xA1, 0x01, 0x77, 0xFF, 0xFF, 0xFF, 0xFF,
                         0x97, 0xFF, 0xFF, 0xFF, 0xFF, 0x91, 0x02, 0x91, 0x02, 0xC0};
    const auto parsed = parse(bytes);
    ASSERT_TRUE(parsed);
    EXPECT_GT(parsed->maxOutputReportSize, 0);
}

// --- What a hidraw node is reported as ---

TEST(HidrawDescribe, ReadsIdsAndTheDockInterface) {
    const HidDeviceInfo info = HidrawDiscovery::describe(
        QStringLiteral("/dev/hidraw4"), "0003:00000300:00001002", QStringLiteral("HOTSPOTEKUSB"),
        toQByteArray(dockDescriptor(512)));
    EXPECT_EQ(info.node, QStringLiteral("/dev/hidraw4"));
    EXPECT_EQ(info.name, QStringLiteral("HOTSPOTEKUSB"));
    EXPECT_EQ(info.vendorID, 0x0300);
    EXPECT_EQ(info.productID, 0x1002);
    EXPECT_EQ(info.usagePage, 0xFFA0);
    EXPECT_EQ(info.usage, 1);
    EXPECT_EQ(info.maxOutputReportSize, 512);
}

TEST(HidrawDescribe, PrefersTheDockCollectionOfACompositeDescriptor) {
    const QByteArray mouse("\x05\x01\x09\x02\xA1\x01\xC0", 7);
    const QByteArray both = mouse + toQByteArray(dockDescriptor(1024));
    const HidDeviceInfo info = HidrawDiscovery::describe(QStringLiteral("/dev/hidraw0"),
                                                         "0003:00006603:00001003", {}, both);
    EXPECT_EQ(info.usagePage, 0xFFA0);
    EXPECT_EQ(info.usage, 1);
    EXPECT_EQ(info.maxOutputReportSize, 1024);

    const HidDeviceInfo keyboard = HidrawDiscovery::describe(
        QStringLiteral("/dev/hidraw1"), "0003:00006603:00001003", {}, toQByteArray(kKeyboard));
    EXPECT_EQ(keyboard.usagePage, 0x01);
    EXPECT_EQ(keyboard.usage, 0x06);
}

TEST(HidrawDescribe, BadIdsAndDescriptorsLeaveFieldsUnknown) {
    for (const QByteArray& id :
         {QByteArray(""), QByteArray("0003:zz:1002"), QByteArray("0300:1002")}) {
        const HidDeviceInfo info = HidrawDiscovery::describe(QStringLiteral("/dev/hidraw2"), id, {},
                                                             toQByteArray(dockDescriptor(512)));
        EXPECT_EQ(info.vendorID, -1) << id.constData();
        EXPECT_EQ(info.productID, -1) << id.constData();
    }
    const HidDeviceInfo broken = HidrawDiscovery::describe(
        QStringLiteral("/dev/hidraw2"), "0003:00000300:00001002", {}, QByteArray("\x06\xA0", 2));
    EXPECT_EQ(broken.usagePage, 0);
    EXPECT_EQ(broken.maxOutputReportSize, -1);
}

TEST(HidrawDiscovery, OpenReportsTheReason) {
    HidrawDiscovery discovery;
    HidDeviceInfo info;
    info.node = QStringLiteral("/nonexistent/hidraw9");
    QString error;
    EXPECT_FALSE(discovery.open(info, &error));
    EXPECT_EQ(error, QStringLiteral("No such file or directory"));
}

TEST(HidrawDiscovery, StartsAgainstTheRealUdev) {
    // No dock is plugged in here; whatever udev offers must be described without trouble,
    // and a missing udev is a reported failure, not a crash.
    HidrawDiscovery discovery;
    int failures = 0;
    QObject::connect(&discovery, &DiscoverySource::discoveryFailed, &discovery,
                     [&](const QString&) { ++failures; });
    std::vector<HidDeviceInfo> seen;
    QObject::connect(&discovery, &DiscoverySource::deviceAttached, &discovery,
                     [&](const HidDeviceInfo& info) { seen.push_back(info); });
    discovery.start();
    discovery.start(); // a second start is harmless
    for (const HidDeviceInfo& info : seen)
        EXPECT_TRUE(info.node.startsWith(QStringLiteral("/dev/"))) << info.node.toStdString();
    EXPECT_LE(failures, 2);
}
