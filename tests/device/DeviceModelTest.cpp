#include "device/DeviceModel.h"

#include <gtest/gtest.h>

#include <set>

using namespace velloq;

TEST(DeviceModel, LookupDistinguishesGenerationsBySharedIds) {
    auto akp03e = DockModels::lookup(0x0300, 0x1002);
    ASSERT_TRUE(akp03e);
    EXPECT_EQ(akp03e->name, QStringLiteral("Ajazz AKP03E"));
    EXPECT_FALSE(akp03e->v3);

    auto rev2 = DockModels::lookup(0x0300, 0x3002);
    ASSERT_TRUE(rev2);
    EXPECT_EQ(rev2->name, QStringLiteral("Ajazz AKP03E (rev. 2)"));
    EXPECT_TRUE(rev2->v3);

    auto newer = DockModels::lookup(0x6603, 0x1002);
    auto older = DockModels::lookup(0x6602, 0x1002);
    ASSERT_TRUE(newer && older);
    EXPECT_EQ(newer->name, older->name);
    EXPECT_TRUE(newer->v3);
    EXPECT_FALSE(older->v3);

    EXPECT_FALSE(DockModels::lookup(0x0300, 0x2000));
    EXPECT_FALSE(DockModels::lookup(0, 0));
}

TEST(DeviceModel, TableHoldsFourteenDistinctIdentities) {
    std::set<std::pair<int64_t, int64_t>> ids;
    for (const DockModel& model : DockModels::table())
        ids.insert({model.vendorID, model.productID});
    EXPECT_EQ(DockModels::table().size(), 14u);
    EXPECT_EQ(ids.size(), 14u);
}

TEST(DeviceModel, DerivedGeometryAndRotation) {
    auto v3 = DockModels::lookup(0x1500, 0x3001);
    auto old = DockModels::lookup(0x0B00, 0x1001);
    ASSERT_TRUE(v3 && old);
    EXPECT_EQ(v3->imageEdge(), 64);
    EXPECT_EQ(v3->baseRotation(), 90);
    EXPECT_EQ(old->imageEdge(), 60);
    EXPECT_EQ(old->baseRotation(), 0);
    EXPECT_EQ(DockModels::imageEdge(std::nullopt), 60);

    EXPECT_EQ(DockModels::finalRotation(v3, 270), 0);
    EXPECT_EQ(DockModels::finalRotation(v3, 0), 90);
    EXPECT_EQ(DockModels::finalRotation(std::nullopt, 450), 90);
    // The remainder keeps the sign of the sum.
    EXPECT_EQ(DockModels::finalRotation(old, -90), -90);
    EXPECT_EQ(DockModels::finalRotation(v3, -450), -0);
    // Hand-edited extremes neither overflow nor lose the turn.
    EXPECT_EQ(DockModels::finalRotation(v3, INT64_MAX), 97);   // 2^63 - 1 = 7 mod 360
    EXPECT_EQ(DockModels::finalRotation(v3, INT64_MIN), -278); // -2^63 = -8 mod 360
    EXPECT_EQ(DockModels::finalRotation(v3, 3000000000), 210);
    EXPECT_EQ(DockModels::finalRotation(v3, -400), -310);
    EXPECT_EQ(DockModels::finalRotation(v3, -60), 30);
}
