// External monitors over DDC/CI: the logic against a stand-in bus, and libddcutil for real
// where there is nothing to find.
#include "system/MonitorBrightness.h"

#include <QDir>

#include <gtest/gtest.h>

#include <atomic>
#include <future>
#include <thread>
#include <vector>

using namespace velloq;

namespace {

class FakeBus final : public MonitorBus {
public:
    explicit FakeBus(std::vector<Level> monitors)
        : monitors_(std::move(monitors)) {}

    int detect() override {
        ++detections;
        detectedOn = std::this_thread::get_id();
        release.wait();
        return int(monitors_.size());
    }
    std::optional<Level> brightness(int monitor) override {
        if (size_t(monitor) == silent)
            return std::nullopt;
        return monitors_.at(size_t(monitor));
    }
    bool setBrightness(int monitor, uint16_t value) override {
        monitors_.at(size_t(monitor)).current = value;
        return true;
    }
    uint16_t level(size_t monitor) const { return monitors_.at(monitor).current; }

    std::atomic<int> detections = 0;
    std::thread::id detectedOn;
    std::shared_future<void> release;
    size_t silent = size_t(-1);

private:
    std::vector<Level> monitors_;
};

} // namespace

TEST(MonitorBrightness, AllMonitorsMoveTogetherEachInItsOwnRange) {
    std::promise<void> go;
    auto bus = std::make_unique<FakeBus>(std::vector<MonitorBus::Level>{{40, 100}, {10, 50}});
    FakeBus& fake = *bus;
    fake.release = go.get_future().share();
    MonitorBrightness monitors(std::move(bus)); // returns while the slow search goes on
    go.set_value();

    ASSERT_TRUE(monitors.canRead());
    EXPECT_NE(fake.detectedOn, std::this_thread::get_id());
    EXPECT_FLOAT_EQ(*monitors.brightness(), 0.4F);
    EXPECT_FLOAT_EQ(*monitors.stepBrightness(0.03F), 0.43F);
    EXPECT_EQ(fake.level(0), 43);
    EXPECT_EQ(fake.level(1), 22); // 0.43 of 50, rounded

    // A monitor that stops answering leaves the level to the next one.
    fake.silent = 0;
    EXPECT_FLOAT_EQ(*monitors.brightness(), 0.44F);
    EXPECT_TRUE(monitors.setBrightness(1.5F));
    EXPECT_EQ(fake.level(1), 50);
    EXPECT_EQ(fake.detections, 1);
}

TEST(MonitorBrightness, NoMonitorMeansNothingToAdjust) {
    std::promise<void> go;
    go.set_value();
    auto bus = std::make_unique<FakeBus>(std::vector<MonitorBus::Level>{});
    FakeBus& fake = *bus;
    fake.release = go.get_future().share();
    MonitorBrightness monitors(std::move(bus));
    EXPECT_FALSE(monitors.canRead());
    EXPECT_FALSE(monitors.brightness());
    EXPECT_FALSE(monitors.stepBrightness(0.03F));
    EXPECT_FALSE(monitors.setBrightness(0.5F));
    EXPECT_EQ(fake.detections, 1); // not searched again on every step
}

TEST(MonitorBrightness, LibddcutilFindsNothingWithoutDisplayBuses) {
    if (!QDir(QStringLiteral("/dev")).entryList({QStringLiteral("i2c-*")}, QDir::System).isEmpty())
        GTEST_SKIP() << "this machine has I2C buses; monitors may answer";
    std::unique_ptr<MonitorBus> bus = makeDdcutilBus();
    EXPECT_EQ(bus->detect(), 0);
    EXPECT_FALSE(bus->brightness(0));
    EXPECT_FALSE(bus->setBrightness(0, 50));
    MonitorBrightness monitors(makeDdcutilBus());
    EXPECT_FALSE(monitors.canRead());
}
