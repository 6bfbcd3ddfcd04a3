#include "device/DeviceModel.h"

#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>

#include <gtest/gtest.h>

using namespace velloq;

namespace {

QString sourcePath(const char* relative) {
    return QStringLiteral(VELLOQ_SOURCE_DIR "/") + QString::fromLatin1(relative);
}

// The rule lines, without comments and blank lines.
QStringList ruleLines() {
    QFile file(sourcePath("packaging/udev/70-velloq.rules"));
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return {};
    QStringList lines;
    const QStringList all = QString::fromUtf8(file.readAll()).split(QLatin1Char('\n'));
    for (const QString& raw : all) {
        const QString line = raw.trimmed();
        if (!line.isEmpty() && !line.startsWith(QLatin1Char('#')))
            lines.append(line);
    }
    return lines;
}

QString match(const QString& line, const QString& key) {
    const QRegularExpression re(QRegularExpression::escape(key) + QStringLiteral("==\"([^\"]*)\""));
    return re.match(line).captured(1);
}

} // namespace

TEST(UdevRule, GrantsEveryModelOfTheTable) {
    const QStringList lines = ruleLines();
    ASSERT_FALSE(lines.isEmpty());
    QSet<QString> covered;
    for (const QString& line : lines) {
        if (match(line, QStringLiteral("KERNEL")) != QStringLiteral("hidraw*"))
            continue;
        EXPECT_TRUE(line.contains(QStringLiteral("TAG+=\"uaccess\""))) << line.toStdString();
        const QString vendor = match(line, QStringLiteral("ATTRS{idVendor}"));
        const QString product = match(line, QStringLiteral("ATTRS{idProduct}"));
        // sysfs spells the ids as four lowercase hex digits.
        EXPECT_TRUE(QRegularExpression(QStringLiteral("^[0-9a-f]{4}$")).match(vendor).hasMatch())
            << line.toStdString();
        EXPECT_TRUE(QRegularExpression(QStringLiteral("^[0-9a-f]{4}$")).match(product).hasMatch())
            << line.toStdString();
        covered.insert(vendor + QLatin1Char(':') + product);
    }
    QSet<QString> expected;
    for (const DockModel& model : DockModels::table())
        expected.insert(
            QString::asprintf("%04x:%04x", unsigned(model.vendorID), unsigned(model.productID)));
    EXPECT_EQ(expected.size(), 14);
    for (const QString& id : expected)
        EXPECT_TRUE(covered.contains(id)) << "missing " << id.toStdString();
    for (const QString& id : covered)
        EXPECT_TRUE(expected.contains(id)) << "not in the model table: " << id.toStdString();
}

TEST(UdevRule, GrantsUinputAndLoadsItsModule) {
    bool uinput = false;
    for (const QString& line : ruleLines()) {
        if (match(line, QStringLiteral("KERNEL")) == QStringLiteral("uinput")) {
            uinput = line.contains(QStringLiteral("TAG+=\"uaccess\"")) &&
                     line.contains(QStringLiteral("OPTIONS+=\"static_node=uinput\""));
        }
    }
    EXPECT_TRUE(uinput);

    QFile modules(sourcePath("packaging/modules-load.d/velloq-uinput.conf"));
    ASSERT_TRUE(modules.open(QIODevice::ReadOnly | QIODevice::Text));
    EXPECT_TRUE(QString::fromUtf8(modules.readAll())
                    .split(QLatin1Char('\n'))
                    .contains(QStringLiteral("uinput")));
}

// External monitors' brightness (DDC/CI) needs the display adapters' I2C buses, and only those.
TEST(UdevRule, GrantsTheDisplayI2cBusesAndLoadsI2cDev) {
    bool i2c = false;
    for (const QString& line : ruleLines()) {
        if (match(line, QStringLiteral("SUBSYSTEM")) == QStringLiteral("i2c-dev")) {
            i2c = line.contains(QStringLiteral("TAG+=\"uaccess\"")) &&
                  match(line, QStringLiteral("ATTRS{class}")).startsWith(QStringLiteral("0x03"));
        }
    }
    EXPECT_TRUE(i2c);

    QFile modules(sourcePath("packaging/modules-load.d/velloq-i2c.conf"));
    ASSERT_TRUE(modules.open(QIODevice::ReadOnly | QIODevice::Text));
    EXPECT_TRUE(QString::fromUtf8(modules.readAll())
                    .split(QLatin1Char('\n'))
                    .contains(QStringLiteral("i2c-dev")));
}

TEST(UdevRule, SortsBeforeTheSeatRulesThatApplyUaccess) {
    // 73-seat-late.rules turns the uaccess tag into an ACL; a later rule would be too late.
    const QString name = QFileInfo(sourcePath("packaging/udev/70-velloq.rules")).fileName();
    EXPECT_LT(name.left(2).toInt(), 73);
}
