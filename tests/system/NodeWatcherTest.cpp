#include "system/NodeWatcher.h"

#include "support/TestEnv.h"

#include <QCoreApplication>
#include <QFile>
#include <QSignalSpy>
#include <QTemporaryDir>

#include <gtest/gtest.h>

using namespace velloq;

namespace {

bool touch(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly);
}

// inotify queues an event within the call that caused it, so one pass of the event loop
// delivers everything caused so far.
int signalsAfterOnePass(QSignalSpy& spy) {
    QCoreApplication::processEvents();
    return int(spy.count());
}

} // namespace

// The node made by loading its module, then its mode and ACL set by udev; other nodes of
// the folder wake nobody.
TEST(NodeWatcher, ReportsCreationAndAttributeChangesOfItsNodesOnly) {
    QTemporaryDir dev;
    NodeWatcher watcher(dev.path(), {QStringLiteral("uinput")});
    ASSERT_TRUE(watcher.start());
    QSignalSpy changed(&watcher, &NodeWatcher::changed);
    const QString node = dev.path() + QStringLiteral("/uinput");

    ASSERT_TRUE(touch(dev.path() + QStringLiteral("/hidraw3")));
    ASSERT_TRUE(QFile::setPermissions(dev.path() + QStringLiteral("/hidraw3"),
                                      QFile::ReadOwner | QFile::WriteOwner));
    EXPECT_EQ(signalsAfterOnePass(changed), 0);

    ASSERT_TRUE(touch(node));
    ASSERT_TRUE(test::waitUntil([&] { return changed.count() == 1; }));
    ASSERT_TRUE(QFile::setPermissions(node, QFile::ReadOwner | QFile::WriteOwner |
                                                QFile::ReadGroup | QFile::WriteGroup));
    ASSERT_TRUE(test::waitUntil([&] { return changed.count() == 2; }));

    // Removed and made again: still watched.
    ASSERT_TRUE(QFile::remove(node));
    signalsAfterOnePass(changed);
    ASSERT_TRUE(touch(node));
    ASSERT_TRUE(test::waitUntil([&] { return changed.count() == 3; }));
    ASSERT_TRUE(QFile::setPermissions(node, QFile::ReadOwner));
    ASSERT_TRUE(test::waitUntil([&] { return changed.count() == 4; }));
}

TEST(NodeWatcher, FailsWithAReasonForAMissingFolder) {
    NodeWatcher watcher(test::scratchDir() + QStringLiteral("/no-such-folder"),
                        {QStringLiteral("uinput")});
    QString error;
    EXPECT_FALSE(watcher.start(&error));
    EXPECT_FALSE(error.isEmpty());
}
