#include "system/BacklightBrightness.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <vector>

using namespace velloq;

namespace {

class BacklightTree {
public:
    void add(const QString& name, const QString& type, int max, int brightness) {
        QDir(dir_.path()).mkpath(name);
        write(name, QStringLiteral("type"), type + u'\n');
        write(name, QStringLiteral("max_brightness"), QString::number(max) + u'\n');
        write(name, QStringLiteral("brightness"), QString::number(brightness) + u'\n');
    }
    void write(const QString& name, const QString& file, const QString& text) {
        QFile f(dir_.filePath(name + u'/' + file));
        ASSERT_TRUE(f.open(QIODevice::WriteOnly | QIODevice::Truncate));
        f.write(text.toUtf8());
    }
    QString read(const QString& name, const QString& file) const {
        QFile f(dir_.filePath(name + u'/' + file));
        return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()).trimmed() : QString();
    }
    QString root() const { return dir_.path(); }

private:
    QTemporaryDir dir_;
};

struct SessionCall {
    QString device;
    uint32_t raw;
};

} // namespace

TEST(BacklightBrightness, ChoosesByTypeThenName) {
    BacklightTree tree;
    tree.add(QStringLiteral("intel_backlight"), QStringLiteral("raw"), 1000, 400);
    tree.add(QStringLiteral("zz_platform"), QStringLiteral("platform"), 10, 5);
    tree.add(QStringLiteral("b_firmware"), QStringLiteral("firmware"), 15, 3);
    tree.add(QStringLiteral("a_firmware"), QStringLiteral("firmware"), 0, 0); // unusable
    BacklightBrightness brightness(tree.root(), {});
    EXPECT_EQ(brightness.chosenDevice(), u"b_firmware");
    EXPECT_FLOAT_EQ(*brightness.brightness(), 3.0f / 15.0f);

    tree.write(QStringLiteral("b_firmware"), QStringLiteral("type"), QStringLiteral("other"));
    EXPECT_EQ(brightness.chosenDevice(), u"zz_platform"); // chosen anew on every call
    EXPECT_FLOAT_EQ(*brightness.brightness(), 0.5f);

    tree.write(QStringLiteral("zz_platform"), QStringLiteral("type"), QStringLiteral("other"));
    EXPECT_EQ(brightness.chosenDevice(), u"intel_backlight");
    EXPECT_FLOAT_EQ(*brightness.brightness(), 0.4f);
}

TEST(BacklightBrightness, WritesThroughTheSessionElseSysfs) {
    BacklightTree tree;
    tree.add(QStringLiteral("intel_backlight"), QStringLiteral("raw"), 1000, 400);
    std::vector<SessionCall> calls;
    bool sessionWorks = true;
    BacklightBrightness brightness(tree.root(), [&](const QString& device, uint32_t raw) {
        calls.push_back({device, raw});
        return sessionWorks;
    });
    EXPECT_TRUE(brightness.canRead());
    EXPECT_TRUE(brightness.canWrite());

    EXPECT_TRUE(brightness.setBrightness(0.25f));
    ASSERT_EQ(calls.size(), 1u);
    EXPECT_EQ(calls[0].device, u"intel_backlight");
    EXPECT_EQ(calls[0].raw, 250u);
    EXPECT_EQ(tree.read(QStringLiteral("intel_backlight"), QStringLiteral("brightness")), u"400");

    sessionWorks = false;
    EXPECT_TRUE(brightness.setBrightness(0.7f));
    EXPECT_EQ(tree.read(QStringLiteral("intel_backlight"), QStringLiteral("brightness")), u"700");
    EXPECT_FLOAT_EQ(*brightness.brightness(), 0.7f);

    EXPECT_TRUE(brightness.setBrightness(1.3f));
    EXPECT_EQ(tree.read(QStringLiteral("intel_backlight"), QStringLiteral("brightness")), u"1000");
    EXPECT_TRUE(brightness.setBrightness(-0.2f));
    EXPECT_EQ(tree.read(QStringLiteral("intel_backlight"), QStringLiteral("brightness")), u"0");
    EXPECT_EQ(calls.back().raw, 0u);
}

TEST(BacklightBrightness, AbsentWithoutBacklight) {
    QTemporaryDir empty;
    int sessionCalls = 0;
    for (const QString& root : {empty.path(), empty.filePath(QStringLiteral("missing"))}) {
        BacklightBrightness brightness(root, [&](const QString&, uint32_t) {
            ++sessionCalls;
            return true;
        });
        EXPECT_FALSE(brightness.canRead());
        EXPECT_FALSE(brightness.canWrite());
        EXPECT_FALSE(brightness.brightness());
        EXPECT_FALSE(brightness.setBrightness(0.5f));
        EXPECT_TRUE(brightness.chosenDevice().isEmpty());
    }
    EXPECT_EQ(sessionCalls, 0);

    BacklightTree tree; // a device whose value cannot be read
    tree.add(QStringLiteral("acpi_video0"), QStringLiteral("firmware"), 10, 1);
    tree.write(QStringLiteral("acpi_video0"), QStringLiteral("brightness"), QStringLiteral("x"));
    BacklightBrightness garbled(tree.root(), {});
    EXPECT_FALSE(garbled.brightness());
    EXPECT_FALSE(garbled.canRead());
}

TEST(BacklightBrightness, EveryKnobStepMovesACoarseBacklightByAtLeastOneUnit) {
    BacklightTree tree;
    tree.add(QStringLiteral("acpi_video0"), QStringLiteral("firmware"), 15, 7);
    BacklightBrightness brightness(tree.root(), {});
    auto raw = [&] {
        return tree.read(QStringLiteral("acpi_video0"), QStringLiteral("brightness"));
    };

    EXPECT_FLOAT_EQ(*brightness.stepBrightness(0.03f), 8.0f / 15.0f); // 3 % is under half a unit
    EXPECT_EQ(raw(), u"8");
    EXPECT_FLOAT_EQ(*brightness.stepBrightness(-0.03f), 7.0f / 15.0f);
    EXPECT_EQ(raw(), u"7");
    EXPECT_FLOAT_EQ(*brightness.stepBrightness(0.4f), 13.0f / 15.0f); // large steps as computed

    tree.write(QStringLiteral("acpi_video0"), QStringLiteral("brightness"), QStringLiteral("15"));
    EXPECT_FLOAT_EQ(*brightness.stepBrightness(0.03f), 1.0f); // the end of the range holds
    EXPECT_EQ(raw(), u"15");
    tree.write(QStringLiteral("acpi_video0"), QStringLiteral("brightness"), QStringLiteral("0"));
    EXPECT_FLOAT_EQ(*brightness.stepBrightness(-0.03f), 0.0f);
    EXPECT_EQ(raw(), u"0");

    tree.write(QStringLiteral("acpi_video0"), QStringLiteral("brightness"), QStringLiteral("x"));
    EXPECT_FALSE(brightness.stepBrightness(0.03f)); // unreadable: nothing written
}
