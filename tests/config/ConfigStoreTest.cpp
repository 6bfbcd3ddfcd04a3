#include "config/ConfigStore.h"
#include "FreshDataDir.h"
#include "support/Log.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>

#include <gtest/gtest.h>

#include <sys/stat.h>

namespace velloq {
namespace {

using ConfigStoreTest = test::FreshDataDir;

QByteArray readAll(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

void writeAll(const QString& path, const QByteArray& bytes) {
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(bytes);
}

QStringList keptCopies(const QString& folder) {
    return QDir(folder).entryList({QStringLiteral("config.json.unreadable-*")}, QDir::Files);
}

TEST_F(ConfigStoreTest, SaveCreatesTheFolderAndLoadReadsItBack) {
    ConfigStore store;
    EXPECT_EQ(store.path(), DockConfig::fileURL());
    EXPECT_FALSE(QFileInfo::exists(store.path()));
    DockConfig loaded = store.load();
    EXPECT_EQ(loaded.keys, DockConfig().keys);
    EXPECT_FALSE(store.needsKeeping());

    loaded.keys[4] = ButtonAction::url(QStringLiteral("example.com"));
    LogCapture log;
    ASSERT_TRUE(store.save(loaded));
    EXPECT_TRUE(log.lines().isEmpty());
    EXPECT_EQ(readAll(store.path()), *loaded.encoded());

    ConfigStore again;
    const DockConfig back = again.load();
    EXPECT_EQ(back, loaded); // the example snippet's id reads back unchanged
    EXPECT_FALSE(again.needsKeeping());
    ASSERT_TRUE(again.save(back));
    // Only the file itself: no temporary files and no kept copy of a good file.
    EXPECT_EQ(QDir(QFileInfo(store.path()).absolutePath()).entryList(QDir::Files | QDir::Hidden),
              QStringList{QStringLiteral("config.json")});
}

TEST_F(ConfigStoreTest, SaveIntoAnUnwritableFolderLogsAndFails) {
    const QString blocker = path() + QStringLiteral("/plain-file");
    writeAll(blocker, "x");
    DockConfig config;
    config.dockBrightness = 20;
    const DockConfig before = config;

    LogCapture log;
    EXPECT_FALSE(config.save(blocker + QStringLiteral("/Velloq/config.json")));
    ASSERT_EQ(log.lines().size(), 1);
    EXPECT_TRUE(log.lines()[0].startsWith(QStringLiteral("Could not save config: ")))
        << log.lines()[0].toStdString();
    EXPECT_EQ(config, before);

    // The same through the store, and again on the next try.
    ConfigStore store(blocker + QStringLiteral("/config.json"));
    EXPECT_FALSE(store.save(config));
    EXPECT_FALSE(store.save(config));
    EXPECT_EQ(log.count(QStringLiteral("Could not save config: ")), 3);
    EXPECT_EQ(readAll(blocker), QByteArray("x"));
}

TEST_F(ConfigStoreTest, ABrokenFileIsKeptBeforeTheFirstSave) {
    ConfigStore store;
    const QString folder = QFileInfo(store.path()).absolutePath();
    const QByteArray broken = "{\"keys\": [ this is not json";
    writeAll(store.path(), broken);

    DockConfig config = store.load();
    EXPECT_EQ(config.keys, DockConfig().keys);
    EXPECT_TRUE(store.needsKeeping());
    EXPECT_EQ(readAll(store.path()), broken); // loading writes nothing
    EXPECT_TRUE(keptCopies(folder).isEmpty());

    config.showHUD = false;
    LogCapture log;
    ASSERT_TRUE(store.save(config));
    const QStringList kept = keptCopies(folder);
    ASSERT_EQ(kept.size(), 1);
    EXPECT_TRUE(QRegularExpression(QStringLiteral("^config\\.json\\.unreadable-\\d{8}-\\d{6}$"))
                    .match(kept[0])
                    .hasMatch())
        << kept[0].toStdString();
    EXPECT_EQ(readAll(folder + QLatin1Char('/') + kept[0]), broken);
    EXPECT_EQ(store.keptCopy(), folder + QLatin1Char('/') + kept[0]);
    ASSERT_EQ(log.lines().size(), 1);
    EXPECT_TRUE(log.lines()[0].contains(folder + QLatin1Char('/') + kept[0]));
    EXPECT_EQ(DockConfig::decode(readAll(store.path())), config);

    // Once is enough: later saves only replace the file.
    config.showHUD = true;
    ASSERT_TRUE(store.save(config));
    EXPECT_EQ(keptCopies(folder).size(), 1);
    EXPECT_EQ(log.lines().size(), 1);
}

TEST_F(ConfigStoreTest, APartlyBrokenFileIsKeptButLoadsWhatItCan) {
    ConfigStore store;
    const QString folder = QFileInfo(store.path()).absolutePath();
    const QByteArray partly =
        R"({"keys":[{"function":{"_0":"sleep"}}],"dockBrightness":33,"futureSetting":1})";
    writeAll(store.path(), partly);
    DockConfig config = store.load();
    EXPECT_EQ(config.dockBrightness, 33);
    EXPECT_EQ(config.keys, DockConfig().keys);
    EXPECT_TRUE(store.needsKeeping());
    ASSERT_TRUE(store.save(config));
    const QStringList kept = keptCopies(folder);
    ASSERT_EQ(kept.size(), 1);
    EXPECT_EQ(readAll(folder + QLatin1Char('/') + kept[0]), partly);
}

TEST_F(ConfigStoreTest, AnEmptyOrHandPaddedFileNeedsNoCopy) {
    ConfigStore store;
    writeAll(store.path(), "  \n");
    store.load();
    EXPECT_FALSE(store.needsKeeping());
    writeAll(store.path(), R"({"showHUD":null,"knobs":["volume"]})");
    EXPECT_EQ(store.load().knobs.size(), 3);
    EXPECT_FALSE(store.needsKeeping());
}

TEST_F(ConfigStoreTest, WhatCannotBeReadOrLinkedIsMovedAsideAndReplaced) {
    // A folder where the file should be cannot be read or hard-linked, like a file of
    // another user under protected_hardlinks; it is moved aside, and saving goes on.
    ConfigStore store;
    const QString folder = QFileInfo(store.path()).absolutePath();
    QDir().mkpath(store.path() + QStringLiteral("/inside"));
    DockConfig config = store.load();
    EXPECT_TRUE(store.needsKeeping());
    config.knobStep = 4;
    LogCapture log;
    ASSERT_TRUE(store.save(config));
    EXPECT_EQ(DockConfig::decode(readAll(store.path())), config);
    ASSERT_TRUE(store.keptCopy());
    EXPECT_TRUE(QFileInfo::exists(*store.keptCopy() + QStringLiteral("/inside")));
    EXPECT_EQ(log.count(QStringLiteral("Kept the config file that could not be read as ")), 1);
    EXPECT_EQ(log.count(QStringLiteral("Could not save config: ")), 0);
}

TEST_F(ConfigStoreTest, ANamedPipeIsNotReadButMovedAside) {
    ConfigStore store;
    QDir().mkpath(QFileInfo(store.path()).absolutePath());
    ASSERT_EQ(::mkfifo(QFile::encodeName(store.path()).constData(), 0600), 0);
    LogCapture log;
    DockConfig config = store.load(); // would block for good if it opened the pipe
    EXPECT_EQ(config.keys, DockConfig().keys);
    EXPECT_EQ(log.count(QStringLiteral("Could not open ") + store.path() +
                        QStringLiteral(": not a regular file")),
              1);
    config.showHUD = false;
    ASSERT_TRUE(store.save(config));
    EXPECT_TRUE(QFileInfo(store.path()).isFile());
    EXPECT_EQ(DockConfig::decode(readAll(store.path())), config);
}

TEST_F(ConfigStoreTest, WhenNoCopyCanBeKeptTheLogSaysSo) {
    // A damaged file in a folder where nobody, not even root, can create a file.
    ConfigStore store(QStringLiteral("/proc/self/status"));
    store.load();
    ASSERT_TRUE(store.needsKeeping());
    LogCapture log;
    EXPECT_FALSE(store.save(DockConfig()));
    ASSERT_EQ(log.lines().size(), 1);
    EXPECT_TRUE(log.lines()[0].startsWith(
        QStringLiteral("Could not save config: Cannot keep a copy of /proc/self/status as ")))
        << log.lines()[0].toStdString();
    EXPECT_TRUE(store.needsKeeping()); // tried again on the next save
}

TEST_F(ConfigStoreTest, BackgroundSavesLandInOrderAndTheLastOneWins) {
    DockConfig config;
    {
        ConfigStore store;
        for (int step = 0; step <= 100; ++step) {
            config.dockBrightness = step;
            store.saveInBackground(config);
        }
        store.flush();
        EXPECT_EQ(DockConfig::decode(readAll(store.path())), config);
        config.knobStep = 8;
        store.saveInBackground(config);
    } // destruction writes what is waiting
    EXPECT_EQ(DockConfig::decode(readAll(DockConfig::fileURL())), config);

    // Failures are logged from the writer as from a direct save.
    const QString blocker = path() + QStringLiteral("/plain-file");
    writeAll(blocker, "x");
    ConfigStore blocked(blocker + QStringLiteral("/config.json"));
    LogCapture log;
    blocked.saveInBackground(config);
    blocked.flush();
    EXPECT_EQ(log.count(QStringLiteral("Could not save config: ")), 1);
}

TEST_F(ConfigStoreTest, ASymlinkedFileIsWrittenThrough) {
    ConfigStore store;
    const QString target = path() + QStringLiteral("/dotfiles/velloq.json");
    writeAll(target, "{}");
    QDir().mkpath(QFileInfo(store.path()).absolutePath());
    ASSERT_TRUE(QFile::link(target, store.path()));
    DockConfig config = store.load();
    config.knobStep = 9;
    ASSERT_TRUE(store.save(config));
    EXPECT_TRUE(QFileInfo(store.path()).isSymLink());
    EXPECT_EQ(DockConfig::decode(readAll(target)), config);

    // A broken file behind the link is kept as a file of its own.
    writeAll(target, "{broken");
    store.load();
    ASSERT_TRUE(store.save(config));
    ASSERT_TRUE(store.keptCopy());
    EXPECT_FALSE(QFileInfo(*store.keptCopy()).isSymLink());
    EXPECT_EQ(readAll(*store.keptCopy()), QByteArray("{broken"));
    EXPECT_EQ(DockConfig::decode(readAll(target)), config);
}

} // namespace
} // namespace velloq
