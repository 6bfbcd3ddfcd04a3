// The follower's decisions over a watcher the test plays.

#include "follow/PageFollower.h"
#include "support/TestEnv.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

namespace velloq::test {
namespace {

class ScriptedWatcher final : public ActiveAppWatcher {
public:
    void start() override { ++starts; }
    void stop() override { ++stops; }
    Availability availability() const override { return Availability::available; }
    int starts = 0;
    int stops = 0;
};

const QString kEditor = QStringLiteral("/apps/org.example.Editor.desktop");
const QString kBrowser = QStringLiteral("/apps/org.example.Browser.desktop");

WindowIdentity app(const QString& id, pid_t pid = 0) {
    return {id, {}, {}, pid};
}

TEST(PageFollower, WatchesOnlyWhileFollowingIsOnAndAPageListsAnApp) {
    auto owned = std::make_unique<ScriptedWatcher>();
    ScriptedWatcher& watcher = *owned;
    PageFollower follower(std::move(owned), 4242);
    QSignalSpy decided(&follower, &PageFollower::appInFront);

    DockConfig config;
    config.pages = {Page::make(QStringLiteral("Write")), Page::make(QStringLiteral("Also"))};
    follower.setConfig(config); // no page lists an app
    EXPECT_EQ(watcher.starts, 0);
    Q_EMIT watcher.activated(app(QStringLiteral("org.example.Editor")));
    EXPECT_EQ(decided.size(), 0);

    config.pages[0].apps = {kEditor};
    config.pages[1].apps = {kBrowser, kEditor};
    config.followApps = false;
    follower.setConfig(config);
    EXPECT_EQ(watcher.starts, 0);

    config.followApps = true;
    follower.setConfig(config);
    EXPECT_EQ(watcher.starts, 1);
    EXPECT_TRUE(follower.watching());

    // Listed by both pages: the first takes it. Decided once the entries are read.
    Q_EMIT watcher.activated(app(QStringLiteral("org.example.editor.desktop"), 17));
    ASSERT_TRUE(waitUntil([&] { return decided.size() == 1; }));
    EXPECT_EQ(decided.at(0).at(0).value<std::optional<QUuid>>(), config.pages[0].id);

    // Velloq's own windows and no window are not the app in front; the same app again changes
    // nothing.
    Q_EMIT watcher.activated(app(QStringLiteral("org.example.Other"), 4242));
    Q_EMIT watcher.activated(WindowIdentity());
    Q_EMIT watcher.activated(app(QStringLiteral("org.example.editor.desktop"), 17));
    Q_EMIT watcher.activated(app(QStringLiteral("org.example.Browser")));
    Q_EMIT watcher.activated(app(QStringLiteral("org.example.Other")));
    Q_EMIT watcher.activated(app(QStringLiteral("org.example.Another")));
    ASSERT_EQ(decided.size(), 4);
    EXPECT_EQ(decided.at(1).at(0).value<std::optional<QUuid>>(), config.pages[1].id);
    EXPECT_EQ(decided.at(2).at(0).value<std::optional<QUuid>>(), std::nullopt);
    EXPECT_EQ(decided.at(3).at(0).value<std::optional<QUuid>>(), std::nullopt);

    config.pages[0].apps.clear();
    config.pages[1].apps.clear();
    follower.setConfig(config);
    EXPECT_EQ(watcher.stops, 1);
    EXPECT_FALSE(follower.watching());
    Q_EMIT watcher.activated(app(QStringLiteral("org.example.Browser")));
    EXPECT_EQ(decided.size(), 4);
}

} // namespace
} // namespace velloq::test
